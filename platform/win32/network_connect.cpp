#include "platform/win32/network_connect.h"

#include <mstcpip.h>
#include <ws2tcpip.h>

#include "platform/deadline.h"
#include "platform/silent_drop.h"

namespace platform {
namespace {

std::string where(const NetworkAddress& address) { return address.host + " port " + std::to_string(address.port); }

// Starts the connect and waits for it; 0 on success, else the Winsock error (WSAETIMEDOUT when
// the deadline passed first).
int connectOne(SOCKET socket, const addrinfo& target, const Deadline& deadline)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return WSAGetLastError();
    if (::connect(socket, target.ai_addr, static_cast<int>(target.ai_addrlen)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        return WSAGetLastError();
    }
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    const int leftMs = deadline.remainingMs();
    timeval limit{leftMs / 1000, (leftMs % 1000) * 1000};
    const int ready = select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) return WSAGetLastError();
    if (ready == 0) return WSAETIMEDOUT;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return WSAGetLastError();
    }
    if (error != 0) return error;
    // Blocking again, as overlapped reads and writes expect.
    nonBlocking = 0;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0 ? 0 : WSAGetLastError();
}

// Windows' own option numbers, which MinGW-w64's headers lack.
constexpr int kKeepAliveCountOption = 16;  // TCP_KEEPCNT
constexpr int kMaxRetransmitOption = 5;    // TCP_MAXRT, in seconds

void setTcpOption(SOCKET socket, int option, DWORD value)
{
    setsockopt(socket, IPPROTO_TCP, option, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

// A setting the system refuses stays as it was; the line works without it, only less watchfully.
void configureConnection(SOCKET socket)
{
    // Each write leaves at once rather than waiting for more bytes to join it.
    setTcpOption(socket, TCP_NODELAY, TRUE);
    // An idle line probes the mount, so that its silence is noticed without a write. Under Wine
    // (8.0) this is all: it takes neither of the settings below.
    tcp_keepalive keepAlive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
    // Windows 10 version 1703 and later: unanswered probes end the connection after this many
    // rather than ten.
    setTcpOption(socket, kKeepAliveCountOption, kKeepAliveProbes);
    // Vista and later: unacknowledged bytes end the connection after this long, rather than after
    // the system's own count of retransmissions.
    setTcpOption(socket, kMaxRetransmitOption, kUnacknowledgedLimitMs / 1000);
}

// Winsock is left running to the end of the process.
bool winsockStarted()
{
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET connectToMount(const NetworkAddress& address, OpenFailure& failure)
{
    const Deadline deadline(kConnectLimitMs);
    if (!winsockStarted()) {
        failure.kind = OpenFailure::CannotConnect;
        failure.reason = "cannot connect to " + where(address) + ": the system's network services did not start";
        return INVALID_SOCKET;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(address.port);
    const int lookup = getaddrinfo(address.host.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0) {
        failure.kind = OpenFailure::HostNotFound;
        failure.reason = "host not found: no address is known for " + address.host;
        return INVALID_SOCKET;
    }
    int lastError = 0;
    SOCKET connected = INVALID_SOCKET;
    for (const addrinfo* target = found; target && connected == INVALID_SOCKET && !deadline.passed();
         target = target->ai_next) {
        const SOCKET socket = WSASocketW(target->ai_family, target->ai_socktype, target->ai_protocol, nullptr, 0,
                                         WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
        if (socket == INVALID_SOCKET) {
            lastError = WSAGetLastError();
            continue;
        }
        lastError = connectOne(socket, *target, deadline);
        if (lastError == 0) {
            connected = socket;
        } else {
            closesocket(socket);
        }
    }
    freeaddrinfo(found);
    if (connected != INVALID_SOCKET) return connected;
    if (lastError == WSAECONNREFUSED) {
        failure.kind = OpenFailure::Refused;
        failure.reason = "connection refused: nothing listens on " + where(address);
    } else if (lastError == WSAETIMEDOUT || lastError == 0) {
        failure.kind = OpenFailure::NoAnswer;
        failure.reason = "no answer from " + where(address) + " within " + std::to_string(kConnectLimitMs / 1000) +
                         " s";
    } else {
        failure.kind = OpenFailure::CannotConnect;
        failure.reason = "cannot connect to " + where(address) + " (Winsock error " + std::to_string(lastError) + ")";
    }
    return INVALID_SOCKET;
}

}  // namespace platform
