#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include "tester/LinkEventQueue.h"
#include "heartbeat/HeartBeatTimer.h"
#include "link/Direction.h"
#include "link/TelescopeControl.h"

// The link as the dialog runs it, the same TelescopeControl paced by the same 100 ms heartbeat,
// with everything it does queued as events for one thread to take in order.
class LinkSession final {
public:
    // Starts the link's threads and the heartbeat.
    LinkSession();
    // Shuts down: an open port is closed, the mount sent only the stop of a pulse still running.
    // A thread of the link that did not come down in time keeps the link and its queue, which
    // then end with the process.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    void connect(int port) { parts->link.connect(port); }
    void disconnect() { parts->link.disconnect(); }
    void correction(Direction direction, int ticks)
    {
        parts->link.sendCorrection(static_cast<int>(direction), ticks);
    }
    void mountTimedCorrection(Direction direction, int ms)
    {
        parts->link.sendMountTimedCorrection(static_cast<int>(direction), ms);
    }
    void halt() { parts->link.halt(); }

    // The next event, waiting at most timeout for one.
    std::optional<LinkEvent> next(std::chrono::milliseconds timeout) { return parts->events.next(timeout); }

private:
    // What the link's threads use, together, so they can be left to them.
    struct Parts {
        Parts();

        LinkEventQueue events;  // first, so it outlives the link's threads
        TelescopeControl link;
    };

    HeartBeatTimer heartbeat;
    std::unique_ptr<Parts> parts;
};
