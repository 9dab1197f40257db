#pragma once

#include "link/iHeartBeatListener.h"

// The link as the dialog sees it. Every operation only queues a request for the link's own
// thread and returns at once; the outcome arrives later as a status code. Any thread.
class iTelescopeControl : public iHeartBeatListener {
public:
    // Opens COM<port> (only the low 8 bits travel) and verifies the mount.
    virtual void connect(int port) = 0;
    virtual void disconnect() = 0;
    // Moves the mount in direction (a Direction code, low 8 bits) for ticks heartbeat periods.
    virtual void sendCorrection(int direction, int ticks) = 0;

protected:
    ~iTelescopeControl() = default;
};
