// The platform layer on Windows: thin wrappers over kernel32 and user32.
#include <windows.h>

#include <cstdarg>
#include <new>
#include <string>

#include "platform/platform.h"

namespace qw::sys {

// ---- Mutexes -------------------------------------------------------------------

Handle createMutex() { return CreateMutexA(nullptr, FALSE, nullptr); }

void lockMutex(Handle mutex) { WaitForSingleObject(mutex, INFINITE); }

void unlockMutex(Handle mutex) { ReleaseMutex(mutex); }

void closeMutex(Handle mutex) {
    if (mutex != nullptr) CloseHandle(mutex);
}

// ---- Threads and messages -----------------------------------------------------------

namespace {

// Our thread procedures use the default calling convention, the system calls
// its start routine with its own; a small trampoline bridges the two.  The
// system gives a thread its message queue only when it first asks for
// messages, so the trampoline asks at once and resumeThread waits for that:
// a message posted as soon as the thread is running is never lost.
struct ThreadStart {
    ThreadProc procedure;
    void* argument;
    HANDLE queueReady;
};

DWORD WINAPI threadTrampoline(LPVOID parameter) {
    // The record belongs to the creator, who frees it once queueReady is set.
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(start.queueReady);
    return start.procedure(start.argument);
}

// Threads made suspended and not yet resumed, with their start records.
struct PendingThread {
    HANDLE thread;
    ThreadStart* start;
};
SRWLOCK pendingLock = SRWLOCK_INIT;
PendingThread pending[64];
uint32_t pendingCount = 0;

void freeStart(ThreadStart* start) {
    CloseHandle(start->queueReady);
    delete start;
}

// Takes the start record of a suspended thread out of the list; null when the
// thread is not waiting to begin.
ThreadStart* takePending(HANDLE thread) {
    ThreadStart* start = nullptr;
    AcquireSRWLockExclusive(&pendingLock);
    for (uint32_t i = 0; i < pendingCount; ++i) {
        if (pending[i].thread == thread) {
            start = pending[i].start;
            pending[i] = pending[--pendingCount];
            break;
        }
    }
    ReleaseSRWLockExclusive(&pendingLock);
    return start;
}

}  // namespace

Handle createSuspendedThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId) {
    if (procedure == nullptr) return nullptr;
    auto* start = new (std::nothrow) ThreadStart{procedure, argument, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    if (start == nullptr) return nullptr;
    HANDLE thread = nullptr;
    DWORD id = 0;
    AcquireSRWLockExclusive(&pendingLock);
    if (start->queueReady != nullptr && pendingCount < sizeof(pending) / sizeof(pending[0])) {
        thread = CreateThread(nullptr, stackSize, threadTrampoline, start, CREATE_SUSPENDED, &id);
        if (thread != nullptr) pending[pendingCount++] = PendingThread{thread, start};
    }
    ReleaseSRWLockExclusive(&pendingLock);
    if (thread == nullptr) {
        if (start->queueReady != nullptr) CloseHandle(start->queueReady);
        delete start;
        return nullptr;
    }
    if (threadId != nullptr) *threadId = id;
    return thread;
}

bool resumeThread(Handle thread) {
    ThreadStart* start = takePending(thread);
    if (start == nullptr) return false;
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
        // Terminated before it began: there is nothing to resume.
        freeStart(start);
        return false;
    }
    const bool resumed = ResumeThread(thread) != static_cast<DWORD>(-1);
    if (resumed) {
        // Either the queue is ready or the thread ended before it got there.
        HANDLE both[2] = {start->queueReady, thread};
        WaitForMultipleObjects(2, both, FALSE, INFINITE);
    } else {
        // A thread that cannot begin is ended before its record goes.
        TerminateThread(thread, 0);
        WaitForSingleObject(thread, INFINITE);
    }
    freeStart(start);
    return resumed;
}

