#include "tester/LinkEventQueue.h"

std::optional<LinkEvent> LinkEventQueue::next(std::chrono::milliseconds timeout)
{
    std::unique_lock<platform::Lock> hold(lock);
    if (!arrived.wait_for(hold, timeout, [this] { return !events.empty(); })) return std::nullopt;
    LinkEvent event = std::move(events.front());
    events.pop_front();
    return event;
}

void LinkEventQueue::onStatus(int code)
{
    LinkEvent event;
    event.kind = LinkEvent::Kind::Status;
    event.at = Clock::now();
    event.code = code;
    push(std::move(event));
}

void LinkEventQueue::commandWritten(const char* text, int length, Clock::time_point startedAt,
                                    Clock::time_point sentAt, bool ok)
{
    LinkEvent event;
    event.kind = LinkEvent::Kind::Sent;
    event.at = sentAt;
    event.startedAt = startedAt;
    event.bytes.assign(text, static_cast<size_t>(length));
    event.ok = ok;
    push(std::move(event));
}

void LinkEventQueue::bytesReceived(const unsigned char* bytes, int count, Clock::time_point at)
{
    LinkEvent event;
    event.kind = LinkEvent::Kind::Received;
    event.at = at;
    event.bytes.assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    push(std::move(event));
}

void LinkEventQueue::push(LinkEvent event)
{
    std::lock_guard<platform::Lock> hold(lock);
    events.push_back(std::move(event));
    arrived.notify_one();
}
