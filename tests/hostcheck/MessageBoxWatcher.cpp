#include "tests/hostcheck/MessageBoxWatcher.h"

#include <chrono>
#include <cstdio>
#include <string>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace qw::check {

#if defined(_WIN32)

namespace {

// The message box's text: the static control that holds it (id 0xFFFF), or
// else the first static child with text.
BOOL CALLBACK findText(HWND child, LPARAM found) {
    char className[32] = "";
    char text[512] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        *reinterpret_cast<std::string*>(found) = text;
        return FALSE;
    }
    return TRUE;
}

std::string boxText(HWND box) {
    char text[512] = "";
    if (GetDlgItemTextA(box, 0xFFFF, text, sizeof text) > 0) return text;
    std::string found;
    EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() {
    uint32_t id = 0;
    thread = sys::createThread(0, run, this, &id);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    quit = true;
    if (thread == nullptr) return;
    sys::waitForThread(thread, 0xFFFFFFFFu);
    sys::closeThread(thread);
}

uint32_t MessageBoxWatcher::run(void* argument) {
    auto* self = static_cast<MessageBoxWatcher*>(argument);
    const DWORD process = GetCurrentProcessId();
    while (!self->quit) {
        // A message box is a dialog (class #32770) of this process; the
        // module gives all of its boxes the caption "ERROR".
        HWND box = FindWindowA("#32770", "ERROR");
        DWORD owner = 0;
        if (box != nullptr) GetWindowThreadProcessId(box, &owner);
        if (box == nullptr || owner != process) {
            Sleep(2);
            continue;
        }
        self->boxOpen = true;
        // The text is set while the dialog initialises, after the window exists.
        std::string text = boxText(box);
        for (int i = 0; i < 2000 && text.empty() && IsWindow(box); ++i) {
            Sleep(1);
            text = boxText(box);
        }
        std::fprintf(stderr, "ERROR: %s\n", text.c_str());
        std::fflush(stderr);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 10000 && IsWindow(box); ++i) Sleep(1);
        self->boxOpen = false;
    }
    return 0;
}

void MessageBoxWatcher::waitUntilClosed() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (boxOpen && std::chrono::steady_clock::now() < until) Sleep(1);
}

#else

MessageBoxWatcher::MessageBoxWatcher() {}
MessageBoxWatcher::~MessageBoxWatcher() {}
uint32_t MessageBoxWatcher::run(void*) { return 0; }
void MessageBoxWatcher::waitUntilClosed() {}

#endif

}  // namespace qw::check
