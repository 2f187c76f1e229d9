// The commands of the reference host.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

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

// Lets this program's window calls reach the dialogs the module opens, for as
// long as it lives (create it after loading the module, drop it before).
class ModuleDialogs {
public:
    explicit ModuleDialogs(const std::string& modulePath);
    ~ModuleDialogs();
    ModuleDialogs(const ModuleDialogs&) = delete;
    ModuleDialogs& operator=(const ModuleDialogs&) = delete;

private:
    sys::Handle library = nullptr;
};

// The text of a control of a dialog.
std::string dialogItemText(sys::Handle dialog, int32_t id);

// Prints the tag fields the file-information dialog shows, one a line.
void printTagFields(sys::Handle dialog);

}  // namespace qw::host
