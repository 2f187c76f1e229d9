// Dialogs without a display: a headless dialog manager with the behaviour of
// the Windows dialog calls that the module and its hosts rely on.
//
// Windows are entries of a registry, found by caption like top-level windows;
// their controls come from the registered template; messages reach the dialog
// procedure synchronously on the calling thread.  A key press travels the way
// it does under Windows: it is handed to the calling thread's message hooks,
// and a hook that passes it to isDialogMessage gets Enter turned into the
// default button's command and Escape into command 2.
//
// One recursive mutex guards the registry, held across procedure calls: a
// procedure may call back into the manager on its own thread, and another
// thread waits its turn, as it would for a window owned by another thread.
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace qw::sys {

namespace {

constexpr uint32_t visibleStyle = 0x10000000u;  // WS_VISIBLE
constexpr int32_t commandOk = 1;                // IDOK: Enter's command when no button is the default

struct Control {
    int32_t id = 0;
    ControlClass kind = ControlClass::staticText;
    uint32_t style = 0;
    std::string text;
    bool enabled = true;
    std::vector<std::string> items;  // combo boxes: the list, in the order added
    int32_t selection = comboError;
};

struct Window {
    Handle handle = nullptr;
    std::string caption;
    DialogProc procedure = nullptr;
    Handle parent = nullptr;
    std::vector<Control> controls;
    intptr_t userData = 0;
    bool visible = false;
    bool ended = false;
    intptr_t result = 0;
    bool destroying = false;
};

struct Hook {
    Handle handle;
    HookProc procedure;
    uint32_t threadId;  // 0: every thread
};

// One pass of a message through a thread's hooks: the chain as it stood when
// the message arrived, and the hook now running.
struct HookPass {
    std::vector<Hook> chain;
    size_t at = 0;
};

void copyText(const std::string& text, char* buffer, size_t size, size_t* copied) {
    *copied = 0;
    if (buffer == nullptr || size == 0) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    text.copy(buffer, n);
    buffer[n] = '\0';
    *copied = n;
}

class HeadlessDialogs {
public:
    void registerTemplate(uint32_t templateId, const DialogTemplate* dialogTemplate) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (dialogTemplate != nullptr) templates[templateId] = dialogTemplate;
    }

    Handle find(const char* caption) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        for (const auto& w : windows) {
            if (caption == nullptr || w->caption == caption) return w->handle;
        }
        return nullptr;
    }

    void show(Handle window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (Window* w = windowOf(window)) {
            w->visible = true;
            foregroundHandle = window;  // showing a window activates it
        }
    }

    bool visible(Handle window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Window* w = windowOf(window);
        return w != nullptr && w->visible;
    }

    void setForeground(Handle window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (windowOf(window) != nullptr) foregroundHandle = window;
    }

    Handle foreground() {
        std::lock_guard<std::recursive_mutex> guard(lock);
        return foregroundHandle;
    }

    Handle create(uint32_t templateId, Handle parent, DialogProc procedure, intptr_t parameter) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        auto found = templates.find(templateId);
        if (found == templates.end()) return nullptr;
        const DialogTemplate& t = *found->second;
        auto w = std::make_shared<Window>();
        w->handle = newHandle();
        w->caption = t.caption != nullptr ? t.caption : "";
        w->procedure = procedure;
        w->parent = parent;
        for (uint32_t i = 0; i < t.itemCount; ++i) {
            const DialogItemTemplate& item = t.items[i];
            Control c;
            c.id = item.id;
            c.kind = item.kind;
            c.style = item.style;
            c.text = item.text != nullptr ? item.text : "";
            w->controls.push_back(std::move(c));
        }
        windows.push_back(w);
        send(w, messageInitDialog, 0, parameter);
        // A dialog destroyed while it set itself up was never made.
        if (windowOf(w->handle) == nullptr) return nullptr;
        if (t.style & visibleStyle) show(w->handle);
        return w->handle;
    }

    bool end(Handle dialog, intptr_t result) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Window* w = windowOf(dialog);
        if (w == nullptr) return false;
        w->ended = true;
        w->result = result;
        w->visible = false;
        return true;
    }

    bool destroy(Handle window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        std::shared_ptr<Window> w = shared(window);
        if (!w) return false;
        if (w->destroying) return true;  // already on its way out
        w->destroying = true;
        // The windows it owns go first.
        for (;;) {
            Handle owned = nullptr;
            for (const auto& other : windows) {
                if (other->parent == window && !other->destroying) owned = other->handle;
            }
            if (owned == nullptr) break;
            destroy(owned);
        }
        send(w, messageDestroy, 0, 0);
        for (auto it = windows.begin(); it != windows.end(); ++it) {
            if (*it == w) {
                windows.erase(it);
                break;
            }
        }
        if (foregroundHandle == window) foregroundHandle = nullptr;
        return true;
    }

    bool setText(Handle dialog, int32_t id, const char* text) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = controlOf(dialog, id);
        if (c == nullptr) return false;
        c->text = text != nullptr ? text : "";
        return true;
    }

    uint32_t getText(Handle dialog, int32_t id, char* buffer, int32_t maxCount) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (maxCount <= 0) return 0;
        Control* c = controlOf(dialog, id);
        size_t copied = 0;
        copyText(c != nullptr ? c->text : std::string(), buffer, size_t(maxCount), &copied);
        return uint32_t(copied);
    }

    void enable(Handle dialog, int32_t id, bool enable) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (Control* c = controlOf(dialog, id)) c->enabled = enable;
    }

    bool enabled(Handle dialog, int32_t id) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = controlOf(dialog, id);
        return c != nullptr && c->enabled;
    }

    void click(Handle dialog, int32_t id) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = controlOf(dialog, id);
        if (c == nullptr || !c->enabled || c->kind != ControlClass::button) return;
        if ((c->style & style::buttonTypeMask) == style::groupBox) return;  // a frame, not a button
        send(shared(dialog), messageCommand, uintptr_t(uint16_t(id)), 0);
    }

    int32_t comboAdd(Handle dialog, int32_t id, const char* text) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = comboOf(dialog, id);
        if (c == nullptr) return comboError;
        c->items.emplace_back(text != nullptr ? text : "");
        return int32_t(c->items.size() - 1);
    }

    int32_t comboSelect(Handle dialog, int32_t id, int32_t index) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = comboOf(dialog, id);
        if (c == nullptr) return comboError;
        // An index outside the list clears the selection.
        c->selection = index >= 0 && size_t(index) < c->items.size() ? index : comboError;
        return c->selection;
    }

    int32_t comboSelected(Handle dialog, int32_t id) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = comboOf(dialog, id);
        return c != nullptr ? c->selection : comboError;
    }

    int32_t comboSize(Handle dialog, int32_t id) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = comboOf(dialog, id);
        return c != nullptr ? int32_t(c->items.size()) : comboError;
    }

    int32_t comboText(Handle dialog, int32_t id, int32_t index, char* buffer, uint32_t size) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Control* c = comboOf(dialog, id);
        if (c == nullptr || index < 0 || size_t(index) >= c->items.size()) return comboError;
        size_t copied = 0;
        copyText(c->items[size_t(index)], buffer, size, &copied);
        return int32_t(copied);
    }

    void setUserData(Handle window, intptr_t data) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (Window* w = windowOf(window)) w->userData = data;
    }

    intptr_t userData(Handle window) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        Window* w = windowOf(window);
        return w != nullptr ? w->userData : 0;
    }

    Handle addHook(HookProc procedure, uint32_t threadId) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (procedure == nullptr) return nullptr;
        Handle handle = newHandle();
        hooks.insert(hooks.begin(), Hook{handle, procedure, threadId});  // the newest runs first
        return handle;
    }

    bool removeHook(Handle hook) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        for (auto it = hooks.begin(); it != hooks.end(); ++it) {
            if (it->handle == hook) {
                hooks.erase(it);
                return true;
            }
        }
        return false;
    }

    // The next hook of the pass under way, whatever hook handle the caller
    // holds (it may have removed its own hook meanwhile).
    intptr_t nextHook(int32_t code, uintptr_t wParam, intptr_t lParam) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        if (passes.empty()) return 0;
        const size_t pass = passes.size() - 1;
        while (++passes[pass].at < passes[pass].chain.size()) {
            const Hook next = passes[pass].chain[passes[pass].at];
            if (installed(next.handle)) return next.procedure(code, wParam, lParam);
        }
        return 0;
    }

    bool dialogMessage(Handle dialog, WindowMessage* message) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        std::shared_ptr<Window> w = shared(dialog);
        if (!w || message == nullptr || message->window != dialog) return false;
        if (message->message == messageKeyDown) {
            if (message->wParam == keyReturn) {
                const Control* button = defaultButton(*w);
                const int32_t id = button != nullptr ? button->id : commandOk;
                if (button == nullptr || button->enabled) send(w, messageCommand, uintptr_t(uint16_t(id)), 0);
            } else if (message->wParam == keyEscape) {
                send(w, messageCommand, uintptr_t(commandCancel), 0);
            }
        }
        // Every other message for the dialog goes to its focused control,
        // which has nothing to do here; it counts as taken all the same.
        return true;
    }

    bool key(Handle window, uint32_t key) {
        std::lock_guard<std::recursive_mutex> guard(lock);
        WindowMessage message{window, messageKeyDown, key, 0, 0, 0, 0};
        const uint32_t thread = currentThreadId();
        HookPass pass;
        for (const Hook& h : hooks) {
            if (h.threadId == thread || h.threadId == 0) pass.chain.push_back(h);
        }
        if (!pass.chain.empty()) {
            const HookProc first = pass.chain.front().procedure;
            passes.push_back(std::move(pass));
            first(0, peekRemove, reinterpret_cast<intptr_t>(&message));
            passes.pop_back();
        }
        return message.message == messageNull;
    }

