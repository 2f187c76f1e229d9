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

// The first SQqw4.sqp that exists: beside the running executable, else in the
// installed module folder relative to it; the one beside it when neither does.
std::string defaultModulePath();

}  // namespace qw::host
