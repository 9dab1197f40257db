#pragma once

#include <string>

namespace indi {

// Where a mount behind an INDI server is: indi://HOST[:PORT]/DEVICE, HOST a name, an IPv4
// address or an IPv6 address in brackets, PORT 7624 unless given, DEVICE URL-encoded
// (indi://127.0.0.1/Telescope%20Simulator) and empty where the caller is to pick one.
struct IndiAddress {
    static constexpr int kDefaultPort = 7624;

    std::string host;
    int port = kDefaultPort;
    std::string device;

    // False for anything else, with what is wrong in error, as a sentence.
    static bool parse(const std::string& text, IndiAddress& address, std::string& error);
    // As parse reads it back: indi://HOST:PORT/DEVICE, the device URL-encoded.
    std::string text() const;
};

}  // namespace indi
