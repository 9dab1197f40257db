#include "link/MountProtocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
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
    std::set<std::string> failingCommands;  // writes of these fail even when others succeed
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
        return writesSucceed && failingCommands.count(text) == 0;
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

class MountProtocolTest : public ::testing::Test {
protected:
    RecordingSerialLink serial;
    StatusRecorder statuses;
    // The settling pause after an open, among the port's calls; false cuts it short.
    bool pauseRunsItsCourse = true;
    MountProtocol protocol{serial, &statuses, [this](int ms) {
                               serial.calls.push_back("pause " + std::to_string(ms));
                               return pauseRunsItsCourse;
                           }};

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

    // A correction, and the tick that sends its move.
    void pulse(Direction direction, int length)
    {
        dispatch(ControlFrame::correction(static_cast<int>(direction), length));
        ticks(1);
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

const Commands kAllThree{":GS#", ":GR#", ":GD#"};

INSTANTIATE_TEST_SUITE_P(
    Replies, Handshake,
    ::testing::Values(
        HandshakeCase{"a mount in the long format", {"01:23:45#", "02:34:56#", "+12*34'56#"}, {1, 7}, kAllThree},
        HandshakeCase{"all zero", {"00:00:00#", "00:00:00#", "+00*00'00#"}, {1, 7}, kAllThree},
        HandshakeCase{"replies split at every byte", {"0", "1:23:4", "5#02:34:56", "#+12*34'56#"}, {1, 7},
                      kAllThree},
        HandshakeCase{"an afternoon sky and a southern declination", {"14:00:00#", "23:59:59#", "-30*00'00#"},
                      {1, 7}, kAllThree},
        HandshakeCase{"the degree sign byte and a colon for the minutes mark",
                      {"21:09:33#", "13:50:02#", "+45\xDF" "30:15#"}, {1, 7}, kAllThree},
        HandshakeCase{"a sidereal time in the short format", {"12:34.5#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a sidereal time of hour 24", {"24:00:00#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a sidereal time too short", {"0123456#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a right ascension in the short format", {"01:23:45#", "02:34.5#"}, {1, 5}, {":GS#", ":GR#"}},
        HandshakeCase{"a right ascension with letters", {"01:23:45#", "ab:cd:ef#"}, {1, 5}, {":GS#", ":GR#"}},
        HandshakeCase{"a declination in the short format", {"01:23:45#", "02:34:56#", "+12*34#"}, {1, 5}, kAllThree},
        HandshakeCase{"a declination of eight characters", {"01:23:45#", "02:34:56#", "+12*34'5#"}, {1, 5},
                      kAllThree},
        HandshakeCase{"a declination of 91 degrees", {"01:23:45#", "02:34:56#", "-91*00'00#"}, {1, 5}, kAllThree},
        HandshakeCase{"a lone \"!\" instead of the sidereal time", {"!#"}, {1, 5}, {":GS#"}},
        HandshakeCase{"a reply beginning with \"!\" at the last step", {"01:23:45#", "02:34:56#", "!+12*34'56#"},
                      {1, 5}, kAllThree},
        HandshakeCase{"replies after a failed handshake are ignored", {"12:34.5#", "02:34:56#", "+12*34'56#"},
                      {1, 5}, {":GS#"}},
        HandshakeCase{"a 50-character reply is lost with its terminator", {std::string(50, '0') + "#"}, {1},
                      {":GS#"}}),
    CaseName());

TEST_F(MountProtocolTest, OpensTheRequestedPortThenSettlesBeforeAskingForTheSiderealTime)
{
    dispatch(ControlFrame::connect(200));
    EXPECT_EQ(serial.openedPort, 200);
    EXPECT_EQ(serial.calls, (Commands{"open", "reader", "pause 500", ":GS#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1}));
}

TEST_F(MountProtocolTest, AConnectWhosePauseShutdownCutShortSendsNothing)
{
    pauseRunsItsCourse = false;
    dispatch(ControlFrame::connect(5));
    ticks(100);
    EXPECT_EQ(serial.calls, (Commands{"open", "reader", "pause 500"}));
    EXPECT_EQ(statuses.codes(), (Codes{1}));
    protocol.stopForShutdown();
    EXPECT_FALSE(protocol.portIsOpen());
    EXPECT_TRUE(serial.commands().empty());
}

TEST_F(MountProtocolTest, ArgumentsTravelAsTheirLowEightBits)
{
    dispatch(ControlFrame::connect(256));
    EXPECT_EQ(serial.openedPort, 0);
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::connect(3 + 256 * 7));
    EXPECT_EQ(serial.openedPort, 3);

    for (int direction : {256, 259, 258, 257}) {  // north, east, west, south
        dispatch(ControlFrame::correction(direction, direction == 256 ? 300 : 2));  // 300: 44 ticks
        ticks(1);
    }
    EXPECT_EQ(serial.commands(),
              (Commands{":GS#", ":GS#", ":RG#", ":Mn#", ":RG#", ":Me#", ":Qe#", ":RG#", ":Mw#", ":Qn#", ":RG#", ":Ms#"}));
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

// The move leaves on the tick after the correction and the stop on the fifth after that, so the
// pulse spans exactly its ticks.
TEST_P(Correction, MovesOnTheNextTickForTheRequestedTicksThenStops)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(GetParam().direction), 5));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
    EXPECT_EQ(serial.commands().size(), 3u);
    ticks(1);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", GetParam().move}));
    ticks(4);
    EXPECT_EQ(serial.commands().back(), GetParam().move);
    ticks(1);
    EXPECT_EQ(serial.commands().back(), GetParam().stop);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 7}));
    ticks(10);
    EXPECT_EQ(serial.commands().size(), 6u);
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

    // A pulse of no ticks, or of 256, which the frame wraps to none, would never be stopped.
    dispatch(ControlFrame::correction(0, 0));
    dispatch(ControlFrame::correction(3, 256));
    ticks(60);
    EXPECT_EQ(serial.commands().size(), 3u);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
}

TEST_F(MountProtocolTest, APulseWhoseWritesFailEndsOnACommunicationError)
{
    connectAndVerify();
    serial.writesSucceed = false;  // the adapter has been pulled
    pulse(Direction::North, 2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 5}));
    ticks(2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 5, 7, 5}));
    // Without the guide rate selected the move is not risked.
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Qn#"}));
}

