// A network line to a mount that drops off the network without a word: the connection stays
// open at both ends, but nothing crosses it any more. On a loopback of the test's own, taken down
// while connected.
#include "platform/serial.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/network_listener.h"
#include "platform/serial_port_table.h"
#include "support/PrivateLoopback.h"
#include "support/ReceiveWithin.h"

namespace {

using platform::SerialPort;

constexpr int kLinePort = 40;
constexpr int kGenerousMs = 30000;

class NetworkLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!enterPrivateLoopback(why)) GTEST_SKIP() << "needs a loopback of its own: " << why;
        std::string error;
        listener = platform::NetworkListener::listen("127.0.0.1", 0, error);
        ASSERT_TRUE(listener) << error;
        platform::mapSerialPort(kLinePort, listener->address());
        line = SerialPort::open(kLinePort);
        ASSERT_TRUE(line) << platform::openFailure(kLinePort).reason;
        bool failed = false;
        mount = listener->accept(neverStop, failed);
        ASSERT_TRUE(mount);
    }

    void TearDown() override { setPrivateLoopbackUp(true); }

    platform::Event neverStop{platform::EventReset::Manual};
    std::unique_ptr<platform::NetworkListener> listener;
    std::unique_ptr<SerialPort> line;
    std::unique_ptr<SerialPort> mount;
};

// Without a write to go unacknowledged, the line's own probes find the silence.
TEST_F(NetworkLineTest, AnIdleLineNoticesTheMountFallSilent)
{
    ASSERT_TRUE(setPrivateLoopbackUp(false));
    EXPECT_EQ(receiveWithin(*line, 1, kGenerousMs).ended, platform::SerialReadOutcome::LineGone);
}

}  // namespace
