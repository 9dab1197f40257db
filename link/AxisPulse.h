#pragma once

#include <chrono>

// One axis's guide pulse as the mount protocol runs it: the countdown of the pulse under way, the
// stop that ends it, and a stop that could not be written, which stays owed to the mount until it
// is: the mount may still be moving.
struct AxisPulse {
    using TimePoint = std::chrono::steady_clock::time_point;

    int ticks = 0;                   // ticks left of the running pulse; 0 when none runs
    const char* stop = nullptr;      // the stop of the direction last moved
    const char* owedStop = nullptr;  // a stop whose write failed, tried again until it is written
    int ticksToRetry = 0;            // ticks until the owed stop is tried again
    int backlogBytes = 0;            // control bytes already queued when the move went out
    bool frameWasQueued = false;     // the frame being handled is among those bytes
    TimePoint movedAt;               // when the move went out
    std::chrono::milliseconds shortest{0};  // the pulse's length less half a tick

    bool running() const { return ticks != 0; }
    // The stop the mount needs to let go of this axis, if any.
    const char* heldStop() const { return running() ? stop : owedStop; }
    // Ends the pulse under way and forgets an owed stop; returns the stop the mount still needed.
    const char* release()
    {
        const char* held = heldStop();
        ticks = 0;
        owedStop = nullptr;
        return held;
    }

    // Called for every frame the protocol handles, size bytes long, before it acts on it.
    void passFrame(int size)
    {
        frameWasQueued = backlogBytes > 0;
        backlogBytes = frameWasQueued ? backlogBytes - size : 0;
    }
};