TEST_F(MountProtocolTest, AMoveWhoseGuideRateCouldNotBeSelectedIsNotSent)
{
    connectAndVerify();
    serial.failingCommands = {":RG#"};
    pulse(Direction::East, 2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 5}));
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#"}));
}

TEST_F(MountProtocolTest, ALostStopNeverEndsTheTickOnReady)
{
    connectAndVerify();
    serial.failingCommands = {":Qw#"};
    dispatch(ControlFrame::correction(static_cast<int>(Direction::West), 2));
    pulse(Direction::North, 2);
    ticks(2);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Mw#", ":RG#", ":Mn#", ":Qw#", ":Qn#"}));
    EXPECT_EQ(statuses.codes().back(), 5);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7, 7, 5}));
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
    pulse(Direction::North, 5);
    ticks(1);
    // Four ticks were left of the old pulse; the new one must stop on its own second tick.
    pulse(Direction::South, 2);
    EXPECT_EQ(serial.commands().back(), ":Ms#");
    ticks(1);
    EXPECT_EQ(serial.commands().back(), ":Ms#");
    ticks(1);
    EXPECT_EQ(serial.commands().back(), ":Qs#");
    ticks(10);
    EXPECT_EQ(serial.commands(),
              (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Mn#", ":Qn#", ":RG#", ":Ms#", ":Qs#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7}));
}

TEST_F(MountProtocolTest, PulsesOnBothAxesRunIndependently)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 3));
    pulse(Direction::West, 2);
    ticks(3);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Mw#", ":RG#", ":Mn#", ":Qw#", ":Qn#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7, 7}));
}

TEST_F(MountProtocolTest, CorrectionsWorkDuringAndAfterAFailedHandshake)
{
    dispatch(ControlFrame::connect(5));
    dispatch(ControlFrame::correction(static_cast<int>(Direction::East), 2));
    receive("12:34.5#");
    ticks(3);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":RG#", ":Me#", ":Qe#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 5, 7}));
}

