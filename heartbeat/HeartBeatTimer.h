#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread.h"

class iHeartBeatListener;

// Calls its listener's onHeartBeat on a thread of its own, on every 100 ms mark from its start:
// each wait runs to the next mark, so a wait the system rounds up, or a call that takes time,
// delays one tick and never the ones after it. The listener is called with the lock held, so
// detach returns only after a call in progress has finished, and no call begins after it.
class HeartBeatTimer {
public:
    static constexpr int kStopWaitMs = 6000;

    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Waits up to ms for the stop event, as platform::Event::wait does.
    using StopWait = std::function<platform::WaitResult(platform::Event& stop, int ms)>;

    HeartBeatTimer();
    // clock and wait stand in for the system's (tests pass their own).
    HeartBeatTimer(Clock clock, StopWait wait);
    // Stops the thread if that has not been done, waiting for it to end.
    ~HeartBeatTimer();
    HeartBeatTimer(const HeartBeatTimer&) = delete;
    HeartBeatTimer& operator=(const HeartBeatTimer&) = delete;

    // Any thread, any time, before or after start; listener is not owned.
    void attach(iHeartBeatListener* listener);
    void detach();

    // Starts ticking; the first tick comes 100 ms later. Once only.
    void start();

    // Ends the thread for good, waiting at most 6000 ms for it; returns whether it ended.
    // At once on a timer that never started.
    bool stop();

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    static void run(void* self);
    void tickUntilStopped();
    // Waits until mark; false once a stop was asked for.
    bool waitUntil(TimePoint mark);

    const Clock clock;
    const StopWait stopWait;
    platform::Lock lock;
    platform::Thread thread;
    std::unique_ptr<platform::Event> stopEvent;
    // Also ends the thread when stopEvent could not be created and so never signals.
    std::atomic<bool> stopRequested{false};
    iHeartBeatListener* listener = nullptr;
};
