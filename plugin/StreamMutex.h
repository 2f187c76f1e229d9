// The lock of the stream interface: a recursive mutex and the guard that
// holds it for a block.  Each concrete input stream guards its multi-call
// operations (a seek and a read that must not interleave) with one of these,
// so the lock sits beside InputStream rather than with either stream.
#pragma once

#include "platform/platform.h"

namespace qw {

class Mutex {
public:
    Mutex() : handle(sys::createMutex()) {}
    virtual ~Mutex() { sys::closeMutex(handle); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() { sys::lockMutex(handle); }
    void unlock() { sys::unlockMutex(handle); }

private:
    sys::Handle handle;
};

class ScopedLock {
public:
    explicit ScopedLock(Mutex& mutex) : held(mutex) { held.lock(); }
    virtual ~ScopedLock() { held.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& held;
};

}  // namespace qw
