#include "bench/LineJournal.h"

#include <chrono>

void LineJournal::heard(const unsigned char* bytes, int count, double atMs)
{
    bool completed = false;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (int i = 0; i < count; ++i) {
            const char byte = static_cast<char>(bytes[i]);
            if (pending_.empty()) {
                if (byte != ':') continue;
                pendingSinceMs_ = atMs;
            }
            pending_ += byte;
            if (byte == '#') {
                commands_.push_back({pending_, pendingSinceMs_, atMs});
                pending_.clear();
                completed = true;
            } else if (pending_.size() == kMaxCommandLength) {
                pending_.clear();
            }
        }
    }
    if (completed) arrived_.notify_all();
}

std::size_t LineJournal::size() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return commands_.size();
}

std::vector<HeardCommand> LineJournal::commands() const
{
    std::lock_guard<std::mutex> hold(mutex_);
    return commands_;
}

long LineJournal::waitFor(const std::string& text, std::size_t from, int timeoutMs, HeardCommand& command) const
{
    std::unique_lock<std::mutex> hold(mutex_);
    long found = -1;
    std::size_t searched = from;
    auto look = [&] {
        for (; searched < commands_.size(); ++searched) {
            if (commands_[searched].text == text) {
                found = static_cast<long>(searched);
                return true;
            }
        }
        return false;
    };
    if (!arrived_.wait_for(hold, std::chrono::milliseconds(timeoutMs), look)) return -1;
    command = commands_[static_cast<std::size_t>(found)];
    return found;
}
