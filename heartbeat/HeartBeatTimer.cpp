#include "heartbeat/HeartBeatTimer.h"

#include "link/Tick.h"
#include "link/iHeartBeatListener.h"
#include "platform/sleep.h"
#include "platform/thread_priority.h"
#include "platform/timer_resolution.h"

namespace {
constexpr std::chrono::milliseconds kPeriod{kTickMs};
}

HeartBeatTimer::HeartBeatTimer()
    : HeartBeatTimer([] { return std::chrono::steady_clock::now(); },
                     [](platform::Event& stop, int ms) { return stop.wait(ms); })
{
}

HeartBeatTimer::HeartBeatTimer(Clock clock, StopWait wait) : clock(std::move(clock)), stopWait(std::move(wait)) {}

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
    // Otherwise a Windows wait would end up to a system clock tick (15.6 ms) past its mark.
    const platform::FineTimerResolution exactWaits;
    platform::runCallingThreadForTiming();
    TimePoint nextTick = clock() + kPeriod;
    while (waitUntil(nextTick)) {
        // A tick a whole period late (a stalled thread, a machine waking from sleep) sets the
        // marks afresh from itself, so the ticks it missed do not follow in a burst that would cut
        // a pulse short. Lateness below that stays on the marks: a pulse that spans a late tick
        // keeps its length, where marks moved by it would lengthen every such pulse.
        const TimePoint now = clock();
        if (now - nextTick >= kPeriod) nextTick = now;
        {
            platform::LockGuard hold(lock);
            if (listener) listener->onHeartBeat();
        }
        nextTick += kPeriod;
    }
}

bool HeartBeatTimer::waitUntil(TimePoint mark)
{
    for (;;) {
        const TimePoint now = clock();
        if (now >= mark) return !stopRequested;
        const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(mark - now).count());
        const platform::WaitResult waited = stopWait(*stopEvent, ms);
        if (waited == platform::WaitResult::Signalled || stopRequested) return false;
        // A wait that failed returned at once; sleeping keeps the ticks a period apart.
        if (waited == platform::WaitResult::Failed) platform::sleepMs(ms);
    }
}
