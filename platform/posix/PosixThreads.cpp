// Mutexes, threads and thread message queues on POSIX threads.
//
// Windows gives every thread an id and, once it asks for one, a message queue
// that other threads post to by id.  Here a process-wide registry maps our own
// 32-bit ids to queues: a thread made by createThread has its queue from the
// moment it is created, any other thread gets one on its first peekMessage,
// and a thread's queue leaves the registry when the thread ends, so posting to
// an unknown or finished thread fails just as it does on Windows.
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/platform.h"

#if defined(__SANITIZE_ADDRESS__)
#define QW_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QW_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(QW_ADDRESS_SANITIZER)
#include <sanitizer/asan_interface.h>
#endif

namespace qw::sys {

// ---- Mutexes ---------------------------------------------------------------

Handle createMutex() {
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (mutex == nullptr) return nullptr;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    // A Windows mutex may be taken again by the thread that holds it.
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    int result = pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

void lockMutex(Handle mutex) {
    if (mutex != nullptr) pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex));
}

void unlockMutex(Handle mutex) {
    if (mutex != nullptr) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex));
}

void closeMutex(Handle mutex) {
    if (mutex == nullptr) return;
    auto* m = static_cast<pthread_mutex_t*>(mutex);
    pthread_mutex_destroy(m);
    delete m;
}

// ---- Message queues ----------------------------------------------------------

namespace {

struct MessageQueue {
    std::mutex lock;
    std::deque<Message> messages;
};

class QueueRegistry {
public:
    void add(uint32_t id, const std::shared_ptr<MessageQueue>& queue) {
        std::lock_guard<std::mutex> guard(lock);
        queues[id] = queue;
    }
    void remove(uint32_t id) {
        std::lock_guard<std::mutex> guard(lock);
        queues.erase(id);
    }
    std::shared_ptr<MessageQueue> find(uint32_t id) {
        std::lock_guard<std::mutex> guard(lock);
        auto it = queues.find(id);
        return it == queues.end() ? nullptr : it->second;
    }

private:
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>> queues;
};

// Destroyed with the module or program that holds it: the module is only
// unloaded after its decoding thread has ended, and the registry must go with
// it rather than stay behind as unreachable memory.
QueueRegistry& registry() {
    static QueueRegistry instance;
    return instance;
}

std::atomic<uint32_t> nextThreadId{1};

uint32_t newThreadId() {
    uint32_t id = nextThreadId.fetch_add(1);
    if (id == 0) id = nextThreadId.fetch_add(1);  // 0 never names a thread
    return id;
}

// Per-thread view of the id and the queue.  A thread that is not ours takes
// an id when it first asks for one; its queue is made on its first peek and
// leaves the registry when the thread ends.
struct ThreadSlot {
    uint32_t id = 0;
    std::shared_ptr<MessageQueue> queue;
    bool ownsRegistration = false;  // set for threads that peeked their own queue

    ~ThreadSlot() {
        if (ownsRegistration) registry().remove(id);
    }
};

thread_local ThreadSlot currentSlot;

}  // namespace

uint32_t currentThreadId() {
    if (currentSlot.id == 0) currentSlot.id = newThreadId();
    return currentSlot.id;
}

bool postThreadMessage(uint32_t threadId, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    std::shared_ptr<MessageQueue> queue = registry().find(threadId);
    if (!queue) return false;
    std::lock_guard<std::mutex> guard(queue->lock);
    queue->messages.push_back(Message{message, wParam, lParam});
    return true;
}

bool peekMessage(Message* message) {
    if (!currentSlot.queue) {
        currentSlot.queue = std::make_shared<MessageQueue>();
        currentSlot.ownsRegistration = true;
        registry().add(currentThreadId(), currentSlot.queue);
    }
    MessageQueue& queue = *currentSlot.queue;
    std::lock_guard<std::mutex> guard(queue.lock);
    if (queue.messages.empty()) return false;
    if (message != nullptr) *message = queue.messages.front();
    queue.messages.pop_front();
    return true;
}

