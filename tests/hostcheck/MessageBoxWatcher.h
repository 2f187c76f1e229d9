// Closes the message boxes the module shows, as a user clicking OK would.
#pragma once

#include <atomic>

#include "platform/platform.h"

namespace qw::check {

// Windows: a thread finds each message box of this process, writes
// "CAPTION: TEXT" on standard error (the line the Linux module writes for
// a box) and presses its OK button.  Elsewhere the module shows no window,
// and the watcher does nothing.
class MessageBoxWatcher {
public:
    MessageBoxWatcher();
    ~MessageBoxWatcher();
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Waits (at most 10 s) until no box found is still open.
    void waitUntilClosed();

private:
    static uint32_t run(void* self);

    std::atomic<bool> quit{false};
    std::atomic<bool> boxOpen{false};
    sys::Handle thread = nullptr;
};

}  // namespace qw::check
