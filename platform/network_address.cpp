#include "platform/network_address.h"

#include <cctype>
#include <cstring>

namespace platform {

bool namesNetworkLine(const std::string& text) { return text.rfind(kNetworkScheme, 0) == 0; }

std::string networkAddressText(const std::string& host, const std::string& port, bool ipv6)
{
    return std::string(kNetworkScheme) + (ipv6 ? "[" + host + "]" : host) + ":" + port;
}

bool parseNetworkAddress(const std::string& text, NetworkAddress& address, std::string& error, bool anyPort)
{
    const std::string example = " (give it as tcp://HOST:PORT, such as tcp://192.168.0.10:9999)";
    if (!namesNetworkLine(text)) {
        error = "'" + text + "' is no network address" + example;
        return false;
    }
    const std::string rest = text.substr(std::strlen(kNetworkScheme));
    // The port follows the last colon, unless that colon is inside an IPv6 address's brackets.
    const size_t colon = rest.rfind(':');
    const bool bracketed = !rest.empty() && rest.front() == '[';
    const size_t closing = bracketed ? rest.find(']') : std::string::npos;
    if (colon == std::string::npos || (bracketed && (closing == std::string::npos || closing + 1 != colon))) {
        error = "'" + text + "' names no port" + example;
        return false;
    }
    const std::string host = bracketed ? rest.substr(1, closing - 1) : rest.substr(0, colon);
    const std::string port = rest.substr(colon + 1);
    if (host.empty() || (!bracketed && host.find(':') != std::string::npos) ||
        host.find_first_of("/ ") != std::string::npos) {
        error = "'" + text + "' names no host" + example;
        return false;
    }
    long number = 0;
    for (char digit : port) {
        if (!std::isdigit(static_cast<unsigned char>(digit)) || number > 65535) {
            number = -1;
            break;
        }
        number = number * 10 + (digit - '0');
    }
    if (port.empty() || number < (anyPort ? 0 : 1) || number > 65535) {
        error = "'" + text + "' has no port number from 1 to 65535 after the host" + example;
        return false;
    }
    address.host = host;
    address.port = static_cast<int>(number);
    return true;
}

}  // namespace platform
