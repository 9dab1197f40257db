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
#include "support/CaseName.h"
#include "support/PrivateLoopback.h"
#include "support/ReceiveWithin.h"

namespace {

using platform::SerialPort;
using platform::SerialWriteResult;

constexpr int kLinePort = 40;
// The link's own limit for a write.
constexpr int kWriteLimitMs = 1000;
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

    SerialWriteResult write(SerialPort& port, const std::string& text)
    {
        return port.write(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()),
                          writeDone, kWriteLimitMs);
    }

    platform::Event neverStop{platform::EventReset::Manual};
    platform::Event writeDone{platform::EventReset::Manual};
    std::unique_ptr<platform::NetworkListener> listener;
    std::unique_ptr<SerialPort> line;
    std::unique_ptr<SerialPort> mount;
};

struct StopCase {
    const char* what;
    bool packetsLost;
    bool written;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.what; }

class StopOverNetwork : public NetworkLineTest, public ::testing::WithParamInterface<StopCase> {};

const StopCase kStops[] = {
    {"packets flowing", false, true},
    {"packets lost", true, false},
};

// Written means the mount has it. A lost stop must not reach the mount later either, when the
// network comes back: its connection is gone, so whatever the mount sends is refused.
TEST_P(StopOverNetwork, IsWrittenOnlyOnceTheMountHasIt)
{
    const StopCase& c = GetParam();
    if (c.packetsLost) {
        ASSERT_TRUE(setPrivateLoopbackUp(false));
    }
    EXPECT_EQ(write(*line, ":Q#") == SerialWriteResult::Completed, c.written);
    ASSERT_TRUE(setPrivateLoopbackUp(true));
    EXPECT_EQ(write(*mount, "#") == SerialWriteResult::Completed, c.written) << "the connection's state after the stop";
}

INSTANTIATE_TEST_SUITE_P(Line, StopOverNetwork, ::testing::ValuesIn(kStops), CaseName());

// Without a write to go unacknowledged, the line's own probes find the silence.
TEST_F(NetworkLineTest, AnIdleLineNoticesTheMountFallSilent)
{
    ASSERT_TRUE(setPrivateLoopbackUp(false));
    EXPECT_EQ(receiveWithin(*line, 1, kGenerousMs).ended, platform::SerialReadOutcome::LineGone);
}

}  // namespace
