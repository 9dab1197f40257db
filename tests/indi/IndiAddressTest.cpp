#include "indi/IndiAddress.h"

#include <gtest/gtest.h>

namespace indi {
namespace {

struct AddressCase {
    const char* what;
    const char* text;
    const char* host;  // null where it must be refused
    int port;
    const char* deviceOrError;  // the device, or a piece of the error sentence
};

const AddressCase kAddressCases[] = {
    {"device URL-encoded, default port", "indi://127.0.0.1/Telescope%20Simulator", "127.0.0.1", 7624, "Telescope Simulator"},
    {"port given", "indi://observatory.local:7625/EQMod%20Mount", "observatory.local", 7625, "EQMod Mount"},
    {"IPv6 with port", "indi://[::1]:7000/Mount", "::1", 7000, "Mount"},
    {"IPv6 without port", "indi://[fe80::1]/", "fe80::1", 7624, ""},
    {"no device", "indi://pi", "pi", 7624, ""},
    {"lower-case hex", "indi://pi/a%2fb", "pi", 7624, "a/b"},
    {"other scheme", "tcp://127.0.0.1:7624", nullptr, 0, "is no INDI address"},
    {"no host", "indi://:7624/Mount", nullptr, 0, "names no host"},
    {"port 0", "indi://pi:0/Mount", nullptr, 0, "port number from 1 to 65535"},
    {"port too big", "indi://pi:65536/Mount", nullptr, 0, "port number from 1 to 65535"},
    {"port not a number", "indi://pi:ab/Mount", nullptr, 0, "port number from 1 to 65535"},
    {"empty port", "indi://pi:/Mount", nullptr, 0, "port number from 1 to 65535"},
    {"bracket not closed", "indi://[::1/Mount", nullptr, 0, "closing bracket"},
    {"bad escape", "indi://pi/Tele%2", nullptr, 0, "two hex digits"},
    {"escape not hex", "indi://pi/Tele%zz", nullptr, 0, "two hex digits"},
    {"control character", "indi://pi/a%0Ab", nullptr, 0, "control character"},
};

TEST(IndiAddressTest, ReadsAddressesAndSaysWhatIsWrong)
{
    for (const AddressCase& test : kAddressCases) {
        SCOPED_TRACE(test.what);
        IndiAddress address;
        std::string error;
        const bool read = IndiAddress::parse(test.text, address, error);
        ASSERT_EQ(read, test.host != nullptr) << error;
        if (read) {
            EXPECT_EQ(address.host, test.host);
            EXPECT_EQ(address.port, test.port);
            EXPECT_EQ(address.device, test.deviceOrError);
        } else {
            EXPECT_NE(error.find(test.deviceOrError), std::string::npos) << error;
            EXPECT_NE(error.find(test.text), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace indi
