#include "heartbeat/HeartBeatTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>
#include <vector>

#include "link/iHeartBeatListener.h"
#include "platform/sleep.h"
#include "support/CaseName.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingListener final : public iHeartBeatListener {
public:
    explicit CountingListener(int callMs = 0) : callMs(callMs) {}

    void onHeartBeat() override
    {
        inCall = true;
        if (callMs > 0) platform::sleepMs(callMs);
        ++calls;
        if (mustNotBeCalled) ++callsAfterDetach;
        inCall = false;
    }

    bool waitForCalls(int count, int timeoutMs)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (calls < count) {
            if (Clock::now() > end) return false;
            platform::sleepMs(10);
        }
        return true;
    }

    const int callMs;
    std::atomic<int> calls{0};
    std::atomic<bool> inCall{false};
    std::atomic<bool> mustNotBeCalled{false};
    std::atomic<int> callsAfterDetach{0};
};

TEST(HeartBeatTimer, TicksItsListenerUntilStopped)
{
    CountingListener listener;
    HeartBeatTimer timer;
    timer.attach(&listener);
    timer.start();
    ASSERT_TRUE(listener.waitForCalls(5, 5000));
    EXPECT_TRUE(timer.stop());
    const int afterStop = listener.calls;
    platform::sleepMs(300);
    EXPECT_EQ(listener.calls, afterStop);
}

TEST(HeartBeatTimer, TicksAboutEveryHundredMilliseconds)
{
    CountingListener listener;
    HeartBeatTimer timer;
    timer.attach(&listener);
    const auto began = Clock::now();
    timer.start();
    ASSERT_TRUE(listener.waitForCalls(10, 10000));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
    timer.stop();
    // Ten ticks take at least ten periods; the upper margin only catches a stalled timer.
    EXPECT_GE(elapsed, 10 * 100 - 20);
    EXPECT_LT(elapsed, 10 * 100 * 5);
}

TEST(HeartBeatTimer, AfterDetachReturnsNoCallBegins)
{
    CountingListener listener(30);  // long calls make a detach during a call likely
    HeartBeatTimer timer;
    timer.attach(&listener);
    timer.start();
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(listener.waitForCalls(listener.calls + 1, 5000));
        timer.detach();
        EXPECT_FALSE(listener.inCall) << "detach returned while a call was in progress";
        listener.mustNotBeCalled = true;
        platform::sleepMs(250);
        listener.mustNotBeCalled = false;
        timer.attach(&listener);
    }
    timer.stop();
    EXPECT_EQ(listener.callsAfterDetach, 0);
}

// A listener whose call holds until it is let go.
class HeldListener final : public iHeartBeatListener {
public:
    void onHeartBeat() override
    {
        entered = true;
        while (!released) platform::sleepMs(5);
    }

    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
};

TEST(HeartBeatTimer, DetachWaitsForTheCallInProgress)
{
    HeldListener listener;
    HeartBeatTimer timer;
    timer.attach(&listener);
    timer.start();
    while (!listener.entered) platform::sleepMs(5);

    std::atomic<bool> detached{false};
    std::thread detacher([&] {
        timer.detach();
        detached = true;
    });
    platform::sleepMs(300);
    EXPECT_FALSE(detached) << "detach returned while the listener was still being called";
    listener.released = true;
    detacher.join();
    EXPECT_TRUE(timer.stop());
}

TEST(HeartBeatTimer, WithoutAListenerTicksCallNothing)
{
    CountingListener listener;
    HeartBeatTimer timer;
    timer.start();
    platform::sleepMs(350);
    timer.attach(&listener);
    timer.detach();
    platform::sleepMs(250);
    EXPECT_EQ(listener.calls, 0);
    EXPECT_TRUE(timer.stop());
}