TEST_F(MountProtocolTest, ASilentMountTimesOutAtTheSixtiethTick)
{
    dispatch(ControlFrame::connect(5));
    ticks(59);
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

TEST_F(MountProtocolTest, TheHandshakeTimeOutStopsRunningPulsesBeforeClosing)
{
    dispatch(ControlFrame::connect(5));
    ticks(MountProtocol::kHandshakeTicks - 6);
    dispatch(ControlFrame::correction(static_cast<int>(Direction::North), 5));
    pulse(Direction::East, 20);
    ticks(5);
    // The north pulse was due to end in the very tick: it is stopped once, before the close.
    EXPECT_EQ(serial.calls, (Commands{"open", "reader", "pause 500", ":GS#", ":RG#", ":Me#", ":RG#", ":Mn#", ":Qe#",
                                      ":Qn#", "close"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 8, 3}));
    ticks(30);
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 8, 3}));
}

TEST_F(MountProtocolTest, AStopLostAtTheTimeOutEndsOnACommunicationError)
{
    dispatch(ControlFrame::connect(5));
    dispatch(ControlFrame::correction(static_cast<int>(Direction::South), 100));
    serial.failingCommands = {":Qs#"};
    ticks(MountProtocol::kHandshakeTicks);
    EXPECT_EQ(serial.calls.back(), "close");
    EXPECT_EQ(statuses.codes(), (Codes{1, 8, 3, 5}));
}

struct ClosingCase {
    const char* what;
    std::vector<CommandFrame> pulses;  // started before the disconnect, each 5 ticks long
    int ticksBefore;                   // ticks handled before the disconnect
    Commands stops;                    // sent between the disconnect and the close
};
void PrintTo(const ClosingCase& c, std::ostream* out) { *out << c.what; }

class ClosingWhilePulsing : public MountProtocolTest, public ::testing::WithParamInterface<ClosingCase> {};

TEST_P(ClosingWhilePulsing, DisconnectSendsTheStopsOfRunningPulsesOnly)
{
    const ClosingCase& c = GetParam();
    connectAndVerify();
    for (const CommandFrame& pulse : c.pulses) dispatch(pulse);
    ticks(c.ticksBefore);
    const size_t before = serial.calls.size();
    dispatch(ControlFrame::disconnect());
    Commands expected = c.stops;
    expected.push_back("close");
    EXPECT_EQ(Commands(serial.calls.begin() + static_cast<long>(before), serial.calls.end()), expected);
    EXPECT_EQ(statuses.codes().back(), 9);
    ticks(10);
    EXPECT_EQ(serial.calls.back(), "close");
}

INSTANTIATE_TEST_SUITE_P(
    Stops, ClosingWhilePulsing,
    ::testing::Values(
        ClosingCase{"no pulse", {}, 0, {}},
        ClosingCase{"a pulse that has ended", {ControlFrame::correction(0, 5)}, 6, {}},
        ClosingCase{"a move still waiting for its tick", {ControlFrame::correction(0, 5)}, 0, {}},
        ClosingCase{"north", {ControlFrame::correction(0, 5)}, 2, {":Qn#"}},
        ClosingCase{"south", {ControlFrame::correction(1, 5)}, 1, {":Qs#"}},
        ClosingCase{"west", {ControlFrame::correction(2, 5)}, 5, {":Qw#"}},
        ClosingCase{"east", {ControlFrame::correction(3, 5)}, 1, {":Qe#"}},
        ClosingCase{"east and west first, then north and south",
                    {ControlFrame::correction(1, 5), ControlFrame::correction(2, 5)}, 1, {":Qw#", ":Qs#"}},
        ClosingCase{"only the last direction of an axis",
                    {ControlFrame::correction(3, 5), ControlFrame::correction(2, 5)}, 1, {":Qw#"}},
        ClosingCase{"a mount-timed pulse", {ControlFrame::mountTimedCorrection(1, 500)}, 3, {":Qs#"}},
        ClosingCase{"a mount-timed pulse past its own time", {ControlFrame::mountTimedCorrection(2, 500)}, 9,
                    {":Qw#"}},
        ClosingCase{"a mount-timed pulse after its late stop", {ControlFrame::mountTimedCorrection(3, 500)}, 11,
                    {}}),
    CaseName());

