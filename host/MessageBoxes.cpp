#include "host/MessageBoxes.h"

#include <chrono>
#include <cstdio>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace qw::host {

void MessageBoxes::closed(const char* text) {
    if (count == 0) firstText = text;
    ++count;
}

void MessageBoxes::report() const {
    waitUntilClosed();
    const uint32_t boxes = count;
    if (boxes == 0) return;
    std::fprintf(stderr, "quillwave: closed %u message box%s from the module: \"%s\"\n", unsigned(boxes),
                 boxes == 1 ? "" : "es", firstText.c_str());
}

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

MessageBoxes::MessageBoxes(const Module&) {
    uint32_t id = 0;
    thread = sys::createThread(0, watch, this, &id);
}

MessageBoxes::~MessageBoxes() {
    quit = true;
    if (thread == nullptr) return;
    sys::waitForThread(thread, 0xFFFFFFFFu);
    sys::closeThread(thread);
}

uint32_t MessageBoxes::watch(void* argument) {
    auto* self = static_cast<MessageBoxes*>(argument);
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
        self->closed(text.c_str());
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 10000 && IsWindow(box); ++i) Sleep(1);
        self->boxOpen = false;
    }
    return 0;
}

void MessageBoxes::waitUntilClosed() const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (boxOpen && std::chrono::steady_clock::now() < until) Sleep(1);
}

#else

MessageBoxes::MessageBoxes(const Module& loaded) : module(loaded) {
    const HeadlessDialogTable* table = module.headlessDialogs ? module.headlessDialogs() : nullptr;
    if (QW_HEADLESS_DIALOGS_HAVE(table, setMessageBoxHandler)) table->setMessageBoxHandler(handle, this);
}

MessageBoxes::~MessageBoxes() {
    const HeadlessDialogTable* table = module.headlessDialogs ? module.headlessDialogs() : nullptr;
    if (QW_HEADLESS_DIALOGS_HAVE(table, setMessageBoxHandler)) table->setMessageBoxHandler(nullptr, nullptr);
}

void MessageBoxes::handle(void* self, const char* text, const char*) { static_cast<MessageBoxes*>(self)->closed(text); }

// A headless box is answered while it is shown: none stays open.
void MessageBoxes::waitUntilClosed() const {}

#endif

}  // namespace qw::host
