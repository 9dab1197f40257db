#pragma once

#include <memory>

namespace platform {

// A mutual-exclusion lock for threads of this process (a critical section on Windows).
// Not recursive: a thread that holds it must not enter it again.
class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Blocks until the calling thread holds the lock.
    void enter();
    // Releases the lock; only the thread that entered it may leave it.
    void leave();
    // The same, by the names standard waits (std::condition_variable_any) call.
    void lock() { enter(); }
    void unlock() { leave(); }

    struct Native;

private:
    std::unique_ptr<Native> native_;
};

// Holds a lock for the lifetime of a scope, so that no path out of it can keep the lock.
class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.enter(); }
    ~LockGuard() { lock_.leave(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

}  // namespace platform
