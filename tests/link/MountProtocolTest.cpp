#include "link/MountProtocol.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "link/iSerialPortLink.h"
#include "support/CaseName.h"
#include "support/StatusRecorder.h"

namespace {

// Stands in for the serial port: records what the protocol asks of it, in order.
class RecordingSerialLink final : public iSerialPortLink {
public:
    bool openSucceeds = true;
    bool writesSucceed = true;
    std::vector<std::string> calls;
    int openedPort = -1;

    bool openPort(int port) override
    {
        calls.push_back("open");
        openedPort = port;
        return openSucceeds;
    }
    void startReader() override { calls.push_back("reader"); }
    bool sendCommand(const char* text) override
    {
        calls.push_back(text);
        return writesSucceed;
    }
    void closePort() override { calls.push_back("close"); }

    std::vector<std::string> commands() const
    {
        std::vector<std::string> sent;
        for (const auto& call : calls) {
            if (call[0] == ':') sent.push_back(call);
        }
        return sent;
    }
};

using Codes = std::vector<int>;
using Commands = std::vector<std::string>;

int pausedMs = 0;
void recordPause(int ms) { pausedMs += ms; }

class MountProtocolTest : public ::testing::Test {
protected:
    RecordingSerialLink serial;
    StatusRecorder statuses;
    MountProtocol protocol{serial, &statuses, +[](int) {}};

    void dispatch(const CommandFrame& command)
    {
        std::array<unsigned char, ControlFrame::kMaxSize> frame{};
        std::copy(command.bytes, command.bytes + command.size, frame.begin());
        protocol.dispatchFrame(frame.data());
    }

    void dispatchRaw(std::initializer_list<unsigned char> bytes)
    {
        std::array<unsigned char, ControlFrame::kMaxSize> frame{};
        std::copy(bytes.begin(), bytes.end(), frame.begin());
        protocol.dispatchFrame(frame.data());
    }

    // Delivers text as the serial reader would: in data frames of at most 31 bytes.
    void receive(const std::string& text)
    {
        for (size_t at = 0; at < text.size(); at += ControlFrame::kMaxPayload) {
            const std::string piece = text.substr(at, ControlFrame::kMaxPayload);
            std::array<unsigned char, ControlFrame::kMaxSize> frame{};
            frame[0] = ControlFrame::header(ControlFrame::TypeData, static_cast<int>(piece.size()));
            std::copy(piece.begin(), piece.end(), frame.begin() + 1);
            protocol.dispatchFrame(frame.data());
        }
    }

    void ticks(int count)
    {
        for (int i = 0; i < count; ++i) dispatch(ControlFrame::tick());
    }

