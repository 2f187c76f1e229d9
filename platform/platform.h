// The operating-system services the module and the reference host use.
//
// Two backends implement this interface: platform/win32 over kernel32 and
// user32, and platform/posix, which gives the same behaviour on Linux.  Every
// call has the semantics of the Windows call named beside it; the posix side
// follows them where the rest of the system can observe the difference
// (recursive mutexes, thread message queues, file pointers that refuse to move
// before the start, INI files that keep what they do not touch).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qw::sys {

// Opaque handle.  Zero means "none" for every kind except files, whose
// failure value is invalidFile().
using Handle = void*;

// ---- Mutexes (CreateMutexA, WaitForSingleObject, ReleaseMutex) -----------
// Recursive for the owning thread, like a Windows mutex.
Handle createMutex();
void lockMutex(Handle mutex);  // waits without time-out
void unlockMutex(Handle mutex);
void closeMutex(Handle mutex);

// ---- Threads and their message queues -----------------------------------
// Message numbers of the thread protocol.
constexpr uint32_t messageQuit = 0x12;   // WM_QUIT
constexpr uint32_t messageApp = 0x8000;  // WM_APP

struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

using ThreadProc = uint32_t (*)(void* argument);

// CreateThread: returns 0 on failure.  stackSize is the size the caller asks
// for; a backend may give more where its runtime needs it.
Handle createThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId);
// SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL).
void raiseCurrentThreadPriority();
uint32_t currentThreadId();

enum class WaitResult { signalled, timedOut, failed };
// WaitForSingleObject on a thread handle.
WaitResult waitForThread(Handle thread, uint32_t milliseconds);
// TerminateThread.
bool terminateThread(Handle thread, uint32_t exitCode);
// GetExitCodeThread; false while the thread still runs.
bool threadExitCode(Handle thread, uint32_t* exitCode);
// CloseHandle on a thread handle.
void closeThread(Handle thread);

// PostThreadMessageA: false when the thread has no message queue.
bool postThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam);
// PeekMessageA(msg, 0, 0, 0, PM_REMOVE) on the calling thread's queue.
bool peekMessage(Message* message);

void sleepMs(uint32_t milliseconds);  // Sleep

// ---- Files (CreateFileA, ReadFile, WriteFile, SetFilePointer, ...) -------
enum class FileAccess { read, readWrite };  // GENERIC_READ [| GENERIC_WRITE]
enum FileOrigin : uint32_t { fileBegin = 0, fileCurrent = 1, fileEnd = 2 };
constexpr uint32_t invalidSetFilePointer = 0xFFFFFFFFu;

Handle invalidFile();  // INVALID_HANDLE_VALUE
// Opens an existing file, sharing read and write, for sequential scanning.
Handle openFile(const char* path, FileAccess access);
bool readFile(Handle file, void* buffer, uint32_t size, uint32_t* count);
bool writeFile(Handle file, const void* buffer, uint32_t size, uint32_t* count);
// Returns the new position, or invalidSetFilePointer when the move fails
// (a move before the start of the file fails and leaves the position).
uint32_t setFilePointer(Handle file, int32_t distance, uint32_t origin);
bool setEndOfFile(Handle file);
uint32_t fileSize(Handle file);  // low 32 bits; 0xFFFFFFFF on failure
bool closeFile(Handle file);

// ---- Private-profile settings (GetPrivateProfileIntA, ...) --------------
// Sections and keys compare without regard to case.
uint32_t profileInt(const char* section, const char* key, int32_t defaultValue, const char* path);
// Creates the file when missing; keeps every other section and key.
bool writeProfileString(const char* section, const char* key, const char* value, const char* path);

// ---- Memory (GlobalAlloc(GPTR), GlobalFree) ------------------------------
void* globalAllocZeroed(size_t bytes);
void globalFree(void* block);

// ---- Message boxes (MessageBoxA) -----------------------------------------
// posix: writes "caption: text" as one line to stderr and returns IDOK (1)
// at once.  While an observer is installed, both backends hand the box to
// it instead of showing it (tests and headless runs).
int messageBox(Handle owner, const char* text, const char* caption, uint32_t style);
using MessageBoxObserver = void (*)(void* context, const char* text, const char* caption);
void setMessageBoxObserver(MessageBoxObserver observer, void* context);

// ---- Formatted strings (wsprintfA: at most 1024 characters) -------------
int formatString(char* output, const char* format, ...);

// ---- Modules -------------------------------------------------------------
// The module's own instance handle, kept by its load entry (0 on posix
// until set).  setModuleInstance keeps the first nonzero value it is given.
Handle moduleInstance();
void setModuleInstance(Handle instance);

// LoadLibraryA / dlopen, GetProcAddress / dlsym, for hosts.
Handle loadLibrary(const char* path);
void* librarySymbol(Handle library, const char* name);
void freeLibrary(Handle library);
std::string lastErrorText();        // the last failure of the calls above, as text
std::string executableDirectory();  // folder of the running program, no trailing separator

}  // namespace qw::sys