TEST_F(MountProtocolTest, AStopLostAtDisconnectEndsOnACommunicationError)
{
    connectAndVerify();
    pulse(Direction::North, 5);
    serial.failingCommands = {":Qn#"};
    dispatch(ControlFrame::disconnect());
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 9, 5}));
    EXPECT_FALSE(protocol.portIsOpen());
}

TEST_F(MountProtocolTest, ShutdownStopsRunningPulsesSendsNoWaitingMoveAndReportsNothing)
{
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(Direction::East), 50));
    pulse(Direction::North, 50);
    dispatch(ControlFrame::correction(static_cast<int>(Direction::South), 50));
    protocol.stopForShutdown();
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Me#", ":RG#", ":Mn#", ":Qe#", ":Qn#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 8}));
    EXPECT_FALSE(protocol.portIsOpen());
    protocol.stopForShutdown();
    EXPECT_EQ(serial.commands().size(), 9u);
}

TEST_F(MountProtocolTest, AReconnectStartsWithFreshCountdownsAndParser)
{
    dispatch(ControlFrame::connect(5));
    pulse(Direction::North, 5);
    receive("01:2");  // half a reply, then the line is closed
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::connect(5));
    receive("01:23:45#");
    ticks(10);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":RG#", ":Mn#", ":Qn#", ":GS#", ":GR#"}));
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


struct ReversalCase {
    const char* what;
    Direction first;
    Direction second;
    int ticksBetween;
    Commands sentForSecond;  // from the second correction on
};
void PrintTo(const ReversalCase& c, std::ostream* out) { *out << c.what; }

class SecondPulseOnAnAxis : public MountProtocolTest, public ::testing::WithParamInterface<ReversalCase> {};

TEST_P(SecondPulseOnAnAxis, LetsGoOfTheOtherDirectionFirst)
{
    const ReversalCase& c = GetParam();
    connectAndVerify();
    dispatch(ControlFrame::correction(static_cast<int>(c.first), 3));
    ticks(c.ticksBetween);
    const size_t before = serial.commands().size();
    dispatch(ControlFrame::correction(static_cast<int>(c.second), 2));
    ticks(5);
    const Commands all = serial.commands();
    EXPECT_EQ(Commands(all.begin() + static_cast<long>(before), all.end()), c.sentForSecond);
}

INSTANTIATE_TEST_SUITE_P(
    Directions, SecondPulseOnAnAxis,
    ::testing::Values(
        ReversalCase{"north then south", Direction::North, Direction::South, 1, {":Qn#", ":RG#", ":Ms#", ":Qs#"}},
        ReversalCase{"east then west", Direction::East, Direction::West, 2, {":Qe#", ":RG#", ":Mw#", ":Qw#"}},
        ReversalCase{"north again", Direction::North, Direction::North, 1, {":RG#", ":Mn#", ":Qn#"}},
        ReversalCase{"south after south ran out", Direction::South, Direction::North, 4, {":RG#", ":Mn#", ":Qn#"}},
        ReversalCase{"south before north's move went out", Direction::North, Direction::South, 0,
                     {":RG#", ":Ms#", ":Qs#"}}),
    CaseName());

TEST_F(MountProtocolTest, ALostStopIsOwedAndTriedOnceASecondUntilWritten)
{
    connectAndVerify();
    serial.failingCommands = {":Qn#"};
    pulse(Direction::North, 2);
    ticks(2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 7, 5}));
    // Another axis's pulse ends while the stop is owed: not on "Ready".
    pulse(Direction::East, 2);
    ticks(2);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 7, 5, 8, 7, 5}));
    ticks(MountProtocol::kOwedStopRetryTicks - 3);
    EXPECT_EQ(statuses.codes().back(), 5);
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), ":Qn#"), 2);
    serial.failingCommands.clear();
    ticks(MountProtocol::kOwedStopRetryTicks - 1);
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), ":Qn#"), 2);
    ticks(1);
    EXPECT_EQ(serial.commands().back(), ":Qn#");
    EXPECT_EQ(statuses.codes().back(), 7);
    ticks(30);
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), ":Qn#"), 3);
}

