// The module's dialogs as this program reaches them: on Windows through the
// system's window manager, which every module in the process shares; on Linux
// through the table of C functions the module exports over its own headless
// dialog manager (quillwave/dialog.h).
#pragma once

#include <cstdint>
#include <string>

#include "host/Module.h"
#include "quillwave/dialog.h"

namespace qw::host {

// A window of the module's dialogs.  On Linux it belongs to the module's own
// dialog manager, so only these calls can work it.
using DialogWindow = void*;

class ModuleDialogs {
public:
    // The module must stay loaded while this lives.
    explicit ModuleDialogs(const Module& module);

    // False when the module gives no way to its dialogs (Linux: no table, or
    // one without the calls this program makes).
    bool available() const;

    DialogWindow find(const char* caption) const;  // null when there is none
    std::string text(DialogWindow dialog, int32_t id) const;
    bool setText(DialogWindow dialog, int32_t id, const std::string& text) const;
    bool enabled(DialogWindow dialog, int32_t id) const;
    void click(DialogWindow dialog, int32_t id) const;  // a disabled button does nothing
    int32_t comboCount(DialogWindow dialog, int32_t id) const;
    int32_t comboSelection(DialogWindow dialog, int32_t id) const;  // -1 when none
    bool comboSetSelection(DialogWindow dialog, int32_t id, int32_t index) const;
    bool comboItemText(DialogWindow dialog, int32_t id, int32_t index, std::string* text) const;
    // Lets the user work the window until it is gone; true then.  False at
    // once where no user can (a headless dialog), leaving the window open.
    bool runUntilClosed(DialogWindow dialog) const;

private:
#if !defined(_WIN32)
    const HeadlessDialogTable* table = nullptr;
#endif
};

}  // namespace qw::host