private:
    Handle newHandle() {
        nextHandle += 0x10;
        return reinterpret_cast<Handle>(nextHandle);
    }

    std::shared_ptr<Window> shared(Handle window) {
        if (window == nullptr) return nullptr;
        for (const auto& w : windows) {
            if (w->handle == window) return w;
        }
        return nullptr;
    }

    Window* windowOf(Handle window) { return shared(window).get(); }

    Control* controlOf(Handle dialog, int32_t id) {
        Window* w = windowOf(dialog);
        if (w == nullptr) return nullptr;
        for (Control& c : w->controls) {
            if (c.id == id) return &c;
        }
        return nullptr;
    }

    Control* comboOf(Handle dialog, int32_t id) {
        Control* c = controlOf(dialog, id);
        return c != nullptr && c->kind == ControlClass::comboBox ? c : nullptr;
    }

    static const Control* defaultButton(const Window& w) {
        for (const Control& c : w.controls) {
            if (c.kind == ControlClass::button && (c.style & style::buttonTypeMask) == style::defPushButton) return &c;
        }
        return nullptr;
    }

    bool installed(Handle hook) const {
        for (const Hook& h : hooks) {
            if (h.handle == hook) return true;
        }
        return false;
    }

    // Calls the window's procedure; the window stays alive until the call
    // returns even when the procedure destroys it.
    intptr_t send(const std::shared_ptr<Window>& w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
        if (!w || w->procedure == nullptr) return 0;
        const std::shared_ptr<Window> keep = w;
        return keep->procedure(keep->handle, message, wParam, lParam);
    }

    std::recursive_mutex lock;
    std::unordered_map<uint32_t, const DialogTemplate*> templates;
    std::vector<std::shared_ptr<Window>> windows;
    std::vector<Hook> hooks;
    std::vector<HookPass> passes;
    Handle foregroundHandle = nullptr;
    uintptr_t nextHandle = 0x10000;
};