TEST_F(MountProtocolTest, OwedStopsGoOutAtEveryClose)
{
    connectAndVerify();
    serial.failingCommands = {":Qs#"};
    pulse(Direction::South, 2);
    ticks(2);
    serial.failingCommands.clear();
    dispatch(ControlFrame::disconnect());
    EXPECT_EQ(Commands(serial.calls.end() - 2, serial.calls.end()), (Commands{":Qs#", "close"}));

    dispatch(ControlFrame::connect(5));
    serial.failingCommands = {":Qw#"};
    pulse(Direction::West, 2);
    ticks(2);
    serial.failingCommands.clear();
    protocol.stopForShutdown();
    EXPECT_EQ(serial.commands().back(), ":Qw#");
}

TEST_F(MountProtocolTest, AReversalWhoseStopIsLostSendsNoMoveAndStaysOwed)
{
    connectAndVerify();
    pulse(Direction::North, 5);
    serial.failingCommands = {":Qn#"};
    pulse(Direction::South, 5);
    EXPECT_EQ(serial.commands().back(), ":Qn#");
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 5}));
    serial.failingCommands.clear();
    ticks(MountProtocol::kOwedStopRetryTicks);
    EXPECT_EQ(Commands(serial.calls.end() - 2, serial.calls.end()), (Commands{":Qn#", ":Qn#"}));
}

// The halt stops whatever moves, not only the link's pulses, the running countdown with it, and
// a move still waiting for its tick.
TEST_F(MountProtocolTest, AHaltSendsQAndEveryStopAndEndsTheRunningPulses)
{
    connectAndVerify();
    pulse(Direction::North, 5);
    dispatch(ControlFrame::correction(static_cast<int>(Direction::East), 5));
    dispatch(ControlFrame::halt());
    ticks(10);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", ":RG#", ":Mn#", ":Q#", ":Qn#", ":Qs#", ":Qe#",
                                           ":Qw#"}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 8, 7}));
    dispatch(ControlFrame::disconnect());
    dispatch(ControlFrame::halt());
    EXPECT_EQ(statuses.codes().back(), 6);
}

const Commands kHalt{":Q#", ":Qn#", ":Qs#", ":Qe#", ":Qw#"};

// A halt that could not be written whole is owed like a stop, pulse or no pulse: tried again
// once a second, sent at every close, and written before any move.
TEST_F(MountProtocolTest, AHaltThatCannotWriteIsOwedUntilWritten)
{
    connectAndVerify();
    serial.failingCommands = {":Q#"};
    dispatch(ControlFrame::halt());
    EXPECT_EQ(statuses.codes().back(), 5);
    ticks(MountProtocol::kOwedStopRetryTicks);
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), ":Q#"), 2);
    serial.failingCommands.clear();
    ticks(MountProtocol::kOwedStopRetryTicks);
    EXPECT_EQ(Commands(serial.calls.end() - 5, serial.calls.end()), kHalt);
    EXPECT_EQ(statuses.codes().back(), 7);
    ticks(MountProtocol::kOwedStopRetryTicks);
    EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), ":Q#"), 3);

    serial.failingCommands = {":Qe#"};
    dispatch(ControlFrame::halt());
    pulse(Direction::North, 5);  // the halt still fails: no move
    EXPECT_EQ(serial.commands().back(), ":Qw#");
    EXPECT_EQ(statuses.codes().back(), 5);
    serial.failingCommands.clear();
    pulse(Direction::North, 5);
    EXPECT_EQ(Commands(serial.calls.end() - 7, serial.calls.end()),
              (Commands{":Q#", ":Qn#", ":Qs#", ":Qe#", ":Qw#", ":RG#", ":Mn#"}));

    serial.failingCommands = {":Q#"};
    dispatch(ControlFrame::halt());
    serial.failingCommands.clear();
    dispatch(ControlFrame::disconnect());
    EXPECT_EQ(Commands(serial.calls.end() - 6, serial.calls.end() - 1), kHalt);
    EXPECT_EQ(statuses.codes().back(), 9);
}

