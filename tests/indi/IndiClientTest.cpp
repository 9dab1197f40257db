#include "indi/IndiClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace indi {
namespace {

// A made-up server on loopback: takes one client, sends it the given bytes, then either hangs
// up or stays silent until the test ends.
class FakeServer {
public:
    FakeServer(std::string bytes, bool hangUp) : listener_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        serving_ = std::thread([this, bytes, hangUp] {
            client_ = ::accept(listener_, nullptr, nullptr);
            // As a server does, it answers the client's first request: a hang-up before it would
            // end the connection while the client still opens it.
            char request[256];
            if (client_ >= 0) static_cast<void>(::recv(client_, request, sizeof request, 0));
            for (size_t sent = 0; client_ >= 0 && sent < bytes.size();) {
                const ssize_t written = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (written <= 0) break;
                sent += static_cast<size_t>(written);
            }
            if (hangUp) ::shutdown(client_, SHUT_RDWR);
        });
    }
    ~FakeServer()
    {
        ::shutdown(listener_, SHUT_RDWR);
        serving_.join();
        ::close(client_);
        ::close(listener_);
    }

    int port = 0;

private:
    int listener_;
    int client_ = -1;
    std::thread serving_;
};

const std::string kConnection =
    "<defSwitchVector device='S' name='CONNECTION' state='Idle' perm='rw' rule='OneOfMany'>"
    "<defSwitch name='CONNECT'>Off</defSwitch></defSwitchVector>";

const struct {
    const char* what;
    std::string bytes;
    bool hangUp;
    const char* reason;
} kEndings[] = {
    {"server hangs up", kConnection, true, "the INDI server at 127.0.0.1 port"},
    {"bad XML", kConnection + "<message message='a'></oops>", false, "bad XML at byte"},
    {"a tag that never ends", kConnection + "<message message='" + std::string(3 << 20, 'x'), false,
     "longer than 1048576 bytes"},
    {"binary noise", kConnection + std::string("\x00\xff\x01<<<", 6), false, "bad XML"},
};

TEST(IndiClientTest, EndsOnABrokenServerAndWakesTheWaiter)
{
    for (const auto& test : kEndings) {
        SCOPED_TRACE(test.what);
        FakeServer server(test.bytes, test.hangUp);
        IndiClient client;
        std::string error;
        ASSERT_TRUE(client.connect("127.0.0.1", server.port, 5000, error)) << error;
        const auto outcome = client.waitUntil([](const IndiModel&) { return false; }, 20000);
        EXPECT_EQ(outcome, IndiClient::WaitOutcome::Closed);
        EXPECT_NE(client.closeReason().find(test.reason), std::string::npos) << client.closeReason();
        client.inspect([](const IndiModel& model) { EXPECT_NE(model.find("S", "CONNECTION"), nullptr); });
        EXPECT_FALSE(client.sendSwitches("S", "CONNECTION", {{"CONNECT", true}}, error));
    }
}

TEST(IndiClientTest, SaysWhyItCouldNotConnectAndWhenItWasClosed)
{
    int port = 0;
    {
        FakeServer gone("", true);
        port = gone.port;
    }
    IndiClient refused;
    std::string error;
    EXPECT_FALSE(refused.connect("127.0.0.1", port, 2000, error));
    EXPECT_NE(error.find("connection refused"), std::string::npos) << error;
    EXPECT_EQ(refused.waitUntil([](const IndiModel&) { return false; }, 20000), IndiClient::WaitOutcome::Closed);

    FakeServer server(kConnection, false);
    IndiClient client;
    ASSERT_TRUE(client.connect("127.0.0.1", server.port, 5000, error)) << error;
    std::thread closer([&client] { client.close(); });
    EXPECT_EQ(client.waitUntil([](const IndiModel&) { return false; }, 20000), IndiClient::WaitOutcome::Closed);
    closer.join();
    EXPECT_EQ(client.closeReason(), "closed by this client");
}

}  // namespace
}  // namespace indi
