#pragma once

#include <chrono>

#include "platform/thread.h"

namespace platform {

// The end of a timed wait that may take several system waits: each later wait asks for the time
// left, so the whole still ends at the original deadline. kWaitForever never passes.
class Deadline {
public:
    explicit Deadline(int timeoutMs)
        : forever_(timeoutMs < 0),
          end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(forever_ ? 0 : timeoutMs))
    {
    }

    // -1 for forever. Rounded up: rounded down, the last fraction of a millisecond would become
    // waits of 0 ms in a loop, a busy wait at the end of every timed wait.
    int remainingMs() const
    {
        if (forever_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

    bool passed() const { return !forever_ && std::chrono::steady_clock::now() >= end_; }

private:
    bool forever_;
    std::chrono::steady_clock::time_point end_;
};

}  // namespace platform
