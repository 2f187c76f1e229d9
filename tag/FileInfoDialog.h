// The file-information dialog: the stream's properties and the file's ID3v1
// tag, which the user can edit, save and wipe.  One dialog at a time, modeless,
// on the thread that asked for it.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "quillwave/quillwave.h"

namespace qw {

// Opens the dialog for the host's current file, or brings the open one to the
// front.  Returns 0 and sets *result to 0 in every case.
int32_t extendedInfo(uint32_t unused, uint32_t* result, PlayerContext* context);

// The dialog's procedure (WM_INITDIALOG's lParam is the PlayerContext).
intptr_t QW_WINAPI fileInfoDialogProc(sys::Handle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The message hook that feeds the thread's keyboard messages to the dialog.
intptr_t QW_WINAPI fileInfoKeyboardHook(int32_t code, uintptr_t wParam, intptr_t lParam);

}  // namespace qw
