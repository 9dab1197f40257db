#include "platform/posix/network_connect.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/poll_deadline.h"
#include "platform/silent_drop.h"

namespace platform {
namespace {

std::string where(const NetworkAddress& address) { return address.host + " port " + std::to_string(address.port); }

// Starts the connect and waits for it; 0 on success, else the system's error number (ETIMEDOUT
// when the deadline passed first).
int connectOne(int fd, const addrinfo& target, const PollDeadline& deadline)
{
    if (::connect(fd, target.ai_addr, target.ai_addrlen) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    for (;;) {
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, deadline.remainingMs());
        if (ready < 0 && PollDeadline::interrupted()) continue;
        if (ready < 0) return errno;
        if (ready == 0) return ETIMEDOUT;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
        return error;
    }
}

void setTcpOption(int fd, int option, int value) { ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value); }

}  // namespace

// A setting the system refuses stays as it was; the line works without it, only less watchfully.
void configureConnection(int fd)
{
    // Each write leaves at once rather than waiting for more bytes to join it.
    setTcpOption(fd, TCP_NODELAY, 1);
    // An idle line probes the mount, so that its silence is noticed without a write.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setTcpOption(fd, TCP_KEEPIDLE, kKeepAliveIdleMs / 1000);
    setTcpOption(fd, TCP_KEEPINTVL, kKeepAliveIntervalMs / 1000);
    // Bytes unacknowledged this long end the connection; with keep-alives on, this also decides
    // when unanswered probes do, in place of a count of them.
    setTcpOption(fd, TCP_USER_TIMEOUT, kUnacknowledgedLimitMs);
}

int connectToMount(const NetworkAddress& address, OpenFailure& failure, int limitMs)
{
    const PollDeadline deadline(limitMs);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    const int lookup = ::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        failure.kind = OpenFailure::HostNotFound;
        failure.reason = lookup == EAI_NONAME || lookup == EAI_NODATA
                             ? "host not found: no address is known for " + address.host
                             : "host not found: " + address.host + " could not be looked up (" +
                                   ::gai_strerror(lookup) + ")";
        return -1;
    }
    int lastError = 0;
    int connected = -1;
    for (const addrinfo* target = found; target && connected < 0 && !deadline.passed(); target = target->ai_next) {
        const int type = target->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC;
        const int fd = ::socket(target->ai_family, type, target->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        lastError = connectOne(fd, *target, deadline);
        if (lastError == 0) {
            connected = fd;
        } else {
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (connected >= 0) return connected;
    if (lastError == ECONNREFUSED) {
        failure.kind = OpenFailure::Refused;
        failure.reason = "connection refused: nothing listens on " + where(address);
    } else if (lastError == ETIMEDOUT || lastError == 0) {
        failure.kind = OpenFailure::NoAnswer;
        failure.reason = "no answer from " + where(address) + " within " +
                         (limitMs % 1000 == 0 ? std::to_string(limitMs / 1000) + " s" : std::to_string(limitMs) + " ms");
    } else {
        failure.kind = OpenFailure::CannotConnect;
        failure.reason = "cannot connect to " + where(address) + ": " + std::strerror(lastError);
    }
    return -1;
}

}  // namespace platform