TEST(HeartBeatTimer, StopBounds)
{
    HeartBeatTimer idle;
    const auto began = Clock::now();
    EXPECT_TRUE(idle.stop());
    EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(1000));

    CountingListener slow(400);
    HeartBeatTimer busy;
    busy.attach(&slow);
    busy.start();
    while (!slow.inCall) platform::sleepMs(5);
    EXPECT_TRUE(busy.stop());
    EXPECT_FALSE(slow.inCall) << "stop returned before the call in progress finished";
    EXPECT_GE(slow.calls, 1);
}

// How long a wait that asks for some milliseconds really lasts, in microseconds.
using WaitLength = std::function<long(int askedMs)>;

// The times of the first count ticks of a heartbeat on a clock of its own, whose waits last as
// waitLasts says: the figures are exact, whatever the machine is doing.
std::vector<Clock::duration> ticksOnAClockOfItsOwn(const WaitLength& waitLasts, size_t count)
{
    Clock::time_point now{};
    std::vector<Clock::duration> ticks;
    std::atomic<bool> ended{false};
    struct Recorder final : iHeartBeatListener {
        std::function<void()> onTick;
        void onHeartBeat() override { onTick(); }
    } listener;
    listener.onTick = [&] { ticks.push_back(now - Clock::time_point{}); };
    HeartBeatTimer timer([&] { return now; },
                         [&](platform::Event&, int ms) {
                             if (ticks.size() == count) {
                                 ended = true;
                                 return platform::WaitResult::Signalled;
                             }
                             now += std::chrono::microseconds(waitLasts(ms));
                             return platform::WaitResult::TimedOut;
                         });
    timer.attach(&listener);
    timer.start();
    for (int waited = 0; !ended && waited < 5000; waited += 10) platform::sleepMs(10);
    EXPECT_TRUE(timer.stop());
    return ticks;
}

struct WaitCase {
    const char* what;
    WaitLength lastsUs;
};
void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.what; }

class TicksOnTheMarks : public ::testing::TestWithParam<WaitCase> {};

// Each tick falls on its 100 ms mark from the start, late by at most what one wait adds, never
// by the sum of them.
TEST_P(TicksOnTheMarks, FiftyTicksSpanFiveSecondsWhateverEachWaitLasts)
{
    constexpr size_t kTicks = 50;
    const std::vector<Clock::duration> ticks = ticksOnAClockOfItsOwn(GetParam().lastsUs, kTicks);
    ASSERT_EQ(ticks.size(), kTicks);
    for (size_t i = 0; i < kTicks; ++i) {
        const auto late = ticks[i] - std::chrono::milliseconds(100 * (i + 1));
        EXPECT_GE(late.count(), 0) << "tick " << i + 1 << " came early";
        EXPECT_LE(late, std::chrono::milliseconds(16)) << "tick " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, TicksOnTheMarks,
    ::testing::Values(WaitCase{"exact", [](int ms) { return ms * 1000L; }},
                      WaitCase{"rounded up to the 15.625 ms system clock",
                               [](int ms) { return static_cast<long>(std::ceil(ms / 15.625) * 15625); }},
                      WaitCase{"returning after half its time", [](int ms) { return ms * 500L + 1; }},
                      WaitCase{"a millisecond long", [](int ms) { return ms * 1000L + 930; }}),
    CaseName());

// A thread stalled for a third of a second: the ticks after the late one keep their spacing
// from it, rather than come in a burst that would cut a running pulse short.
TEST(HeartBeatTimer, AfterAStallTicksKeepTheirSpacing)
{
    int waits = 0;
    const std::vector<Clock::duration> ticks =
        ticksOnAClockOfItsOwn([&](int ms) { return (++waits == 5 ? ms + 330 : ms) * 1000L; }, 10);
    ASSERT_EQ(ticks.size(), 10u);
    for (size_t i = 1; i < ticks.size(); ++i) {
        EXPECT_GE(ticks[i] - ticks[i - 1], std::chrono::milliseconds(100)) << "tick " << i + 1;
    }
}

}  // namespace