// Destroyed with the program or with the module that holds this copy, which
// frees what its windows still hold.
HeadlessDialogs& manager() {
    static HeadlessDialogs instance;
    return instance;
}

}  // namespace

void registerDialogTemplate(uint32_t templateId, const DialogTemplate* dialogTemplate) {
    manager().registerTemplate(templateId, dialogTemplate);
}

Handle findWindow(const char* caption) { return manager().find(caption); }
void showWindow(Handle window) { manager().show(window); }
bool isWindowVisible(Handle window) { return manager().visible(window); }
void setForegroundWindow(Handle window) { manager().setForeground(window); }
Handle foregroundWindow() { return manager().foreground(); }

Handle createDialog(Handle, uint32_t templateId, Handle parent, DialogProc procedure, intptr_t parameter) {
    // Templates are found by id alone: the registered ones are this copy's.
    return manager().create(templateId, parent, procedure, parameter);
}

bool endDialog(Handle dialog, intptr_t result) { return manager().end(dialog, result); }
bool destroyWindow(Handle window) { return manager().destroy(window); }

bool setItemText(Handle dialog, int32_t id, const char* text) { return manager().setText(dialog, id, text); }
uint32_t getItemText(Handle dialog, int32_t id, char* buffer, int32_t maxCount) {
    return manager().getText(dialog, id, buffer, maxCount);
}
void enableItem(Handle dialog, int32_t id, bool enable) { manager().enable(dialog, id, enable); }
bool isItemEnabled(Handle dialog, int32_t id) { return manager().enabled(dialog, id); }
void clickItem(Handle dialog, int32_t id) { manager().click(dialog, id); }

int32_t comboAddString(Handle dialog, int32_t id, const char* text) { return manager().comboAdd(dialog, id, text); }
int32_t comboSetSelection(Handle dialog, int32_t id, int32_t index) { return manager().comboSelect(dialog, id, index); }
int32_t comboSelection(Handle dialog, int32_t id) { return manager().comboSelected(dialog, id); }
int32_t comboCount(Handle dialog, int32_t id) { return manager().comboSize(dialog, id); }
int32_t comboItemText(Handle dialog, int32_t id, int32_t index, char* buffer, uint32_t size) {
    return manager().comboText(dialog, id, index, buffer, size);
}

void setWindowUserData(Handle window, intptr_t data) { manager().setUserData(window, data); }
intptr_t windowUserData(Handle window) { return manager().userData(window); }

Handle setMessageHook(HookProc procedure, uint32_t threadId) { return manager().addHook(procedure, threadId); }
bool removeMessageHook(Handle hook) { return manager().removeHook(hook); }
intptr_t callNextHook(Handle, int32_t code, uintptr_t wParam, intptr_t lParam) {
    return manager().nextHook(code, wParam, lParam);
}
bool isDialogMessage(Handle dialog, WindowMessage* message) { return manager().dialogMessage(dialog, message); }

bool runUntilDestroyed(Handle) { return false; }  // headless: nothing to wait for
bool deliverKey(Handle window, uint32_t key) { return manager().key(window, key); }

}  // namespace qw::sys
