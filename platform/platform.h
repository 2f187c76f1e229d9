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
// for; a backend may give more where its runtime needs it.  The thread's
// message queue exists when this returns.
Handle createThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId);
// CreateThread with CREATE_SUSPENDED: the thread exists, with its id, but its
// procedure does not begin until resumeThread.  The creator can so store the
// handle and id where the thread (or anyone it calls) will look for them.
Handle createSuspendedThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId);
// ResumeThread for a thread made suspended: lets its procedure begin.  Its
// message queue exists when this returns.  False when the thread was not
// waiting to begin.
bool resumeThread(Handle thread);
// SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL).
void raiseCurrentThreadPriority();
uint32_t currentThreadId();

enum class WaitResult { signalled, timedOut, failed };
// WaitForSingleObject on a thread handle.
WaitResult waitForThread(Handle thread, uint32_t milliseconds);
// TerminateThread.  win32: the thread ends at once and nothing it owns is
// freed.  posix: the end takes effect where the thread next waits in the
// system (a sleep, a read, a write, a wait) or calls endIfTerminated; it then
// unwinds the thread's stack, so the destructors of what it owns run, and
// nothing after that point runs.
bool terminateThread(Handle thread, uint32_t exitCode);
// Ends the calling thread here when terminateThread was called for it and has
// not taken effect yet.  A thread calls it after a call into code that may
// have blocked while it was given up on, before it touches anything shared.
// win32: a terminated thread runs no further, so this does nothing.
void endIfTerminated();
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
// Returns the new position, or invalidSetFilePointer when the move fails.  A
// move before the start of the file, or to a position beyond 4 GB - 1, which
// the answer cannot hold, fails and leaves the position where it was.
uint32_t setFilePointer(Handle file, int32_t distance, uint32_t origin);
bool setEndOfFile(Handle file);
// An exclusive advisory lock on the whole file (flock; LockFileEx on a byte
// range no file reaches, so that reads and writes of other handles go on):
// waits until every other handle's lock, in this process or another, is gone.
// It does not stop a handle that takes no lock.
bool lockFile(Handle file);
bool unlockFile(Handle file);
// The size, or 0xFFFFFFFF when it cannot be had or does not fit in 32 bits.
uint32_t fileSize(Handle file);
bool closeFile(Handle file);

// An editor's lock on a file: held around a whole read-edit-save, so that two
// editors of one file, in one process or two, take their turns.  It is not
// the lock of lockFile: neither waits for the other, so an editor that holds
// it can save under lockFile.  posix: a lock on one byte of a lock file in
// the system's temporary folder, at a place made from the file's device and
// inode; win32: a lock on another byte of the file than lockFile's.  Every
// name of a file (a hard or symbolic link) reaches its one edit lock.
// closeFile(*lock) lets go.
enum class EditLock { held, busy, failed };
// busy, and nothing held, when another editor holds it and wait is false.
EditLock lockEdits(const char* path, bool wait, Handle* lock);

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

// ---- Dialogs and windows (user32) -------------------------------------------
// A modeless dialog made from a template, its controls addressed by id, and a
// message hook that lets a dialog see the keyboard messages of a thread whose
// message loop knows nothing of it.  The posix backend is a headless dialog
// manager: it builds the controls from the same template table, keeps every
// window in a registry, and calls the dialog procedures synchronously.  Each
// copy of this layer in a process (a host's, and each module's, linked into
// its shared object) has a registry of its own, so these calls reach only the
// windows their own copy made; a module opens its windows to hosts through
// the C table of quillwave/dialog.h.

// Dialog and hook procedures use the system's callback convention.
#if defined(_WIN32) && !defined(_WIN64)
#define QW_WINAPI __stdcall
#else
#define QW_WINAPI
#endif

// Window messages.
constexpr uint32_t messageNull = 0x0000;        // WM_NULL
constexpr uint32_t messageDestroy = 0x0002;     // WM_DESTROY
constexpr uint32_t messageClose = 0x0010;       // WM_CLOSE
constexpr uint32_t messageKeyFirst = 0x0100;    // WM_KEYFIRST
constexpr uint32_t messageKeyDown = 0x0100;     // WM_KEYDOWN
constexpr uint32_t messageKeyLast = 0x0108;     // the last keyboard message a hook hands on
constexpr uint32_t messageInitDialog = 0x0110;  // WM_INITDIALOG
constexpr uint32_t messageCommand = 0x0111;     // WM_COMMAND
constexpr uint32_t peekRemove = 1;              // PM_REMOVE: a hook's wParam for a message taken off the queue
constexpr uint32_t keyReturn = 0x0D;            // VK_RETURN
constexpr uint32_t keyEscape = 0x1B;            // VK_ESCAPE
constexpr int32_t commandCancel = 2;            // IDCANCEL: the command Escape sends
constexpr int32_t comboError = -1;              // CB_ERR

// The command id in the low word of a WM_COMMAND wParam.
constexpr int32_t commandId(uintptr_t wParam) { return int32_t(int16_t(wParam & 0xFFFF)); }

// A queued message as a message hook sees it (layout of MSG).
struct WindowMessage {
    Handle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t time;
    int32_t x;
    int32_t y;
};

