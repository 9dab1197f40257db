#include "platform/serial.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/output_queue.h"
#include "platform/posix/line_settings.h"
#include "platform/posix/native_event.h"
#include "platform/posix/network_connect.h"
#include "platform/posix/poll_deadline.h"
#include "platform/serial_port_table.h"

namespace platform {
namespace {

// How often a read or write that waits looks at its stop event or deadline, at most.
constexpr int kPollPeriodMs = 200;
// A read ends once the line has been quiet this long after a burst, as a 1 ms interval
// time-out does on Windows; poll counts whole milliseconds, so wait a little longer.
constexpr int kBurstGapMs = 2;

bool configureLine(int fd)
{
    termios current{};
    if (::tcgetattr(fd, &current) != 0) return false;
    const termios settings = lineSettingsFor(current);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Queues all of count bytes with the kernel, waiting while it has no room. A socket whose far
// end has gone fails rather than raising SIGPIPE.
SerialWriteResult queueBytes(int fd, bool network, const unsigned char* bytes, int count, const PollDeadline& deadline)
{
    int queued = 0;
    while (queued < count) {
        const size_t left = static_cast<size_t>(count - queued);
        ssize_t written = network ? ::send(fd, bytes + queued, left, MSG_NOSIGNAL) : ::write(fd, bytes + queued, left);
        if (written > 0) {
            queued += static_cast<int>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) return SerialWriteResult::Failed;
        if (deadline.passed()) return SerialWriteResult::TimedOut;
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, deadline.remainingMs()) < 0 && !PollDeadline::interrupted()) {
            return SerialWriteResult::Failed;
        }
        if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) return SerialWriteResult::Failed;
    }
    return SerialWriteResult::Completed;
}

// A pseudo-terminal always reports an empty queue, though bytes it took may not have reached
// the other side yet: there written means taken, which is why closing the port must never
// discard output.
class TerminalOutputQueue final : public OutputQueue {
public:
    explicit TerminalOutputQueue(int fd) : fd(fd) {}

    int unsentBytes() override
    {
        int unsent = 0;
        return ::ioctl(fd, TIOCOUTQ, &unsent) == 0 ? unsent : -1;
    }
    void discard() override { ::tcflush(fd, TCOFLUSH); }

private:
    int fd;
};

// On a connection the queue holds what the mount has not acknowledged yet, so a write waits
// for the mount itself. Bytes the kernel took cannot be withdrawn; the only way to keep them
// from reaching the mount later is to abort the connection, which drops them: the line is then
// gone, as a serial line whose cable was pulled.
class ConnectionOutputQueue final : public OutputQueue {
public:
    ConnectionOutputQueue(SerialPort& port, int fd) : port(port), fd(fd) {}

    int unsentBytes() override
    {
        // A reset or failed connection never sees its bytes acknowledged; no need to wait.
        pollfd failed{fd, 0, 0};
        if (::poll(&failed, 1, 0) > 0) return -1;
        int unacknowledged = 0;
        return ::ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 ? unacknowledged : -1;
    }
    void discard() override
    {
        // Lingering for 0 s makes the close a reset that drops what is still queued.
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        port.close();
    }

private:
    SerialPort& port;
    int fd;
};

}  // namespace

struct SerialPort::Native {
    // Stays valid until destruction: close() puts /dev/null in the terminal's place under the
    // same number, so a reader still inside read() cannot reach whatever a later open() is given.
    int fd = -1;
    std::atomic<bool> closed{false};
    // A TCP connection to a mount on the network rather than a terminal.
    bool network = false;
    // Set by the reader when the far end closed the connection: a socket takes a write or two
    // after that without complaint, but the mount will never see them.
    std::atomic<bool> farEndGone{false};
};

namespace {

// A network line has no line settings and no exclusive use: the connection is ours alone.
std::unique_ptr<SerialPort> openNetworkLine(int portNumber, const NetworkAddress& address)
{
    OpenFailure failure;
    const int fd = connectToMount(address, failure);
    if (fd < 0) {
        noteOpenFailure(portNumber, failure);
        return nullptr;
    }
    return networkLineOn(fd);
}

}  // namespace

std::unique_ptr<SerialPort> networkLineOn(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    configureConnection(fd);
    auto native = std::make_unique<SerialPort::Native>();
    native->fd = fd;
    native->network = true;
    return std::make_unique<SerialPort>(std::move(native));
}

