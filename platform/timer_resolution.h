#pragma once

namespace platform {

// Asks the system for timed waits exact to the millisecond while it lives. Windows rounds a
// wait's time-out to its clock tick, 15.6 ms unless a program asks for finer; other systems
// already wait that exactly, and there it does nothing.
class FineTimerResolution {
public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

private:
    [[maybe_unused]] bool granted_ = false;  // only where the system is asked
};

}  // namespace platform
