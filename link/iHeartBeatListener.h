#pragma once

// Receives the heartbeat's ticks, one every 100 ms, on the heartbeat thread with the timer's
// lock held: it must return quickly and must not call back into the timer.
class iHeartBeatListener {
public:
    virtual void onHeartBeat() = 0;

protected:
    ~iHeartBeatListener() = default;
};