struct MountTimedCase {
    const char* what;
    Direction direction;
    int ms;
    const char* move;
    const char* stop;
    int lateStopTicks;  // from the tick that sends the move
};
void PrintTo(const MountTimedCase& c, std::ostream* out) { *out << c.what; }

class MountTimed : public MountProtocolTest, public ::testing::WithParamInterface<MountTimedCase> {};

// The mount times :Mg itself; the link sends nothing until its late stop, which ends the pulse.
TEST_P(MountTimed, SendsMgAloneThenTheStopLate)
{
    const MountTimedCase& c = GetParam();
    connectAndVerify();
    dispatch(ControlFrame::mountTimedCorrection(static_cast<int>(c.direction), c.ms));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
    ticks(1);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", c.move}));
    ticks(c.lateStopTicks - 1);
    EXPECT_EQ(serial.commands().back(), c.move);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8}));
    ticks(1);
    EXPECT_EQ(serial.commands(), (Commands{":GS#", ":GR#", ":GD#", c.move, c.stop}));
    EXPECT_EQ(statuses.codes(), (Codes{1, 7, 8, 7}));
}

INSTANTIATE_TEST_SUITE_P(
    Pulses, MountTimed,
    ::testing::Values(MountTimedCase{"north a second", Direction::North, 1000, ":Mgn1000#", ":Qn#", 15},
                      MountTimedCase{"south, short: 500 ms more", Direction::South, 200, ":Mgs0200#", ":Qs#", 7},
                      MountTimedCase{"west, half again", Direction::West, 5000, ":Mgw5000#", ":Qw#", 75},
                      MountTimedCase{"east, odd length", Direction::East, 1234, ":Mge1234#", ":Qe#", 19},
                      MountTimedCase{"the longest", Direction::North, 9999, ":Mgn9999#", ":Qn#", 150}),
    CaseName());

TEST_F(MountProtocolTest, MountTimedOddCases)
{
    connectAndVerify();
    // No time, or more than four digits hold: nothing to send.
    dispatch(ControlFrame::mountTimedCorrection(0, 0));
    dispatch(ControlFrame::mountTimedCorrection(0, 10000));
    ticks(200);
    EXPECT_EQ(serial.commands().size(), 3u);
    EXPECT_EQ(statuses.codes(), (Codes{1, 7}));

    // A link-timed pulse on the axis first lets go of the mount-timed one's other direction.
    dispatch(ControlFrame::mountTimedCorrection(static_cast<int>(Direction::North), 1000));
    ticks(1);
    pulse(Direction::South, 5);
    EXPECT_EQ(Commands(serial.calls.end() - 4, serial.calls.end()), (Commands{":Mgn1000#", ":Qn#", ":RG#", ":Ms#"}));

    // A halt ends it: no late stop follows.
    dispatch(ControlFrame::mountTimedCorrection(static_cast<int>(Direction::East), 1000));
    ticks(1);
    dispatch(ControlFrame::halt());
    const size_t afterHalt = serial.calls.size();
    ticks(MountProtocol::lateStopTicks(1000));
    EXPECT_EQ(Commands(serial.calls.begin() + static_cast<long>(afterHalt), serial.calls.end()), Commands{});
}

TEST_F(MountProtocolTest, AMountTimedPulseIsStoppedAtShutdownAndItsLostStopOwed)
{
    connectAndVerify();
    dispatch(ControlFrame::mountTimedCorrection(static_cast<int>(Direction::West), 3000));
    ticks(1);
    serial.failingCommands = {":Qw#"};
    ticks(MountProtocol::lateStopTicks(3000));
    EXPECT_EQ(statuses.codes().back(), 5);
    serial.failingCommands.clear();
    ticks(MountProtocol::kOwedStopRetryTicks);
    EXPECT_EQ(serial.commands().back(), ":Qw#");
    EXPECT_EQ(statuses.codes().back(), 7);

    dispatch(ControlFrame::mountTimedCorrection(static_cast<int>(Direction::North), 3000));
    ticks(2);
    protocol.stopForShutdown();
    EXPECT_EQ(Commands(serial.calls.end() - 2, serial.calls.end()), (Commands{":Mgn3000#", ":Qn#"}));
}

}  // namespace
