// The commands of the reference host.
#pragma once

#include <string>
#include <vector>

namespace qw::host {

struct Options {
    std::string plugin;             // the module file
    std::string ini;                // the host's settings file
    std::vector<std::string> args;  // the command and its arguments
};

extern const char usage[];

// Prints "quillwave: message" on stderr and returns code.
int fail(const std::string& message, int code = 1);

int decodeCommand(const Options& options);
int recordCommand(const Options& options);

}  // namespace qw::host
