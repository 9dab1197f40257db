#include "mount_simulator/TerminalIo.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace terminal_io {
namespace {

constexpr int kStopCheckPeriodMs = 50;

}  // namespace

platform::SerialReadResult readWhenReady(int fd, unsigned char* buffer, int capacity, platform::Event& stop)
{
    while (stop.wait(0) != platform::WaitResult::Signalled) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, kStopCheckPeriodMs);
        if (ready < 0 && errno != EINTR) return {platform::SerialReadOutcome::LineGone, 0};
        if (ready <= 0) continue;
        const ssize_t got = ::read(fd, buffer, static_cast<size_t>(capacity));
        if (got > 0) return {platform::SerialReadOutcome::Data, static_cast<int>(got)};
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) return {platform::SerialReadOutcome::LineGone, 0};
    }
    return {platform::SerialReadOutcome::Stopped, 0};
}

bool writeAll(int fd, const unsigned char* bytes, int count, int stallLimitMs)
{
    int sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(fd, bytes + sent, static_cast<size_t>(count - sent));
        if (written > 0) {
            sent += static_cast<int>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, stallLimitMs) <= 0) return false;
    }
    return true;
}

}  // namespace terminal_io
