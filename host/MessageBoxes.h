// The module's message boxes, answered as the user would answer them: each
// is closed with OK and counted, so that a command tells in one line what
// the module showed instead of leaving the user to close box after box.
#pragma once

#include <atomic>
#include <string>

#include "host/Module.h"
#include "platform/platform.h"

namespace qw::host {

class MessageBoxes {
public:
    // Answers the boxes of the module while this lives (Windows: a thread
    // that finds each box of this process; Linux: the handler of the module's
    // headless dialogs, where the module has it, else its boxes go to
    // standard error as before).  The module must stay loaded meanwhile.
    explicit MessageBoxes(const Module& module);
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    // Once the module shows no more: waits (at most 10 s) until a box that
    // was found is closed, then prints "quillwave: closed N message boxes
    // from the module: "TEXT"" on standard error when there were any.
    void report() const;

private:
    void waitUntilClosed() const;
    void closed(const char* text);
#if defined(_WIN32)
    static uint32_t watch(void* self);
    std::atomic<bool> quit{false};
    std::atomic<bool> boxOpen{false};
    sys::Handle thread = nullptr;
#else
    static void handle(void* self, const char* text, const char* caption);
    const Module& module;
#endif
    // Boxes come one at a time (each holds the thread that shows it).
    std::atomic<uint32_t> count{0};
    std::string firstText;
};

}  // namespace qw::host
