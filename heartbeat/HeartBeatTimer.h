#pragma once

#include <atomic>
#include <memory>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread.h"

class iHeartBeatListener;

// Calls its listener's onHeartBeat every 100 ms (plus the time of the call; no drift
// correction) on a thread of its own. The listener is called with the lock held, so detach
// returns only after a call in progress has finished, and no call begins after it.
class HeartBeatTimer {
public:
    static constexpr int kStopWaitMs = 6000;

    HeartBeatTimer();
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
    static void run(void* self);
    void tickUntilStopped();

    platform::Lock lock;
    platform::Thread thread;
    std::unique_ptr<platform::Event> stopEvent;
    // Also ends the thread when stopEvent could not be created and so never signals.
    std::atomic<bool> stopRequested{false};
    iHeartBeatListener* listener = nullptr;
};
