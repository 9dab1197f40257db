#include "platform/network_listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/network_connect.h"

namespace platform {
namespace {

constexpr int kStopCheckMs = 50;
constexpr int kQueuedClients = 4;

// The address a listener got, as a tester writes it.
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
    return networkAddressText(host, port, bound.ss_family == AF_INET6);
}

}  // namespace

struct NetworkListener::Native {
    int fd = -1;
};

std::unique_ptr<NetworkListener> NetworkListener::listen(const std::string& host, int port, std::string& error)
{
    const std::string where = (host.empty() ? std::string("127.0.0.1") : host) + " port " + std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int lookup = ::getaddrinfo(host.empty() ? "127.0.0.1" : host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        error = "cannot listen on " + where + ": " + ::gai_strerror(lookup);
        return nullptr;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int on = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kQueuedClients) != 0) {
        error = "cannot listen on " + where + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(found);
    if (fd < 0) return nullptr;
    auto native = std::make_unique<Native>();
    native->fd = fd;
    const std::string address = addressOf(fd);
    return std::make_unique<NetworkListener>(std::move(native), address);
}

NetworkListener::NetworkListener(std::unique_ptr<Native> native, std::string address)
    : native_(std::move(native)), address_(std::move(address))
{
}

NetworkListener::~NetworkListener() { ::close(native_->fd); }

std::unique_ptr<SerialPort> NetworkListener::accept(Event& stop, bool& failed)
{
    failed = false;
    while (stop.wait(0) != WaitResult::Signalled) {
        pollfd entry{native_->fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, kStopCheckMs);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        const int client = ::accept4(native_->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) return networkLineOn(client);
        // A client that gave up while it waited is no failure of the listener.
        if (errno != ECONNABORTED && errno != EAGAIN && errno != EINTR) break;
    }
    failed = stop.wait(0) != WaitResult::Signalled;
    return nullptr;
}

}  // namespace platform