using DialogProc = intptr_t(QW_WINAPI*)(Handle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
using HookProc = intptr_t(QW_WINAPI*)(int32_t code, uintptr_t wParam, intptr_t lParam);

// Dialog templates: what a resource script holds, as data.
enum class ControlClass { button, edit, staticText, comboBox };

// Style bits of the templates (window, dialog, edit, combo box, button and
// static styles), with the system's values.
namespace style {
constexpr uint32_t popup = 0x80000000u;         // WS_POPUP
constexpr uint32_t caption = 0x00C00000u;       // WS_CAPTION
constexpr uint32_t sysMenu = 0x00080000u;       // WS_SYSMENU
constexpr uint32_t clipSiblings = 0x04000000u;  // WS_CLIPSIBLINGS
constexpr uint32_t border = 0x00800000u;        // WS_BORDER
constexpr uint32_t vScroll = 0x00200000u;       // WS_VSCROLL
constexpr uint32_t tabStop = 0x00010000u;       // WS_TABSTOP
constexpr uint32_t modalFrame = 0x0080u;        // DS_MODALFRAME
constexpr uint32_t multiLine = 0x0004u;         // ES_MULTILINE
constexpr uint32_t autoHScroll = 0x0080u;       // ES_AUTOHSCROLL
constexpr uint32_t readOnly = 0x0800u;          // ES_READONLY
constexpr uint32_t dropDownList = 0x0003u;      // CBS_DROPDOWNLIST
constexpr uint32_t noIntegralHeight = 0x0400u;  // CBS_NOINTEGRALHEIGHT
constexpr uint32_t pushButton = 0x0000u;        // BS_PUSHBUTTON
constexpr uint32_t defPushButton = 0x0001u;     // BS_DEFPUSHBUTTON
constexpr uint32_t groupBox = 0x0007u;          // BS_GROUPBOX
constexpr uint32_t buttonTypeMask = 0x000Fu;    // BS_TYPEMASK
constexpr uint32_t leftText = 0x0000u;          // SS_LEFT
constexpr uint32_t centerText = 0x0001u;        // SS_CENTER
}  // namespace style

struct DialogItemTemplate {
    int32_t id;
    ControlClass kind;
    const char* text;
    int16_t x, y, width, height;  // dialog units
    uint32_t style;               // beyond the child and visible styles every control has
};

struct DialogTemplate {
    const char* caption;
    const char* fontName;
    uint16_t fontSize;
    int16_t width, height;
    uint32_t style;
    const DialogItemTemplate* items;  // in template (tab) order
    uint32_t itemCount;
};

// Makes a template known under its resource id.  posix: createDialog builds
// its dialogs from it.  win32: the module's resource script holds the same
// template, so there is nothing to do.
void registerDialogTemplate(uint32_t templateId, const DialogTemplate* dialogTemplate);

Handle findWindow(const char* caption);   // FindWindowA(nullptr, caption); hidden windows too
void showWindow(Handle window);           // ShowWindow(SW_SHOW); also activates it
bool isWindowVisible(Handle window);      // IsWindowVisible
void setForegroundWindow(Handle window);  // SetForegroundWindow
Handle foregroundWindow();                // GetForegroundWindow
// CreateDialogParamA: the procedure gets WM_INITDIALOG with the parameter as
// lParam before this returns.  0 on failure.
Handle createDialog(Handle instance, uint32_t templateId, Handle parent, DialogProc procedure, intptr_t parameter);
bool endDialog(Handle dialog, intptr_t result);  // EndDialog
bool destroyWindow(Handle window);               // DestroyWindow: the procedure gets WM_DESTROY

bool setItemText(Handle dialog, int32_t id, const char* text);  // SetDlgItemTextA
// GetDlgItemTextA: copies at most maxCount - 1 characters and a NUL; returns
// the number copied.
uint32_t getItemText(Handle dialog, int32_t id, char* buffer, int32_t maxCount);
void enableItem(Handle dialog, int32_t id, bool enable);  // EnableWindow(GetDlgItem(...))
bool isItemEnabled(Handle dialog, int32_t id);            // IsWindowEnabled(GetDlgItem(...))
// A click on a control as the user makes it: a button that is enabled sends
// WM_COMMAND with its id to the dialog; a disabled one does nothing.
void clickItem(Handle dialog, int32_t id);

int32_t comboAddString(Handle dialog, int32_t id, const char* text);  // CB_ADDSTRING: index or comboError
int32_t comboSetSelection(Handle dialog, int32_t id, int32_t index);  // CB_SETCURSEL: index or comboError
int32_t comboSelection(Handle dialog, int32_t id);                    // CB_GETCURSEL: comboError when none
int32_t comboCount(Handle dialog, int32_t id);                        // CB_GETCOUNT
// CB_GETLBTEXT, cut to size - 1 characters and a NUL: length, or comboError.
int32_t comboItemText(Handle dialog, int32_t id, int32_t index, char* buffer, uint32_t size);

void setWindowUserData(Handle window, intptr_t data);  // SetWindowLongA(GWL_USERDATA)
intptr_t windowUserData(Handle window);                // GetWindowLongA(GWL_USERDATA)

// SetWindowsHookExA(WH_GETMESSAGE, procedure, no module, threadId): 0 on failure.
Handle setMessageHook(HookProc procedure, uint32_t threadId);
bool removeMessageHook(Handle hook);                                                  // UnhookWindowsHookEx
intptr_t callNextHook(Handle hook, int32_t code, uintptr_t wParam, intptr_t lParam);  // CallNextHookEx
bool isDialogMessage(Handle dialog, WindowMessage* message);                          // IsDialogMessageA

// The message loop of a window the user works: PeekMessageA, TranslateMessage
// and DispatchMessageA on the calling thread, waiting in between, until the
// window is gone; then true.  posix: nobody can work a headless window, so
// this returns false at once and leaves the window as it is.
bool runUntilDestroyed(Handle window);

// A key press as the calling thread's message loop sees it: a key-down for
// the window goes through the thread's message hooks when it is taken off the
// queue.  True when a hook took it (it arrived as WM_NULL).
bool deliverKey(Handle window, uint32_t key);

}  // namespace qw::sys
