#include "platform/pipe.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

// A POSIX pipe: writes of up to PIPE_BUF bytes (at least 512) are atomic, which covers every
// frame. The kernel chooses the buffer size; the requested size is a lower bound here.
struct BytePipe::Native {
    int readFd = -1;
    int writeFd = -1;
};

BytePipe::BytePipe(int /*bufferSize*/) : native_(std::make_unique<Native>())
{
    int fds[2];
    if (::pipe(fds) == 0) {
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
        native_->readFd = fds[0];
        native_->writeFd = fds[1];
    }
}

BytePipe::~BytePipe()
{
    if (native_->readFd >= 0) ::close(native_->readFd);
    if (native_->writeFd >= 0) ::close(native_->writeFd);
}

bool BytePipe::write(const unsigned char* bytes, int count)
{
    for (;;) {
        ssize_t written = ::write(native_->writeFd, bytes, static_cast<size_t>(count));
        if (written == count) return true;
        if (written < 0 && errno == EINTR) continue;
        return false;
    }
}

int BytePipe::available()
{
    int waiting = 0;
    if (::ioctl(native_->readFd, FIONREAD, &waiting) != 0) return 0;
    return waiting;
}

bool BytePipe::readByte(unsigned char& byte)
{
    for (;;) {
        ssize_t got = ::read(native_->readFd, &byte, 1);
        if (got == 1) return true;
        if (got < 0 && errno == EINTR) continue;
        return false;
    }
}

}  // namespace platform
