#include "serve/EventHub.h"

EventHub::Watcher EventHub::subscribe()
{
    std::lock_guard<std::mutex> hold(mutex);
    queues[next];
    return next++;
}

void EventHub::unsubscribe(Watcher watcher)
{
    std::lock_guard<std::mutex> hold(mutex);
    queues.erase(watcher);
}

std::string EventHub::frame(const std::string& type, const std::string& data)
{
    return "event: " + type + "\ndata: " + data + "\n\n";
}

void EventHub::publish(const std::string& type, const std::string& data)
{
    const std::string text = frame(type, data);
    std::lock_guard<std::mutex> hold(mutex);
    for (auto it = queues.begin(); it != queues.end();) {
        if (it->second.size() + text.size() > kMostQueued) {
            it = queues.erase(it);
            continue;
        }
        it->second += text;
        ++it;
    }
    arrived.notify_all();
}

void EventHub::sendTo(Watcher watcher, const std::string& type, const std::string& data)
{
    std::lock_guard<std::mutex> hold(mutex);
    const auto queue = queues.find(watcher);
    if (queue == queues.end()) return;
    queue->second += frame(type, data);
    arrived.notify_all();
}

std::optional<std::string> EventHub::take(Watcher watcher, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(mutex);
    arrived.wait_for(hold, timeout, [&] {
        const auto queue = queues.find(watcher);
        return closed || queue == queues.end() || !queue->second.empty();
    });
    const auto queue = queues.find(watcher);
    if (closed || queue == queues.end()) return std::nullopt;
    std::string taken;
    taken.swap(queue->second);
    return taken;
}

void EventHub::close()
{
    std::lock_guard<std::mutex> hold(mutex);
    closed = true;
    arrived.notify_all();
}
