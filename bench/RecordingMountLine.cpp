#include "bench/RecordingMountLine.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "bench/Clock.h"
#include "bench/LineJournal.h"
#include "mount_simulator/TerminalIo.h"

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
    const platform::SerialReadResult got = terminal_io::readWhenReady(fd_, buffer, capacity, stop);
    if (got.outcome == platform::SerialReadOutcome::Data) journal_.heard(buffer, got.count, bench::nowMs());
    return got;
}

bool RecordingMountLine::write(const unsigned char* bytes, int count)
{
    return terminal_io::writeAll(fd_, bytes, count, kStallLimitMs);
}
