#include "platform/event.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "platform/posix/native_event.h"
#include "platform/posix/poll_deadline.h"

namespace platform {

bool Event::Native::claim()
{
    std::lock_guard<Lock> hold(mutex);
    if (!signalled) return false;
    if (reset == EventReset::Automatic) {
        signalled = false;
        char byte;
        (void)!::read(readFd, &byte, 1);
    }
    return true;
}

Event::Event(EventReset reset) : native_(std::make_unique<Native>())
{
    native_->reset = reset;
    int fds[2];
    if (::pipe(fds) == 0) {
        for (int fd : fds) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        native_->readFd = fds[0];
        native_->writeFd = fds[1];
    }
}

Event::~Event()
{
    if (native_->valid()) {
        ::close(native_->readFd);
        ::close(native_->writeFd);
    }
}

bool Event::valid() const { return native_->valid(); }

void Event::set()
{
    if (!native_->valid()) return;
    std::lock_guard<Lock> hold(native_->mutex);
    if (native_->signalled) return;
    native_->signalled = true;
    const char byte = 1;
    (void)!::write(native_->writeFd, &byte, 1);
}

void Event::reset()
{
    if (!native_->valid()) return;
    std::lock_guard<Lock> hold(native_->mutex);
    if (!native_->signalled) return;
    native_->signalled = false;
    char byte;
    (void)!::read(native_->readFd, &byte, 1);
}

WaitResult Event::wait(int timeoutMs)
{
    if (!native_->valid()) return WaitResult::Failed;
    PollDeadline deadline(timeoutMs);
    for (;;) {
        pollfd entry{native_->readFd, POLLIN, 0};
        int ready = ::poll(&entry, 1, deadline.remainingMs());
        if (ready < 0 && !PollDeadline::interrupted()) return WaitResult::Failed;
        if (ready > 0 && native_->claim()) return WaitResult::Signalled;
        if (deadline.passed()) return WaitResult::TimedOut;
    }
}

FirstOfTwo Event::waitForFirst(Event& first, Event& second, int timeoutMs)
{
    if (!first.native_->valid() || !second.native_->valid()) return FirstOfTwo::Failed;
    PollDeadline deadline(timeoutMs);
    for (;;) {
        pollfd entries[2] = {{first.native_->readFd, POLLIN, 0}, {second.native_->readFd, POLLIN, 0}};
        int ready = ::poll(entries, 2, deadline.remainingMs());
        if (ready < 0 && !PollDeadline::interrupted()) return FirstOfTwo::Failed;
        if (ready > 0) {
            if (entries[0].revents && first.native_->claim()) return FirstOfTwo::First;
            if (entries[1].revents && second.native_->claim()) return FirstOfTwo::Second;
        }
        if (deadline.passed()) return FirstOfTwo::TimedOut;
    }
}

}  // namespace platform