    void connectAndVerify()
    {
        dispatch(ControlFrame::connect(5));
        receive("01:23:45#02:34:56#+12*34'56#");
        ASSERT_EQ(statuses.codes(), (Codes{1, 7}));
    }
};

struct HandshakeCase {
    const char* what;
    std::vector<std::string> replies;  // one per command sent, in order
    Codes statuses;
    Commands commands;
};
// Shown in the test list, which CTest reads; the raw bytes would differ from run to run.
void PrintTo(const HandshakeCase& c, std::ostream* out) { *out << c.what; }


class Handshake : public MountProtocolTest, public ::testing::WithParamInterface<HandshakeCase> {};

TEST_P(Handshake, AcceptsOnlyTheExpectedReplyShapes)
{
    const HandshakeCase& c = GetParam();
    dispatch(ControlFrame::connect(5));
    for (const auto& reply : c.replies) receive(reply);
    EXPECT_EQ(statuses.codes(), c.statuses) << c.what;
    EXPECT_EQ(serial.commands(), c.commands) << c.what;
    EXPECT_TRUE(protocol.portIsOpen()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Handshake,
    ::testing::Values(
        HandshakeCase{"a mount in the accepted shapes", {"01:23:45#", "02:34:56#", "+12*34'56#"}, {1, 7},
                      {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"all zero", {"00:00:00#", "00:00:00#", "+00*00'00#"}, {1, 7}, {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"replies split at every byte", {"0", "1:23:4", "5#02:34:56", "#+12*34'56#"}, {1, 7},
                      {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"a sidereal time after 09 hours", {"12:00:00#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a sidereal time too short", {"0123456#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a right ascension in the short format", {"01:23:45#", "02:34.5#"}, {1, 5}, {":GS#", ":GR#"}},
        HandshakeCase{"a negative declination", {"01:23:45#", "02:34:56#", "-12*34'56#"}, {1, 5},
                      {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"a declination in the short format", {"01:23:45#", "02:34:56#", "+12*34#"}, {1, 5},
                      {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"a lone \"!\" instead of the sidereal time", {"!#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a reply beginning with \"!\" at the last step", {"01:23:45#", "02:34:56#", "!+12*34'56#"},
                      {1, 5}, {":GS#", ":GR#", ":GD#"}},
        HandshakeCase{"replies after a failed handshake are ignored", {"12:00:00#", "02:34:56#", "+12*34'56#"},
                      {1, 5}, {":GS#"}},
        HandshakeCase{"a 50-character reply is lost with its terminator", {std::string(50, '0') + "#"}, {1},
                      {":GS#"}}),
    CaseName());

TEST_F(MountProtocolTest, OpensTheRequestedPortThenSettlesBeforeAskingForTheSiderealTime)
{
    pausedMs = 0;
    MountProtocol timed(serial, &statuses, &recordPause);
    std::array<unsigned char, ControlFrame::kMaxSize> frame{};
    const CommandFrame connect = ControlFrame::connect(200);
    std::copy(connect.bytes, connect.bytes + connect.size, frame.begin());
    timed.dispatchFrame(frame.data());
    EXPECT_EQ(serial.openedPort, 200);
    EXPECT_EQ(serial.calls, (Commands{"open", "reader", ":GS#"}));
    EXPECT_EQ(pausedMs, MountProtocol::kSettleAfterOpenMs);
    EXPECT_EQ(statuses.codes(), (Codes{1}));
}

TEST_F(MountProtocolTest, ArgumentsTravelAsTheirLowEightBits)
{
    dispatch(ControlFrame::connect(256));
    EXPECT_EQ(serial.openedPort, 0);
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::connect(3 + 256 * 7));
    EXPECT_EQ(serial.openedPort, 3);

    dispatch(ControlFrame::correction(256, 300));  // north, 44 ticks
    dispatch(ControlFrame::correction(259, 2));    // east
    dispatch(ControlFrame::correction(258, 2));    // west
    dispatch(ControlFrame::correction(257, 2));    // south
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GS#", ":Mn#", ":Me#", ":Mw#", ":Ms#"}));
    ticks(2);
    EXPECT_EQ(serial.commands().back(), ":Qs#");
}

TEST_F(MountProtocolTest, WithoutAPortOnlyConnectActs)
{
    serial.openSucceeds = false;
    dispatch(ControlFrame::tick());
    receive("01:23:45#");
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::correction(0, 10));
    dispatch(ControlFrame::connect(0));
    EXPECT_EQ(statuses.codes(), (Codes{6, 6, 2}));
    EXPECT_EQ(serial.calls, (Commands{"open"}));
    EXPECT_FALSE(protocol.portIsOpen());
}

TEST_F(MountProtocolTest, ConnectWhileConnectedChangesNothing)
{
    connectAndVerify();
    dispatch(ControlFrame::connect(6));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 4}));
    EXPECT_EQ(serial.openedPort, 5);
    EXPECT_TRUE(protocol.portIsOpen());
}

TEST_F(MountProtocolTest, MalformedCommandFramesAreIgnored)
{
    dispatchRaw({0xA1, ControlFrame::CommandConnect});      // connect without its port
    dispatchRaw({0xA3, ControlFrame::CommandConnect, 5, 0}); // connect with one argument too many
    dispatchRaw({0xA0});                                    // command without a code
    dispatchRaw({0x80, 0x01});                              // type 0
    dispatchRaw({0xE1, 0x01});                              // type 3
    EXPECT_TRUE(serial.calls.empty());
    EXPECT_TRUE(statuses.codes().empty());
}

TEST_F(MountProtocolTest, UnknownCommandCodesReportNotConnectedOnlyWithoutAPort)
{
    connectAndVerify();
    dispatchRaw({0xA1, 2});
    dispatchRaw({0xA3, 9, 0, 5});
    EXPECT_EQ(statuses.codes(), (Codes{1, 7}));
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#"}));
    dispatch(ControlFrame::disconnect());
    dispatchRaw({0xA1, 2});
    dispatchRaw({0xA1, 9});
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 9, 6, 6}));
}

struct CorrectionCase {
    const char* what;
    Direction direction;
    const char* move;
    const char* stop;
};
// Shown in the test list, which CTest reads; the raw bytes would differ from run to run.
void PrintTo(const CorrectionCase& c, std::ostream* out) { *out << c.what; }


class Correction : public MountProtocolTest, public ::testing::WithParamInterface<CorrectionCase> {};

TEST_P(Correction, MovesForTheRequestedTicksThenStops)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(GetParam().direction), 5));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
    EXPECT_EQ(serial.commands().back(), GetParam().move);
    ticks(4);
    EXPECT_EQ(serial.commands().back(), GetParam().move);
    ticks(1);
    EXPECT_EQ(serial.commands().back(), GetParam().stop);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 7}));
    ticks(10);
    EXPECT_EQ(serial.commands().size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(Directions, Correction,
                         ::testing::Values(CorrectionCase{"north", Direction::North, ":Mn#", ":Qn#"},
                                           CorrectionCase{"south", Direction::South, ":Ms#", ":Qs#"},
                                           CorrectionCase{"west", Direction::West, ":Mw#", ":Qw#"},
                                           CorrectionCase{"east", Direction::East, ":Me#", ":Qe#"}),
    CaseName());

TEST_F(MountProtocolTest, CorrectionsOddCases)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(7, 5));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
    EXPECT_EQ(serial.commands().size(), 3u);

    dispatch(ControlFrame::correction(0, 0));  // a zero-tick pulse never stops
    ticks(60);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":Mn#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8}));
}

