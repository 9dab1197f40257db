#pragma once

// One axis's guide pulse as the mount protocol runs it: a correction waiting for the next tick to
// send its move, the countdown of the pulse under way, the stop that ends it, and a stop that
// could not be written, which stays owed to the mount until it is: the mount may still be moving.
struct AxisPulse {
    int ticks = 0;                   // ticks left of the running pulse; 0 when none runs
    const char* stop = nullptr;      // the stop of the direction last moved
    const char* owedStop = nullptr;  // a stop whose write failed, tried again until it is written
    int ticksToRetry = 0;            // ticks until the owed stop is tried again

    // A correction accepted since the last tick. Its move leaves on the next tick, so that the
    // move and the stop fall on the same ticks and the pulse lasts exactly its ticks.
    // A mount-timed one (mountTimedMs > 0) sends :Mg instead of the move, and its ticks count to
    // the stop sent in case the mount did not time it.
    struct Waiting {
        const char* move = nullptr;
        const char* stop = nullptr;
        int ticks = 0;
        int mountTimedMs = 0;
    } waiting;

    bool running() const { return ticks != 0; }
    bool hasWaitingMove() const { return waiting.move != nullptr; }
    // The stop the mount needs to let go of this axis, if any.
    const char* heldStop() const { return running() ? stop : owedStop; }
    // Ends the pulse under way, drops a move not yet sent and forgets an owed stop; returns the
    // stop the mount still needed.
    const char* release()
    {
        const char* held = heldStop();
        ticks = 0;
        owedStop = nullptr;
        waiting = Waiting{};
        return held;
    }
};
