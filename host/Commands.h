// The commands of the reference host.
#pragma once

#include <string>
#include <vector>

#include "host/ModuleDialogs.h"

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
int infoCommand(const Options& options);
int tagCommand(const Options& options);
int configCommand(const Options& options);
// The command options.args[0] names, with the rest of the arguments.
int runCommand(const Options& options);

// Prints the tag fields the file-information dialog shows, one a line.
void printTagFields(const ModuleDialogs& dialogs, DialogWindow dialog);

}  // namespace qw::host
