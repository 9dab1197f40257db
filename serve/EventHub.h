#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The live updates of guide-link serve, as Server-Sent Events: every page that watches has a
// queue of its own, which the server's thread for that page drains into its response.
class EventHub {
public:
    using Watcher = int;

    Watcher subscribe();
    void unsubscribe(Watcher watcher);

    // One event, of a type and with JSON data, to every watcher or to one.
    void publish(const std::string& type, const std::string& data);
    void sendTo(Watcher watcher, const std::string& type, const std::string& data);

    // What has come for watcher, waiting at most timeout; "" if nothing came. Nothing once the
    // hub is closed or the watcher has fallen so far behind that it was dropped.
    std::optional<std::string> take(Watcher watcher, std::chrono::milliseconds timeout);
    // Ends every watch, for the server to stop.
    void close();

private:
    static std::string frame(const std::string& type, const std::string& data);

    // A watcher whose queue grows past this (a page that reads nothing) is dropped.
    static constexpr size_t kMostQueued = 256 << 10;

    std::mutex mutex;
    std::condition_variable arrived;
    std::map<Watcher, std::string> queues;
    Watcher next = 1;
    bool closed = false;
};
