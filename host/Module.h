// The module file, loaded and bound by its exports.
#pragma once

#include <string>

#include "platform/platform.h"
#include "quillwave/dialog.h"
#include "quillwave/quillwave.h"

namespace qw::host {

class Module {
public:
    ~Module();
    // Loads the file and resolves the exports; false with error() set on failure.
    bool load(const std::string& path);
    const std::string& error() const { return errorText; }

    QueryFn query = nullptr;
    InitialiseFn initialise = nullptr;
    ShutdownFn shutdown = nullptr;
    // Exports a module may lack; null then.
    ConfigureFn configure = nullptr;
    ExtendedInfoFn extendedInfo = nullptr;
    CreateRecorderPluginInterfaceFn createRecorder = nullptr;
#if !defined(_WIN32)
    // Linux only: the table over the module's headless dialogs.
    HeadlessDialogsFn headlessDialogs = nullptr;
#endif

private:
    sys::Handle library = nullptr;
    std::string errorText;
};

// SQqw4.sqp beside the running executable.
std::string defaultModulePath();

}  // namespace qw::host
