#include "platform/network_listener.h"

// Winsock's headers must come before windows.h.
#include "platform/win32/network_connect.h"

#include <ws2tcpip.h>

namespace platform {
namespace {

constexpr long kStopCheckUs = 50 * 1000;
constexpr int kQueuedClients = 4;

// The address a listener got, as a tester writes it.
std::string addressOf(SOCKET socket)
{
    sockaddr_storage bound{};
    int length = sizeof bound;
    char host[64] = {};
    char port[8] = {};
    if (getsockname(socket, reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
        getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "";
    }
    return networkAddressText(host, port, bound.ss_family == AF_INET6);
}

}  // namespace

struct NetworkListener::Native {
    SOCKET socket = INVALID_SOCKET;
};

std::unique_ptr<NetworkListener> NetworkListener::listen(const std::string& host, int port, std::string& error)
{
    const std::string where = (host.empty() ? std::string("127.0.0.1") : host) + " port " + std::to_string(port);
    if (!winsockStarted()) {
        error = "cannot listen on " + where + ": the system's network services did not start";
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.empty() ? "127.0.0.1" : host.c_str(), service.c_str(), &hints, &found) != 0) {
        error = "cannot listen on " + where + ": no such address";
        return nullptr;
    }
    SOCKET socket = WSASocketW(found->ai_family, found->ai_socktype, found->ai_protocol, nullptr, 0,
                               WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET || bind(socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0 ||
        ::listen(socket, kQueuedClients) != 0) {
        error = "cannot listen on " + where + " (Winsock error " + std::to_string(WSAGetLastError()) + ")";
        if (socket != INVALID_SOCKET) closesocket(socket);
        socket = INVALID_SOCKET;
    }
    freeaddrinfo(found);
    if (socket == INVALID_SOCKET) return nullptr;
    auto native = std::make_unique<Native>();
    native->socket = socket;
    const std::string address = addressOf(socket);
    return std::make_unique<NetworkListener>(std::move(native), address);
}

NetworkListener::NetworkListener(std::unique_ptr<Native> native, std::string address)
    : native_(std::move(native)), address_(std::move(address))
{
}

NetworkListener::~NetworkListener() { closesocket(native_->socket); }

std::unique_ptr<SerialPort> NetworkListener::accept(Event& stop, bool& failed)
{
    failed = false;
    while (stop.wait(0) != WaitResult::Signalled) {
        fd_set waiting;
        FD_ZERO(&waiting);
        FD_SET(native_->socket, &waiting);
        timeval limit{0, kStopCheckUs};
        const int ready = select(0, &waiting, nullptr, nullptr, &limit);
        if (ready == SOCKET_ERROR) break;
        if (ready == 0) continue;
        // A socket that accept makes shares the listener's overlapped flag.
        const SOCKET client = ::accept(native_->socket, nullptr, nullptr);
        if (client != INVALID_SOCKET) return networkLineOn(client);
        // A client that gave up while it waited is no failure of the listener.
        if (WSAGetLastError() != WSAECONNRESET && WSAGetLastError() != WSAEWOULDBLOCK) break;
    }
    failed = stop.wait(0) != WaitResult::Signalled;
    return nullptr;
}

}  // namespace platform
