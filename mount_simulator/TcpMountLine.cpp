#include "mount_simulator/TcpMountLine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mount_simulator/TerminalIo.h"

namespace {

constexpr int kStopCheckPeriodMs = 50;
constexpr int kWriteWaitMs = 1000;

std::string failure(const std::string& what) { return what + ": " + std::strerror(errno); }

// The address a listener got, as the tester writes it.
std::string addressOf(int fd)
{
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    char host[INET6_ADDRSTRLEN] = {};
    char port[8] = {};
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port, sizeof port,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "";
    }
    const bool v6 = bound.ss_family == AF_INET6;
    return std::string("tcp://") + (v6 ? "[" : "") + host + (v6 ? "]:" : ":") + port;
}

}  // namespace

std::unique_ptr<TcpMountLine> TcpMountLine::listen(const std::string& host, int port, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup = ::getaddrinfo(host.empty() ? "127.0.0.1" : host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        error = "cannot listen on " + host + ": " + ::gai_strerror(lookup);
        return nullptr;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int on = 1;
    if (fd < 0) {
        error = failure("socket");
    } else if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
               ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 4) != 0) {
        error = failure("cannot listen on " + (host.empty() ? std::string("127.0.0.1") : host) + " port " + service);
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    if (fd < 0) return nullptr;
    const std::string address = addressOf(fd);
    return std::make_unique<TcpMountLine>(fd, address);
}

TcpMountLine::TcpMountLine(int listenerFd, std::string address) : listenerFd_(listenerFd), address_(std::move(address))
{
}

TcpMountLine::~TcpMountLine()
{
    dropClient();
    ::close(listenerFd_);
}

bool TcpMountLine::acceptClient(platform::Event& stop, bool& gone)
{
    while (stop.wait(0) != platform::WaitResult::Signalled) {
        pollfd entry{listenerFd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, kStopCheckPeriodMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const int client = ::accept4(listenerFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) {
            // A client that gave up while queued is no failure of the listener.
            if (errno == ECONNABORTED || errno == EAGAIN || errno == EINTR) continue;
            break;
        }
        // The mount's short answers go out at once, as a mount's module sends them.
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::lock_guard<std::mutex> hold(clientLock_);
        clientFd_ = client;
        return true;
    }
    gone = stop.wait(0) != platform::WaitResult::Signalled;
    return false;
}

void TcpMountLine::dropClient()
{
    std::lock_guard<std::mutex> hold(clientLock_);
    if (clientFd_ >= 0) ::close(clientFd_);
    clientFd_ = -1;
}

platform::SerialReadResult TcpMountLine::read(unsigned char* buffer, int capacity, platform::Event& stop)
{
    for (;;) {
        if (clientFd_ < 0) {
            bool gone = false;
            if (!acceptClient(stop, gone)) {
                return {gone ? platform::SerialReadOutcome::LineGone : platform::SerialReadOutcome::Stopped, 0};
            }
        }
        const platform::SerialReadResult got = terminal_io::readWhenReady(clientFd_, buffer, capacity, stop);
        if (got.outcome != platform::SerialReadOutcome::LineGone) return got;
        // The client went: the line stays, for the next one.
        dropClient();
    }
}

bool TcpMountLine::write(const unsigned char* bytes, int count)
{
    std::lock_guard<std::mutex> hold(clientLock_);
    if (clientFd_ < 0) return true;
    int sent = 0;
    while (sent < count) {
        const ssize_t written = ::send(clientFd_, bytes + sent, static_cast<size_t>(count - sent), MSG_NOSIGNAL);
        if (written > 0) {
            sent += static_cast<int>(written);
            continue;
        }
        // A client that has gone is the reader's to notice; for the line it is no failure.
        if (written < 0 && errno != EAGAIN && errno != EINTR) return true;
        pollfd entry{clientFd_, POLLOUT, 0};
        if (::poll(&entry, 1, kWriteWaitMs) <= 0) return false;
    }
    return true;
}
