// How a network line's address is read: what a person types after tcp://, and what is refused
// with a reason before any connection is tried.
#include "platform/network_address.h"

#include <gtest/gtest.h>

#include <string>

#include "support/CaseName.h"

namespace {

struct AddressCase {
    const char* what;
    std::string text;
    bool valid;
    std::string host;  // valid: the host read; otherwise a part of the reason
    int port;
};
void PrintTo(const AddressCase& c, std::ostream* out) { *out << c.what; }

class NetworkAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(NetworkAddressTest, ReadsHostAndPortOrSaysWhatIsWrong)
{
    const AddressCase& c = GetParam();
    platform::NetworkAddress address;
    std::string error;
    ASSERT_EQ(platform::parseNetworkAddress(c.text, address, error), c.valid) << error;
    if (c.valid) {
        EXPECT_EQ(address.host, c.host);
        EXPECT_EQ(address.port, c.port);
    } else {
        EXPECT_NE(error.find(c.host), std::string::npos) << error;
        EXPECT_NE(error.find("tcp://HOST:PORT"), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, NetworkAddressTest,
    ::testing::Values(AddressCase{"ipv4", "tcp://192.168.4.1:9999", true, "192.168.4.1", 9999},
                      AddressCase{"name", "tcp://mount.local:4030", true, "mount.local", 4030},
                      AddressCase{"ipv6_in_brackets", "tcp://[::1]:4030", true, "::1", 4030},
                      AddressCase{"highest_port", "tcp://h:65535", true, "h", 65535},
                      AddressCase{"no_port", "tcp://192.168.4.1", false, "names no port", 0},
                      AddressCase{"empty_port", "tcp://192.168.4.1:", false, "no port number", 0},
                      AddressCase{"port_zero", "tcp://h:0", false, "no port number", 0},
                      AddressCase{"port_too_high", "tcp://h:65536", false, "no port number", 0},
                      AddressCase{"port_not_a_number", "tcp://h:99x", false, "no port number", 0},
                      AddressCase{"huge_port", "tcp://h:99999999999999999999", false, "no port number", 0},
                      AddressCase{"no_host", "tcp://:4030", false, "names no host", 0},
                      AddressCase{"ipv6_without_brackets", "tcp://::1:4030", false, "names no host", 0},
                      AddressCase{"unclosed_bracket", "tcp://[::1:4030", false, "names no port", 0},
                      AddressCase{"a_path_after_it", "tcp://h/x:4030", false, "names no host", 0},
                      AddressCase{"another_scheme", "udp://h:4030", false, "no network address", 0}),
    CaseName());

TEST(NetworkAddressListening, PortZeroStandsForAnyWhereAListenerIsMeant)
{
    platform::NetworkAddress address;
    std::string error;
    EXPECT_TRUE(platform::parseNetworkAddress("tcp://127.0.0.1:0", address, error, true)) << error;
    EXPECT_EQ(address.port, 0);
}

}  // namespace
