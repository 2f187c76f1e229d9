// Memory, message boxes, formatted strings and modules on POSIX.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace qw::sys {

// ---- Memory ------------------------------------------------------------------

void* globalAllocZeroed(size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void globalFree(void* block) { std::free(block); }

// ---- Message boxes ---------------------------------------------------------------

namespace {

struct BoxObserver {
    std::mutex lock;
    MessageBoxObserver observer = nullptr;
    void* context = nullptr;
};

BoxObserver& boxObserver() {
    static BoxObserver instance;
    return instance;
}

constexpr int idOk = 1;

}  // namespace

void setMessageBoxObserver(MessageBoxObserver observer, void* context) {
    BoxObserver& box = boxObserver();
    std::lock_guard<std::mutex> guard(box.lock);
    box.observer = observer;
    box.context = context;
}

int messageBox(Handle, const char* text, const char* caption, uint32_t) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "Error";  // the Windows default caption
    MessageBoxObserver observer;
    void* context;
    {
        BoxObserver& box = boxObserver();
        std::lock_guard<std::mutex> guard(box.lock);
        observer = box.observer;
        context = box.context;
    }
    if (observer != nullptr) {
        observer(context, text, caption);
    } else {
        // There is no one to click the box: it is reported and taken as OK.
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
    return idOk;
}

// ---- Formatted strings ---------------------------------------------------------

int formatString(char* output, const char* format, ...) {
    // Like the Windows call: at most 1024 characters and the terminating zero.
    constexpr int limit = 1024;
    va_list arguments;
    va_start(arguments, format);
    int length = std::vsnprintf(output, limit + 1, format, arguments);
    va_end(arguments);
    if (length < 0) {
        output[0] = '\0';
        return 0;
    }
    return length > limit ? limit : length;
}

// ---- Modules -------------------------------------------------------------------

namespace {

std::atomic<Handle> instanceHandle{nullptr};

thread_local std::string lastError;

void noteError(const char* fallback) {
    const char* text = dlerror();
    lastError = text != nullptr ? text : fallback;
}

}  // namespace

Handle moduleInstance() { return instanceHandle.load(); }

void setModuleInstance(Handle instance) {
    if (instance == nullptr) return;
    Handle expected = nullptr;
    instanceHandle.compare_exchange_strong(expected, instance);
}

Handle loadLibrary(const char* path) {
    if (path == nullptr) {
        lastError = "no library path";
        return nullptr;
    }
    Handle library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) noteError("cannot load library");
    return library;
}

void* librarySymbol(Handle library, const char* name) {
    if (library == nullptr || name == nullptr) {
        lastError = "no library or symbol name";
        return nullptr;
    }
    dlerror();  // clear an earlier failure so a null symbol can be told apart
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) noteError("symbol not found");
    return symbol;
}

void freeLibrary(Handle library) {
    if (library != nullptr && dlclose(library) != 0) noteError("cannot unload library");
}

std::string lastErrorText() { return lastError; }

std::string executableDirectory() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return std::string();
    std::string full(path, static_cast<size_t>(length));
    size_t slash = full.find_last_of('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

}  // namespace qw::sys
