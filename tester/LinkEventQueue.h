#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "link/TelescopeListener.h"
#include "link/iLinkObserver.h"
#include "platform/lock.h"

// Something the link did: reported a status, wrote a command or received bytes.
struct LinkEvent {
    using Clock = iLinkObserver::Clock;
    enum class Kind { Status, Sent, Received };

    Kind kind = Kind::Status;
    Clock::time_point at;         // when it was reported, the command went out, the bytes were read
    Clock::time_point startedAt;  // Sent: when the write began
    int code = 0;                 // Status
    std::string bytes;            // Sent, Received
    bool ok = true;               // Sent: the write completed in time
};

// Listens to the link and watches its line, queueing all of it as events, in order, for one
// thread to take. The link's threads report into it: it must outlive them.
class LinkEventQueue final : public TelescopeListener, public iLinkObserver {
public:
    // The next event, waiting at most timeout for one.
    std::optional<LinkEvent> next(std::chrono::milliseconds timeout);

    void onStatus(int code) override;
    void commandWritten(const char* text, int length, Clock::time_point startedAt, Clock::time_point sentAt,
                        bool ok) override;
    void bytesReceived(const unsigned char* bytes, int count, Clock::time_point at) override;

private:
    void push(LinkEvent event);

    // The link's timing threads report into it while the reading thread takes from it.
    platform::Lock lock;
    std::condition_variable_any arrived;
    std::deque<LinkEvent> events;
};
