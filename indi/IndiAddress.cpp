#include "indi/IndiAddress.h"

#include <cctype>

namespace indi {
namespace {

constexpr const char* kScheme = "indi://";
constexpr const char* kExample = " (give it as indi://HOST[:PORT]/DEVICE, such as indi://127.0.0.1/Telescope%20Simulator)";

int hexDigit(char character)
{
    if (character >= '0' && character <= '9') return character - '0';
    if (character >= 'a' && character <= 'f') return character - 'a' + 10;
    if (character >= 'A' && character <= 'F') return character - 'A' + 10;
    return -1;
}

// Undoes %XY escapes; false for a % without two hex digits after it.
bool decoded(const std::string& text, std::string& plain)
{
    plain.clear();
    for (size_t index = 0; index < text.size(); ++index) {
        if (text[index] != '%') {
            plain += text[index];
            continue;
        }
        const int high = index + 2 < text.size() ? hexDigit(text[index + 1]) : -1;
        const int low = high >= 0 ? hexDigit(text[index + 2]) : -1;
        if (low < 0) return false;
        plain += static_cast<char>(high * 16 + low);
        index += 2;
    }
    return true;
}

bool portNumber(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5) return false;
    long number = 0;
    for (char digit : text) {
        if (!std::isdigit(static_cast<unsigned char>(digit))) return false;
        number = number * 10 + (digit - '0');
    }
    if (number < 1 || number > 65535) return false;
    port = static_cast<int>(number);
    return true;
}

}  // namespace

bool IndiAddress::parse(const std::string& text, IndiAddress& address, std::string& error)
{
    const std::string scheme = kScheme;
    if (text.compare(0, scheme.size(), scheme) != 0) {
        error = "'" + text + "' is no INDI address" + kExample;
        return false;
    }
    const std::string rest = text.substr(scheme.size());
    const size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    const std::string device = slash == std::string::npos ? "" : rest.substr(slash + 1);

    // The port follows the last colon, unless that colon is inside an IPv6 address's brackets.
    std::string host = authority;
    std::string port;
    const bool bracketed = !authority.empty() && authority.front() == '[';
    const size_t closing = bracketed ? authority.find(']') : std::string::npos;
    if (bracketed) {
        if (closing == std::string::npos || (closing + 1 < authority.size() && authority[closing + 1] != ':')) {
            error = "'" + text + "' has an IPv6 host without its closing bracket" + kExample;
            return false;
        }
        host = authority.substr(1, closing - 1);
        if (closing + 1 < authority.size()) port = authority.substr(closing + 2);
    } else if (authority.find(':') != std::string::npos) {
        host = authority.substr(0, authority.find(':'));
        port = authority.substr(authority.find(':') + 1);
    }
    const bool hasPort = (bracketed ? closing + 1 < authority.size() : authority.find(':') != std::string::npos);
    if (host.empty() || host.find_first_of(" %@") != std::string::npos) {
        error = "'" + text + "' names no host" + kExample;
        return false;
    }
    int number = kDefaultPort;
    if (hasPort && !portNumber(port, number)) {
        error = "'" + text + "' has no port number from 1 to 65535 after the host" + kExample;
        return false;
    }
    std::string plainDevice;
    if (!decoded(device, plainDevice)) {
        error = "'" + text + "' has a % in the device name without two hex digits after it (a space is %20)";
        return false;
    }
    for (char character : plainDevice) {
        if (static_cast<unsigned char>(character) < 0x20) {
            error = "'" + text + "' has a control character in the device name";
            return false;
        }
    }
    address.host = host;
    address.port = number;
    address.device = plainDevice;
    return true;
}

std::string IndiAddress::text() const
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string encoded;
    for (const char character : device) {
        const unsigned char byte = static_cast<unsigned char>(character);
        if (std::isalnum(byte) || byte == '-' || byte == '_' || byte == '.' || byte == '~') {
            encoded += character;
        } else {
            encoded += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    const bool bracketed = host.find(':') != std::string::npos;
    return "indi://" + (bracketed ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" + encoded;
}

}  // namespace indi