std::unique_ptr<SerialPort> SerialPort::open(int portNumber)
{
    noteOpenFailure(portNumber, {});
    NetworkAddress address;
    if (networkAddressOf(portNumber, address)) return openNetworkLine(portNumber, address);
    const std::string path = serialDevicePath(portNumber);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // Exclusive use: TIOCEXCL keeps other opens out (except root's), the advisory lock keeps out
    // other programs that ask for it, root's included.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0 || !configureLine(fd)) {
        ::close(fd);
        return nullptr;
    }
    ::tcflush(fd, TCIOFLUSH);
    auto native = std::make_unique<Native>();
    native->fd = fd;
    return std::make_unique<SerialPort>(std::move(native));
}

SerialPort::SerialPort(std::unique_ptr<Native> native) : native_(std::move(native)) {}

SerialPort::~SerialPort()
{
    if (!native_->closed) ::ioctl(native_->fd, TIOCNXCL);
    ::close(native_->fd);
}

SerialWriteResult SerialPort::write(const unsigned char* bytes, int count, Event& writeDone, int timeoutMs,
                                     NetworkWrite until, std::chrono::steady_clock::time_point* sentAt)
{
    writeDone.reset();
    if (native_->closed || native_->farEndGone) return SerialWriteResult::Failed;
    PollDeadline deadline(timeoutMs);
    SerialWriteResult result = queueBytes(native_->fd, native_->network, bytes, count, deadline);
    TerminalOutputQueue terminal(native_->fd);
    ConnectionOutputQueue connection(*this, native_->fd);
    if (!native_->network) result = finishWrite(terminal, result, deadline);
    if (sentAt) *sentAt = std::chrono::steady_clock::now();
    // A network write taken whole is done unless the mount must have it; one that was not is
    // finished all the same, so that none of it reaches the mount later.
    if (native_->network && (until == NetworkWrite::Acknowledged || result != SerialWriteResult::Completed)) {
        result = finishWrite(connection, result, deadline);
    }
    if (result != SerialWriteResult::Completed) return result;
    writeDone.set();
    return SerialWriteResult::Completed;
}

SerialReadResult SerialPort::read(unsigned char* buffer, int capacity, Event& stop)
{
    Event::Native& stopSignal = stop.native();
    for (;;) {
        if (native_->closed) return {SerialReadOutcome::LineGone, 0};
        pollfd entries[2] = {{native_->fd, POLLIN, 0}, {stopSignal.readFd, POLLIN, 0}};
        const int watched = stopSignal.valid() ? 2 : 1;
        int ready = ::poll(entries, watched, kPollPeriodMs);
        if (ready < 0) {
            if (PollDeadline::interrupted()) continue;
            return {SerialReadOutcome::LineGone, 0};
        }
        if (watched == 2 && entries[1].revents) {
            std::lock_guard<Lock> hold(stopSignal.mutex);
            if (stopSignal.signalled) return {SerialReadOutcome::Stopped, 0};
        }
        if (entries[0].revents & POLLNVAL) return {SerialReadOutcome::LineGone, 0};
        if (!entries[0].revents) continue;

        // Collect the burst: keep reading until the line pauses or the buffer is full.
        int count = 0;
        for (;;) {
            ssize_t got = ::read(native_->fd, buffer + count, static_cast<size_t>(capacity - count));
            if (got > 0) {
                count += static_cast<int>(got);
                if (count == capacity) break;
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // End of file or an error: a hung-up terminal reads like this forever, and a
                // socket once its far end has closed.
                if (count > 0) break;
                native_->farEndGone = true;
                return {SerialReadOutcome::LineGone, 0};
            }
            pollfd more{native_->fd, POLLIN, 0};
            if (::poll(&more, 1, kBurstGapMs) <= 0 || (more.revents & POLLIN) == 0) break;
        }
        return {SerialReadOutcome::Data, count};
    }
}

// Output is left alone: every write has gone out or been withdrawn by the time it returned, and
// on a pseudo-terminal discarding output drops bytes that write() already reported as sent.
void SerialPort::purge()
{
    if (native_->closed) return;
    if (!native_->network) {
        ::tcflush(native_->fd, TCIFLUSH);
        return;
    }
    unsigned char unread[256];
    while (::recv(native_->fd, unread, sizeof unread, MSG_DONTWAIT) > 0) {
    }
}

void SerialPort::close()
{
    if (native_->closed.exchange(true)) return;
    const int fd = native_->fd;
    // The far end hears of it at once, and a reader's poll wakes up.
    if (native_->network) ::shutdown(fd, SHUT_RDWR);
    // Exclusive use ends first, so the device can be opened again even while a reader's poll
    // still holds the terminal for a moment.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    // Without /dev/null the terminal stays open, but no longer exclusive.
    const int placeholder = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (placeholder < 0) return;
    ::dup3(placeholder, fd, O_CLOEXEC);
    ::close(placeholder);
}

}  // namespace platform
