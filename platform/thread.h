#pragma once

#include <memory>

namespace platform {

// Waits without a limit.
constexpr int kWaitForever = -1;

// Owns one thread of this process. A thread is never killed: its owner waits for its end with
// waitForEnd, or gives it up on purpose with abandon (it then runs on, and must own what it touches).
class Thread {
public:
    using Entry = void (*)(void* argument);

    Thread();
    // A thread that was started and has neither been waited for to its end nor abandoned is a bug;
    // a debug build stops here.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts entry(argument) on a new thread; returns false if the system refused.
    // A Thread is started at most once.
    bool start(Entry entry, void* argument);

    // The system's id of the thread; 0 before start.
    unsigned long id() const;

    // Waits up to timeoutMs (or kWaitForever) for the thread to end. True once it has ended,
    // and for a thread that never started.
    bool waitForEnd(int timeoutMs);

    // Gives the thread up: it runs on by itself, and this object no longer waits for it.
    void abandon();

    struct Native;

private:
    std::shared_ptr<Native> native_;
    bool settled_ = true;
};

}  // namespace platform