TEST_F(MountProtocolTest, APulseWhoseWritesFailEndsOnACommunicationError)
{
    connectAndVerify();
    serial.writesSucceed = false;  // the adapter has been pulled
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 2));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 5}));
    ticks(2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 5, 7, 5}));
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":Mn#", ":Qn#"}));
}

TEST_F(MountProtocolTest, FailedHandshakeWritesStillEndInTheTimeOut)
{
    serial.writesSucceed = false;
    dispatch(ControlFrame::connect(3));
    ticks(MountProtocol::kHandshakeTicks);
    EXPECT_EQ(statuses.codes(), (Codes{1, 3}));
}

TEST_F(MountProtocolTest, ANewPulseOnTheSameAxisReplacesTheRunningOne)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 5));
    ticks(2);
    dispatch(ControlFrame::correction(static_cast<int>(Direction::South), 3));
    ticks(2);
    EXPECT_EQ(serial.commands().back(), ":Ms#");
    ticks(1);
    ticks(10);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":Mn#", ":Ms#", ":Qs#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7}));
}

TEST_F(MountProtocolTest, PulsesOnBothAxesRunIndependently)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 3));
    dispatch(ControlFrame::correction(static_cast<int>(Direction::West), 2));
    ticks(3);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":Mn#", ":Mw#", ":Qw#", ":Qn#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7, 7}));
}

TEST_F(MountProtocolTest, CorrectionsWorkDuringAndAfterAFailedHandshake)
{
    dispatch(ControlFrame::connect(5));
    dispatch(ControlFrame::correction(static_cast<int>(Direction::East), 2));
    receive("12:00:00#");
    ticks(2);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":Me#", ":Qe#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 5, 7}));
}

TEST_F(MountProtocolTest, ASilentMountTimesOutAtTheSixtiethTick)
{
    dispatch(ControlFrame::connect(5));
    ticks(MountProtocol::kHandshakeTicks - 1);
    EXPECT_TRUE(protocol.portIsOpen());
    EXPECT_EQ(statuses.codes(), (Codes{1}));
    ticks(1);
    EXPECT_FALSE(protocol.portIsOpen());
    EXPECT_EQ(serial.calls.back(), "close");
    EXPECT_EQ(statuses.codes(), (Codes{1, 3}));
    ticks(100);
    EXPECT_EQ(statuses.codes(), (Codes{1, 3}));
}

TEST_F(MountProtocolTest, AFinishedOrFailedHandshakeHasNoTimeOut)
{
    connectAndVerify();
    ticks(100);
    EXPECT_TRUE(protocol.portIsOpen());

    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::connect(5));
    receive("!#");
    ticks(100);
    EXPECT_TRUE(protocol.portIsOpen());
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 9, 1, 5}));
}

TEST_F(MountProtocolTest, AStopDueAsTheTimeOutClosesThePortIsNotWritten)
{
    dispatch(ControlFrame::connect(5));
    ticks(MountProtocol::kHandshakeTicks - 5);
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 5));
    ticks(5);
    EXPECT_EQ(serial.calls, (Commands{"open", "reader", ":GS#", ":Mn#", "close"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 3, 7}));
}

TEST_F(MountProtocolTest, DisconnectMidPulseSendsNoStop)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(Direction::West), 5));
    ticks(2);
    dispatch(ControlFrame::disconnect());
    ticks(10);
    EXPECT_EQ(serial.calls.back(), "close");
    EXPECT_EQ(serial.commands().back(), ":Mw#");
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 9}));
}

TEST_F(MountProtocolTest, AReconnectStartsWithFreshCountdownsAndParser)
{
    dispatch(ControlFrame::connect(5));
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 5));
    receive("01:2");  // half a reply, then the line is closed
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::connect(5));
    receive("01:23:45#");
    ticks(10);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":Mn#", ":GS#", ":GR#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 9, 1}));
}

TEST_F(MountProtocolTest, AnExclamationMarkIsAnErrorInAnyState)
{
    connectAndVerify();
    receive("!#");
    receive("!oops#");
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 5, 5}));
    receive("01:23:45#");
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 5, 5}));
}

}  // namespace
