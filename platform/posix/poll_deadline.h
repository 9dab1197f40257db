#pragma once

#include <cerrno>
#include <chrono>

#include "platform/thread.h"

namespace platform {

// The time left of a wait for poll(): repeated polls after a spurious wake-up or a signal
// still end at the original deadline. kWaitForever never passes.
class PollDeadline {
public:
    explicit PollDeadline(int timeoutMs)
        : forever_(timeoutMs < 0),
          end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(forever_ ? 0 : timeoutMs))
    {
    }

    // Rounded up: rounded down, the last fraction of a millisecond would become polls of 0 ms
    // in a loop, a busy wait at the end of every timed wait.
    int remainingMs() const
    {
        if (forever_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

    bool passed() const { return !forever_ && std::chrono::steady_clock::now() >= end_; }

    static bool interrupted() { return errno == EINTR; }

private:
    bool forever_;
    std::chrono::steady_clock::time_point end_;
};

}  // namespace platform
