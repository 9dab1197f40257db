#include "heartbeat/HeartBeatTimer.h"

#include "link/Tick.h"
#include "link/iHeartBeatListener.h"
#include "platform/sleep.h"

HeartBeatTimer::HeartBeatTimer() = default;

HeartBeatTimer::~HeartBeatTimer()
{
    stop();
    thread.waitForEnd(platform::kWaitForever);
}

void HeartBeatTimer::attach(iHeartBeatListener* newListener)
{
    platform::LockGuard hold(lock);
    listener = newListener;
}

void HeartBeatTimer::detach()
{
    platform::LockGuard hold(lock);
    listener = nullptr;
}

void HeartBeatTimer::start()
{
    stopEvent = std::make_unique<platform::Event>(platform::EventReset::Manual);
    thread.start(&HeartBeatTimer::run, this);
}

bool HeartBeatTimer::stop()
{
    stopRequested = true;
    if (stopEvent) stopEvent->set();
    return thread.waitForEnd(kStopWaitMs);
}

void HeartBeatTimer::run(void* self) { static_cast<HeartBeatTimer*>(self)->tickUntilStopped(); }

void HeartBeatTimer::tickUntilStopped()
{
    for (;;) {
        const platform::WaitResult waited = stopEvent->wait(kTickMs);
        // A wait that failed returned at once; sleeping keeps the ticks a period apart.
        if (waited == platform::WaitResult::Failed) platform::sleepMs(kTickMs);
        if (waited == platform::WaitResult::Signalled || stopRequested) return;
        platform::LockGuard hold(lock);
        if (listener) listener->onHeartBeat();
    }
}