Handle createThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId) {
    Handle thread = createSuspendedThread(stackSize, procedure, argument, threadId);
    if (thread != nullptr && !resumeThread(thread)) {
        CloseHandle(thread);
        return nullptr;
    }
    return thread;
}

void raiseCurrentThreadPriority() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL); }

uint32_t currentThreadId() { return GetCurrentThreadId(); }

WaitResult waitForThread(Handle thread, uint32_t milliseconds) {
    switch (WaitForSingleObject(thread, milliseconds)) {
        case WAIT_OBJECT_0:
            return WaitResult::signalled;
        case WAIT_TIMEOUT:
            return WaitResult::timedOut;
        default:
            return WaitResult::failed;
    }
}

bool terminateThread(Handle thread, uint32_t exitCode) { return TerminateThread(thread, exitCode) != FALSE; }

void endIfTerminated() {}

bool threadExitCode(Handle thread, uint32_t* exitCode) {
    // A thread may itself return the "still active" code, so whether it has
    // ended is asked of its handle.
    if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    if (!GetExitCodeThread(thread, &code)) return false;
    if (exitCode != nullptr) *exitCode = code;
    return true;
}

void closeThread(Handle thread) {
    if (thread == nullptr) return;
    // A thread closed before it was resumed never reads its start record.
    if (ThreadStart* start = takePending(thread)) freeStart(start);
    CloseHandle(thread);
}

bool postThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return PostThreadMessageA(threadId, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) != FALSE;
}

bool peekMessage(Message* message) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (message != nullptr) {
        message->message = msg.message;
        message->wParam = static_cast<uintptr_t>(msg.wParam);
        message->lParam = static_cast<intptr_t>(msg.lParam);
    }
    return true;
}

void sleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

// ---- Files ---------------------------------------------------------------------

Handle invalidFile() { return INVALID_HANDLE_VALUE; }

