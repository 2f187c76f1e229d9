// Dialogs and windows on Windows: thin wrappers over user32.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace qw::sys {

// The hook hands its MSG on as a WindowMessage, and the message numbers and
// styles the templates use are the system's own.
static_assert(sizeof(WindowMessage) == sizeof(MSG), "WindowMessage has the layout of MSG");
static_assert(offsetof(WindowMessage, message) == offsetof(MSG, message), "MSG message");
static_assert(offsetof(WindowMessage, wParam) == offsetof(MSG, wParam), "MSG wParam");
static_assert(offsetof(WindowMessage, lParam) == offsetof(MSG, lParam), "MSG lParam");
static_assert(offsetof(WindowMessage, time) == offsetof(MSG, time), "MSG time");
static_assert(offsetof(WindowMessage, x) == offsetof(MSG, pt), "MSG point");
static_assert(messageNull == WM_NULL && messageDestroy == WM_DESTROY && messageClose == WM_CLOSE, "messages");
static_assert(messageKeyFirst == WM_KEYFIRST && messageKeyDown == WM_KEYDOWN, "keyboard messages");
static_assert(messageInitDialog == WM_INITDIALOG && messageCommand == WM_COMMAND, "dialog messages");
static_assert(peekRemove == PM_REMOVE && keyReturn == VK_RETURN && keyEscape == VK_ESCAPE, "keys");
static_assert(commandCancel == IDCANCEL && comboError == CB_ERR, "results");
static_assert(style::popup == WS_POPUP && style::caption == WS_CAPTION && style::sysMenu == WS_SYSMENU &&
                  style::clipSiblings == WS_CLIPSIBLINGS && style::border == WS_BORDER &&
                  style::vScroll == WS_VSCROLL && style::tabStop == WS_TABSTOP && style::modalFrame == DS_MODALFRAME,
              "window styles");
static_assert(style::multiLine == ES_MULTILINE && style::autoHScroll == ES_AUTOHSCROLL &&
                  style::readOnly == ES_READONLY && style::dropDownList == CBS_DROPDOWNLIST &&
                  style::noIntegralHeight == CBS_NOINTEGRALHEIGHT,
              "edit and combo box styles");
static_assert(style::pushButton == BS_PUSHBUTTON && style::defPushButton == BS_DEFPUSHBUTTON &&
                  style::groupBox == BS_GROUPBOX && style::buttonTypeMask == BS_TYPEMASK &&
                  style::leftText == SS_LEFT && style::centerText == SS_CENTER,
              "button and static styles");

namespace {

HWND window(Handle handle) { return static_cast<HWND>(handle); }

LRESULT sendToItem(Handle dialog, int32_t id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(window(dialog), id, message, wParam, lParam);
}

}  // namespace

// The template is linked into the module as a resource.
void registerDialogTemplate(uint32_t, const DialogTemplate*) {}

Handle findWindow(const char* caption) { return FindWindowA(nullptr, caption); }
void showWindow(Handle handle) { ShowWindow(window(handle), SW_SHOW); }
bool isWindowVisible(Handle handle) { return IsWindowVisible(window(handle)) != FALSE; }
void setForegroundWindow(Handle handle) { SetForegroundWindow(window(handle)); }
Handle foregroundWindow() { return GetForegroundWindow(); }

Handle createDialog(Handle instance, uint32_t templateId, Handle parent, DialogProc procedure, intptr_t parameter) {
    return CreateDialogParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(templateId), window(parent),
                              reinterpret_cast<DLGPROC>(procedure), static_cast<LPARAM>(parameter));
}

bool endDialog(Handle dialog, intptr_t result) { return EndDialog(window(dialog), result) != FALSE; }
bool destroyWindow(Handle handle) { return DestroyWindow(window(handle)) != FALSE; }

bool setItemText(Handle dialog, int32_t id, const char* text) {
    return SetDlgItemTextA(window(dialog), id, text) != FALSE;
}

