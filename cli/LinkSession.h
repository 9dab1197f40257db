#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "heartbeat/HeartBeatTimer.h"
#include "link/Direction.h"
#include "link/TelescopeControl.h"
#include "link/TelescopeListener.h"
#include "link/iLinkObserver.h"

// Something the link did: reported a status, wrote a command or received bytes.
struct LinkEvent {
    using Clock = iLinkObserver::Clock;
    enum class Kind { Status, Sent, Received };

    Kind kind = Kind::Status;
    Clock::time_point at;         // when it was reported, the write was over, the bytes were read
    Clock::time_point startedAt;  // Sent: when the write began
    int code = 0;                 // Status
    std::string bytes;            // Sent, Received
    bool ok = true;               // Sent: the write completed in time
};

// The link as the dialog runs it, the same TelescopeControl paced by the same 100 ms heartbeat,
// with everything it does queued as events for one thread to take in order.
class LinkSession final : private TelescopeListener, private iLinkObserver {
public:
    // Starts the link's threads and the heartbeat.
    LinkSession();
    // Shuts down: an open port is closed, the mount sent only the stop of a pulse still running.
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    void connect(int port) { link.connect(port); }
    void disconnect() { link.disconnect(); }
    void correction(Direction direction, int ticks) { link.sendCorrection(static_cast<int>(direction), ticks); }
    void halt() { link.halt(); }

    // The next event, waiting at most timeout for one.
    std::optional<LinkEvent> next(std::chrono::milliseconds timeout);

private:
    void onStatus(int code) override;
    void commandWritten(const char* text, int length, Clock::time_point startedAt, Clock::time_point finishedAt,
                        bool ok) override;
    void bytesReceived(const unsigned char* bytes, int count, Clock::time_point at) override;
    void push(LinkEvent event);

    // Declared before the link, so they outlive its threads.
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<LinkEvent> events;

    HeartBeatTimer heartbeat;
    TelescopeControl link;
};
