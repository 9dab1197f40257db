#include "support/StatusRecorder.h"

#include <chrono>

void StatusRecorder::onStatus(int code)
{
    std::lock_guard<std::mutex> hold(mutex);
    received.push_back(code);
    arrived.notify_all();
}

std::vector<int> StatusRecorder::codes() const
{
    std::lock_guard<std::mutex> hold(mutex);
    return received;
}

bool StatusRecorder::waitForCount(size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> hold(mutex);
    return arrived.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return received.size() >= count; });
}
