#include "bench/Clock.h"

#include <chrono>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

const Clock::time_point& epoch()
{
    static const Clock::time_point start = Clock::now();
    return start;
}

// Taken before main runs, so that no thread can be first to read the clock's zero.
[[maybe_unused]] const Clock::time_point& kStartedAt = epoch();

}  // namespace

double nowMs() { return std::chrono::duration<double, std::milli>(Clock::now() - epoch()).count(); }

void sleepMs(double ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

void sleepUntilMs(double atMs) { sleepMs(atMs - nowMs()); }

}  // namespace bench
