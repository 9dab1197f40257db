#include "mount_simulator/PtyMountLine.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "mount_simulator/TerminalIo.h"

namespace {

constexpr int kWriteWaitMs = 1000;

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::unique_ptr<PtyMountLine> PtyMountLine::open(std::string& error)
{
    const int masterFd = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd < 0) {
        error = failure("posix_openpt");
        return nullptr;
    }
    const char* path = nullptr;
    int terminalFd = -1;
    termios settings{};
    if (::grantpt(masterFd) != 0 || ::unlockpt(masterFd) != 0 || (path = ::ptsname(masterFd)) == nullptr) {
        error = failure("setting up the pseudo-terminal");
    } else if ((terminalFd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        error = failure(path);
    } else if (::tcgetattr(terminalFd, &settings) != 0) {
        error = failure("tcgetattr");
    } else {
        // Raw from the start: an echoing terminal would hand the mount's answers back to it.
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        if (::tcsetattr(terminalFd, TCSANOW, &settings) == 0) {
            ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);
            ::fcntl(masterFd, F_SETFL, ::fcntl(masterFd, F_GETFL) | O_NONBLOCK);
            return std::make_unique<PtyMountLine>(masterFd, terminalFd, path);
        }
        error = failure("tcsetattr");
    }
    if (terminalFd >= 0) ::close(terminalFd);
    ::close(masterFd);
    return nullptr;
}

PtyMountLine::PtyMountLine(int masterFd, int terminalFd, std::string terminalPath)
    : masterFd_(masterFd), terminalFd_(terminalFd), terminalPath_(std::move(terminalPath))
{
}

PtyMountLine::~PtyMountLine()
{
    ::close(terminalFd_);
    ::close(masterFd_);
}

platform::SerialReadResult PtyMountLine::read(unsigned char* buffer, int capacity, platform::Event& stop)
{
    return terminal_io::readWhenReady(masterFd_, buffer, capacity, stop);
}

bool PtyMountLine::write(const unsigned char* bytes, int count)
{
    // The tester may not be reading, and the terminal's buffer full.
    return terminal_io::writeAll(masterFd_, bytes, count, kWriteWaitMs);
}