Handle openFile(const char* path, FileAccess access) {
    DWORD rights = GENERIC_READ | (access == FileAccess::readWrite ? GENERIC_WRITE : 0);
    return CreateFileA(path, rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool readFile(Handle file, void* buffer, uint32_t size, uint32_t* count) {
    DWORD done = 0;
    BOOL ok = ReadFile(file, buffer, size, &done, nullptr);
    if (count != nullptr) *count = done;
    return ok != FALSE;
}

bool writeFile(Handle file, const void* buffer, uint32_t size, uint32_t* count) {
    DWORD done = 0;
    BOOL ok = WriteFile(file, buffer, size, &done, nullptr);
    if (count != nullptr) *count = done;
    return ok != FALSE;
}

// The system's 32-bit call fails a move to a position beyond 4 GB - 1, but
// not every implementation of it does (some move there and answer the low
// half).  The new position is worked out here first, so such a move fails
// everywhere and leaves the file pointer where it was.
uint32_t setFilePointer(Handle file, int32_t distance, uint32_t origin) {
    LARGE_INTEGER base{};
    const LARGE_INTEGER none{};
    BOOL known = TRUE;
    switch (origin) {
        case FILE_BEGIN:
            break;
        case FILE_CURRENT:
            known = SetFilePointerEx(file, none, &base, FILE_CURRENT);
            break;
        case FILE_END:
            known = GetFileSizeEx(file, &base);
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            known = FALSE;
    }
    if (!known) return INVALID_SET_FILE_POINTER;
    LARGE_INTEGER target;
    target.QuadPart = base.QuadPart + distance;
    if (target.QuadPart < 0 || target.QuadPart > LONGLONG(UINT32_MAX)) {
        SetLastError(target.QuadPart < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    return SetFilePointerEx(file, target, nullptr, FILE_BEGIN) ? target.u.LowPart : INVALID_SET_FILE_POINTER;
}

bool setEndOfFile(Handle file) { return SetEndOfFile(file) != FALSE; }

namespace {

// Windows byte-range locks are mandatory: reads and writes of the range by
// other handles fail.  The lock is taken on the last byte of the 64-bit
// range, which no file reaches, so it excludes only other lockers.  The edit
// lock takes the byte before it: ranges that do not overlap never wait for
// each other.
constexpr DWORD lockOffsetLow = 0xFFFFFFFEu;
constexpr DWORD editLockOffsetLow = 0xFFFFFFFDu;
constexpr DWORD lockOffsetHigh = 0xFFFFFFFFu;

}  // namespace

bool lockFile(Handle file) {
    OVERLAPPED range{};
    range.Offset = lockOffsetLow;
    range.OffsetHigh = lockOffsetHigh;
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range) != FALSE;
}

bool unlockFile(Handle file) {
    OVERLAPPED range{};
    range.Offset = lockOffsetLow;
    range.OffsetHigh = lockOffsetHigh;
    return UnlockFileEx(file, 0, 1, 0, &range) != FALSE;
}

uint32_t fileSize(Handle file) {
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    return high == 0 ? low : INVALID_FILE_SIZE;
}

EditLock lockEdits(const char* path, bool wait, Handle* lock) {
    *lock = invalidFile();
    Handle file = openFile(path, FileAccess::read);
    if (file == INVALID_HANDLE_VALUE) return EditLock::failed;
    OVERLAPPED range{};
    range.Offset = editLockOffsetLow;
    range.OffsetHigh = lockOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0, 1, 0, &range)) {
        const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(file);
        return busy ? EditLock::busy : EditLock::failed;
    }
    *lock = file;
    return EditLock::held;
}

bool closeFile(Handle file) { return CloseHandle(file) != FALSE; }

// ---- Private-profile settings -----------------------------------------------------

uint32_t profileInt(const char* section, const char* key, int32_t defaultValue, const char* path) {
    return GetPrivateProfileIntA(section, key, defaultValue, path);
}

bool writeProfileString(const char* section, const char* key, const char* value, const char* path) {
    return WritePrivateProfileStringA(section, key, value, path) != FALSE;
}

// ---- Memory ------------------------------------------------------------------------

void* globalAllocZeroed(size_t bytes) { return GlobalAlloc(GPTR, bytes); }

void globalFree(void* block) {
    if (block != nullptr) GlobalFree(block);
}

// ---- Message boxes -------------------------------------------------------------------

namespace {

SRWLOCK observerLock = SRWLOCK_INIT;
MessageBoxObserver boxObserver = nullptr;
void* boxContext = nullptr;

}  // namespace

void setMessageBoxObserver(MessageBoxObserver observer, void* context) {
    AcquireSRWLockExclusive(&observerLock);
    boxObserver = observer;
    boxContext = context;
    ReleaseSRWLockExclusive(&observerLock);
}

int messageBox(Handle owner, const char* text, const char* caption, uint32_t style) {
    AcquireSRWLockShared(&observerLock);
    MessageBoxObserver observer = boxObserver;
    void* context = boxContext;
    ReleaseSRWLockShared(&observerLock);
    if (observer != nullptr) {
        observer(context, text != nullptr ? text : "", caption != nullptr ? caption : "Error");
        return IDOK;
    }
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

// ---- Formatted strings ---------------------------------------------------------------

int formatString(char* output, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(output, format, arguments);
    va_end(arguments);
    return length;
}

// ---- Modules ---------------------------------------------------------------------------

namespace {

Handle volatile instanceHandle = nullptr;

}  // namespace

Handle moduleInstance() { return instanceHandle; }

void setModuleInstance(Handle instance) {
    if (instance != nullptr) InterlockedCompareExchangePointer(&instanceHandle, instance, nullptr);
}

Handle loadLibrary(const char* path) { return LoadLibraryA(path); }

void* librarySymbol(Handle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(Handle library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

std::string lastErrorText() {
    DWORD error = GetLastError();
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
    if (length == 0) return "error " + std::to_string(error);
    return std::string(text, length);
}

std::string executableDirectory() {
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return std::string();
    std::string full(path, length);
    size_t separator = full.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : full.substr(0, separator);
}

}  // namespace qw::sys
