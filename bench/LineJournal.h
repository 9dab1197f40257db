#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// One LX200 command as it arrived at the mount's end of the line.
struct HeardCommand {
    std::string text;    // from ':' to '#', both included
    double firstByteMs;  // when the read that brought its ':' returned
    double lastByteMs;   // when the read that brought its '#' returned
};

// The commands that reached the mount, cut out of the byte stream the same way the simulated
// mount cuts them (anything before a ':' is dropped, a run of 32 bytes without '#' is noise), each
// with the arrival time of its first and its last byte. Fed by the mount line's reader thread,
// read by any thread.
class LineJournal {
public:
    static constexpr std::size_t kMaxCommandLength = 32;

    // Bytes that one read returned at atMs.
    void heard(const unsigned char* bytes, int count, double atMs);

    std::size_t size() const;
    std::vector<HeardCommand> commands() const;

    // Waits up to timeoutMs for a command with this text at index from or later. Returns its
    // index, or -1 if none came in time; command receives it.
    long waitFor(const std::string& text, std::size_t from, int timeoutMs, HeardCommand& command) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<HeardCommand> commands_;
    std::string pending_;
    double pendingSinceMs_ = 0;
};
