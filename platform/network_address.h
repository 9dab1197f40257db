#pragma once

#include <string>

namespace platform {

// Where a mount on the network listens: tcp://HOST:PORT, HOST a name, an IPv4 address or an IPv6
// address in brackets ([::1]), PORT 1 to 65535.
struct NetworkAddress {
    std::string host;
    int port = 0;
};

constexpr const char* kNetworkScheme = "tcp://";
// How long opening a network line waits for the far end to accept the connection.
constexpr int kConnectLimitMs = 5000;

// True for text that asks for a network line (it begins with tcp://), well formed or not.
bool namesNetworkLine(const std::string& text);

// Reads tcp://HOST:PORT; false, with what is wrong with it in error, for anything else. Where
// the address is one to listen on, anyPort lets port 0 stand for one the system picks.
bool parseNetworkAddress(const std::string& text, NetworkAddress& address, std::string& error, bool anyPort = false);

// tcp://HOST:PORT for a numeric host and port, the host in brackets if it is an IPv6 address.
std::string networkAddressText(const std::string& host, const std::string& port, bool ipv6);

}  // namespace platform
