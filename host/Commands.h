// The commands of the reference host.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "host/ModuleDialogs.h"

namespace qw::host {

struct Options {
    std::string plugin;             // the module file
    std::string ini;                // the host's settings file
    std::vector<std::string> args;  // the command and its arguments
};

extern const char usage[];
// Ends a line about arguments that do not fit: where the usage is.
extern const char usageHint[];

// Prints "quillwave: message" on stderr and returns code.
int fail(const std::string& message, int code = 1);
// Prints "quillwave: warning: message" on stderr.
void warn(const std::string& message);

// One option a command takes, with a value ("--seek MS") or without ("--wipe").
struct KnownOption {
    const char* name;
    bool takesValue;
};

// A command's arguments after its name: the options given, in their order,
// and the rest ("-" is standard input or output, not an option).
struct Arguments {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> operands;

    bool has(const std::string& name) const;
    // The value given last for the option, or null.
    const std::string* value(const std::string& name) const;
};

// Splits options.args[1...] into the options of known and the operands;
// false, with error set ("missing value for --seek", "unknown option --x"),
// when an argument does not fit.
bool parseArguments(const Options& options, std::initializer_list<KnownOption> known, Arguments* arguments,
                    std::string* error);

// A whole decimal number from 0 to max and nothing else: "4k", "-5", "1e3",
// "" and "abc" are none.
bool parseNumber(const std::string& text, uint64_t max, uint64_t* value);

// Why path cannot be a command's input: it does not exist, is a directory,
// or is longer than the module can take (a path is never shortened); "" when
// it can.  "-" (standard input) always can.
std::string inputProblem(const std::string& path);

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