uint32_t getItemText(Handle dialog, int32_t id, char* buffer, int32_t maxCount) {
    if (maxCount <= 0) return 0;
    return GetDlgItemTextA(window(dialog), id, buffer, maxCount);
}

void enableItem(Handle dialog, int32_t id, bool enable) {
    EnableWindow(GetDlgItem(window(dialog), id), enable ? TRUE : FALSE);
}

bool isItemEnabled(Handle dialog, int32_t id) {
    HWND item = GetDlgItem(window(dialog), id);
    return item != nullptr && IsWindowEnabled(item) != FALSE;
}

void clickItem(Handle dialog, int32_t id) {
    HWND item = GetDlgItem(window(dialog), id);
    if (item == nullptr || !IsWindowEnabled(item)) return;
    SendMessageA(window(dialog), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

int32_t comboAddString(Handle dialog, int32_t id, const char* text) {
    return int32_t(sendToItem(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int32_t comboSetSelection(Handle dialog, int32_t id, int32_t index) {
    return int32_t(sendToItem(dialog, id, CB_SETCURSEL, WPARAM(index), 0));
}

int32_t comboSelection(Handle dialog, int32_t id) { return int32_t(sendToItem(dialog, id, CB_GETCURSEL, 0, 0)); }

int32_t comboCount(Handle dialog, int32_t id) { return int32_t(sendToItem(dialog, id, CB_GETCOUNT, 0, 0)); }

int32_t comboItemText(Handle dialog, int32_t id, int32_t index, char* buffer, uint32_t size) {
    const LRESULT length = sendToItem(dialog, id, CB_GETLBTEXTLEN, WPARAM(index), 0);
    if (length == CB_ERR) return comboError;
    // The list hands out whole entries only; a short buffer gets a cut copy.
    std::string text(size_t(length) + 1, '\0');
    if (sendToItem(dialog, id, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(&text[0])) == CB_ERR) {
        return comboError;
    }
    if (buffer == nullptr || size == 0) return 0;
    const size_t n = size_t(length) < size - 1 ? size_t(length) : size - 1;
    text.copy(buffer, n);
    buffer[n] = '\0';
    return int32_t(n);
}

void setWindowUserData(Handle handle, intptr_t data) { SetWindowLongPtrA(window(handle), GWLP_USERDATA, data); }
intptr_t windowUserData(Handle handle) { return GetWindowLongPtrA(window(handle), GWLP_USERDATA); }

Handle setMessageHook(HookProc procedure, uint32_t threadId) {
    return SetWindowsHookExA(WH_GETMESSAGE, reinterpret_cast<HOOKPROC>(procedure), nullptr, threadId);
}

bool removeMessageHook(Handle hook) { return UnhookWindowsHookEx(static_cast<HHOOK>(hook)) != FALSE; }

intptr_t callNextHook(Handle hook, int32_t code, uintptr_t wParam, intptr_t lParam) {
    return CallNextHookEx(static_cast<HHOOK>(hook), code, wParam, lParam);
}

bool isDialogMessage(Handle dialog, WindowMessage* message) {
    return IsDialogMessageA(window(dialog), reinterpret_cast<MSG*>(message)) != FALSE;
}

bool runUntilDestroyed(Handle handle) {
    // The dialog's own keyboard hook sees each message as it is taken off the
    // queue.  A message another thread or process sends (a click on Close
    // through SendMessage) is handled inside the wait and never returns from
    // it, so the wait gives up every 100 ms to look whether the window is gone.
    MSG message;
    while (IsWindow(window(handle))) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        }
    }
    return IsWindow(window(handle)) == FALSE;
}

bool deliverKey(Handle handle, uint32_t key) {
    if (!PostMessageA(window(handle), WM_KEYDOWN, key, 0)) return false;
    // One turn of the thread's message loop: the hooks see the key as it is
    // taken off the queue; a key they took arrives as WM_NULL.
    bool taken = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_NULL) {
            taken = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return taken;
}

}  // namespace qw::sys