void sleepMs(uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

// ---- Threads -------------------------------------------------------------------

namespace {

// Shared by the thread itself and its handle; whichever lets go last frees it,
// so a handle may be closed while the thread still runs, as on Windows.
struct ThreadRecord {
    ThreadProc procedure = nullptr;
    void* argument = nullptr;
    uint32_t id = 0;
    std::shared_ptr<MessageQueue> queue;

    std::mutex lock;
    std::condition_variable finishedSignal;
    std::condition_variable resumeSignal;
    bool resumed = false;  // a suspended thread's procedure may begin
    bool finished = false;
    uint32_t exitCode = 0;
    uint32_t terminateCode = 0;
    pthread_t thread{};

    std::atomic<int> references{2};

    void release() {
        if (references.fetch_sub(1) == 1) delete this;
    }
};

// Runs when the procedure returns or when the thread is cancelled (the forced
// unwind of a cancellation runs destructors): the queue leaves the registry,
// waiters are woken and the thread lets go of its record.
struct ThreadCompletion {
    ThreadRecord* record;
    uint32_t result = 0;
    bool returned = false;

    ~ThreadCompletion() {
        registry().remove(record->id);
        // The thread lets go of its record before a waiter can see it
        // finished, so a handle closed right after the wait frees the record
        // at once (no thread is left holding it when the process exits).
        bool last;
        {
            std::lock_guard<std::mutex> guard(record->lock);
            record->exitCode = returned ? result : record->terminateCode;
            record->finished = true;
            record->finishedSignal.notify_all();
            last = record->references.fetch_sub(1) == 1;
        }
        if (last) delete record;
    }
};

void* threadStart(void* argument) {
    auto* record = static_cast<ThreadRecord*>(argument);
    currentSlot.id = record->id;
    currentSlot.queue = record->queue;
    ThreadCompletion completion{record};
    {
        // A suspended thread waits here; a termination meanwhile unwinds it
        // from the wait (a cancellation point) through the completion.
        std::unique_lock<std::mutex> guard(record->lock);
        record->resumeSignal.wait(guard, [record] { return record->resumed; });
    }
    completion.result = record->procedure(record->argument);
    completion.returned = true;
    return nullptr;
}

// Our runtime, and the sanitizers even more, need far more stack than a
// Windows thread that asks for 16 KiB; what the caller asks for is a floor.
constexpr size_t minimumStack = 256 * 1024;

}  // namespace

Handle createSuspendedThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId) {
    if (procedure == nullptr) return nullptr;
    auto* record = new (std::nothrow) ThreadRecord;
    if (record == nullptr) return nullptr;
    record->procedure = procedure;
    record->argument = argument;
    record->id = newThreadId();
    record->queue = std::make_shared<MessageQueue>();
    // The queue exists before the thread runs, so the creator may post at once.
    registry().add(record->id, record->queue);

    size_t stack = stackSize > minimumStack ? stackSize : minimumStack;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stack);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int result = pthread_create(&record->thread, &attributes, threadStart, record);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        registry().remove(record->id);
        delete record;
        return nullptr;
    }
    if (threadId != nullptr) *threadId = record->id;
    return record;
}

bool resumeThread(Handle thread) {
    if (thread == nullptr) return false;
    auto* record = static_cast<ThreadRecord*>(thread);
    std::lock_guard<std::mutex> guard(record->lock);
    if (record->resumed || record->finished) return false;
    record->resumed = true;
    record->resumeSignal.notify_all();
    return true;
}

Handle createThread(uint32_t stackSize, ThreadProc procedure, void* argument, uint32_t* threadId) {
    Handle thread = createSuspendedThread(stackSize, procedure, argument, threadId);
    if (thread != nullptr) resumeThread(thread);
    return thread;
}

void raiseCurrentThreadPriority() {
    // Linux keeps a nice value per thread.  Lowering it needs a privilege an
    // ordinary process lacks; then the call fails and the thread keeps its
    // priority, which is all we can do.
    pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice - 1);
}

WaitResult waitForThread(Handle thread, uint32_t milliseconds) {
    if (thread == nullptr) return WaitResult::failed;
    auto* record = static_cast<ThreadRecord*>(thread);
    std::unique_lock<std::mutex> guard(record->lock);
    if (milliseconds == 0xFFFFFFFFu) {  // INFINITE
        record->finishedSignal.wait(guard, [record] { return record->finished; });
        return WaitResult::signalled;
    }
    bool done = record->finishedSignal.wait_for(guard, std::chrono::milliseconds(milliseconds),
                                                [record] { return record->finished; });
    return done ? WaitResult::signalled : WaitResult::timedOut;
}

bool terminateThread(Handle thread, uint32_t exitCode) {
    // A POSIX thread cannot be stopped at an arbitrary point.  The
    // cancellation takes effect at the thread's next cancellation point (a
    // sleep, a wait, a read or write, endIfTerminated) and unwinds its stack:
    // what the thread owns is destroyed on the way, nothing else of it runs.
    if (thread == nullptr) return false;
    auto* record = static_cast<ThreadRecord*>(thread);
    std::lock_guard<std::mutex> guard(record->lock);
    if (record->finished) return true;
    record->terminateCode = exitCode;
    return pthread_cancel(record->thread) == 0;
}

void endIfTerminated() {
#if defined(QW_ADDRESS_SANITIZER)
    // A termination unwinds the stack without the clean-up that a throw gets
    // from the address checker: frames it skips would keep their guard zones
    // and later look like overflows.  The checker is told here, in the deepest
    // frame of the unwind, before any frame above is entered again.
    struct Unwinding {
        bool returned = false;
        ~Unwinding() {
            if (!returned) __asan_handle_no_return();
        }
    } unwinding;
    pthread_testcancel();
    unwinding.returned = true;
#else
    pthread_testcancel();
#endif
}

bool threadExitCode(Handle thread, uint32_t* exitCode) {
    if (thread == nullptr) return false;
    auto* record = static_cast<ThreadRecord*>(thread);
    std::lock_guard<std::mutex> guard(record->lock);
    if (!record->finished) return false;
    if (exitCode != nullptr) *exitCode = record->exitCode;
    return true;
}

void closeThread(Handle thread) {
    if (thread != nullptr) static_cast<ThreadRecord*>(thread)->release();
}

}  // namespace qw::sys
