#include "bench/RecordingMountLine.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/Clock.h"
#include "bench/LineJournal.h"

namespace {

// How often a read looks at its stop event.
constexpr int kStopCheckPeriodMs = 50;

}  // namespace

std::unique_ptr<RecordingMountLine> RecordingMountLine::open(const std::string& path, LineJournal& journal,
                                                             std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    termios settings{};
    if (!::isatty(fd) || ::tcgetattr(fd, &settings) != 0) {
        error = path + " is not a terminal";
        ::close(fd);
        return nullptr;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        error = path + ": tcsetattr: " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    ::tcflush(fd, TCIOFLUSH);
    return std::make_unique<RecordingMountLine>(fd, journal);
}

RecordingMountLine::RecordingMountLine(int fd, LineJournal& journal) : fd_(fd), journal_(journal) {}

RecordingMountLine::~RecordingMountLine() { ::close(fd_); }

platform::SerialReadResult RecordingMountLine::read(unsigned char* buffer, int capacity, platform::Event& stop)
{
    while (stop.wait(0) != platform::WaitResult::Signalled) {
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, kStopCheckPeriodMs);
        if (ready < 0 && errno != EINTR) return {platform::SerialReadOutcome::LineGone, 0};
        if (ready <= 0) continue;
        const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(capacity));
        if (got > 0) {
            journal_.heard(buffer, static_cast<int>(got), bench::nowMs());
            return {platform::SerialReadOutcome::Data, static_cast<int>(got)};
        }
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) return {platform::SerialReadOutcome::LineGone, 0};
    }
    return {platform::SerialReadOutcome::Stopped, 0};
}

bool RecordingMountLine::write(const unsigned char* bytes, int count)
{
    int sent = 0;
    while (sent < count) {
        const ssize_t written = ::write(fd_, bytes + sent, static_cast<size_t>(count - sent));
        if (written > 0) {
            sent += static_cast<int>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd entry{fd_, POLLOUT, 0};
        if (::poll(&entry, 1, kStallLimitMs) <= 0) return false;
    }
    return true;
}
