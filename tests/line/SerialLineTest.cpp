// The link against the simulated mount over a real serial line: a pair of pseudo-terminals
// joined by socat (tests/line/with-serial-pair.sh), COM ports under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Direction.h"
#include "link/MountProtocol.h"
#include "platform/sleep.h"
#include "support/LinkOverSerialLine.h"
#include "support/StatusCodes.h"

namespace {

using SerialLineTest = LinkOverSerialLine;

TEST_F(SerialLineTest, AnsweringMountPassesTheHandshakeAndASecondConnectIsRefused)
{
    connectThroughHandshake();
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#"}));

    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(3).back(), kAlreadyConnected);

    // With no pulse running, closing sends nothing.
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(4).back(), kConnectionClosed);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts().size(), 3u);
}

TEST_F(SerialLineTest, AnAfternoonSkyAndASouthernDeclinationPassTheHandshake)
{
    MountBehaviour southern;
    southern.siderealTime = "14:02:11#";
    southern.rightAscension = "23:15:40#";
    southern.declination = "-30\xDF" "05:59#";
    mount.setBehaviour(southern);
    connectThroughHandshake();
}

TEST_F(SerialLineTest, AnswersArrivingAByteAtATimeAreReassembled)
{
    MountBehaviour slow;
    slow.delayMs = 30;
    slow.byteGapMs = 15;
    mount.setBehaviour(slow);
    connectThroughHandshake();
}

TEST_F(SerialLineTest, SilentMountTimesOutOnTheSixtiethTickAndThePortIsReleased)
{
    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    mount.setBehaviour(silent);
    link.connect(SerialLinePair::kLinkPort);
    ASSERT_TRUE(mount.waitForCommands(1, kGenerousMs));

    ticks(59);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(statuses.codes(), (std::vector<int>{kConnecting}));
    ticks(1);
    EXPECT_EQ(statusesOnceThereAre(2), (std::vector<int>{kConnecting, kTimeout}));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#"}));

    // The port was closed, so it can be opened again.
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(3).back(), kConnecting);
}

TEST_F(SerialLineTest, ReplyOfTheWrongShapeIsACommunicationErrorAndThePortStaysOpen)
{
    MountBehaviour wrong;
    wrong.answers = MountBehaviour::Answers::Replaced;
    wrong.replacement = "12:34.5#";  // the short format
    mount.setBehaviour(wrong);
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(2), (std::vector<int>{kConnecting, kCommunicationError}));

    // No time-out follows the failed handshake, and the port is still the link's.
    ticks(70);
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(3).back(), kAlreadyConnected);
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(4).back(), kConnectionClosed);
}

TEST_F(SerialLineTest, WestCorrectionStopsAfterItsFifthTick)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::West), 5);
    EXPECT_EQ(statusesOnceThereAre(3).back(), kSendingCorrection);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts().size(), 3u) << "the move waits for the next tick";
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":RG#", ":Mw#"}));

    ticks(4);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts().back(), ":Mw#");
    EXPECT_EQ(statuses.codes().size(), 3u);

    ticks(1);
    EXPECT_EQ(statusesOnceThereAre(4).back(), kReady);
    ASSERT_TRUE(mount.waitForCommands(6, kGenerousMs));
    EXPECT_EQ(commandTexts().back(), ":Qw#");
}

TEST_F(SerialLineTest, DisconnectMidPulseStopsBothAxesBeforeClosing)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::North), 20);
    link.sendCorrection(static_cast<int>(Direction::East), 20);
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(7, kGenerousMs));
    ticks(2);
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(5), (std::vector<int>{kConnecting, kReady, kSendingCorrection, kSendingCorrection,
                                                         kConnectionClosed}));
    ASSERT_TRUE(mount.waitForCommands(9, kGenerousMs));

    // The pulses' remaining ticks find no port.
    ticks(30);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts(),
              (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":RG#", ":Me#", ":RG#", ":Mn#", ":Qe#", ":Qn#"}));
    EXPECT_EQ(statuses.codes().size(), 5u);
}

TEST_F(SerialLineTest, APulseEndingJustBeforeADisconnectStillDeliversItsWholeStop)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::North), 2);
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));
    // The last tick and the disconnect reach the frame reader together: the stop is written and
    // the port closed straight after.
    ticks(2);
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(5).back(), kConnectionClosed);
    ASSERT_TRUE(mount.waitForCommands(6, kGenerousMs)) << "the stop was thrown away with the port";
    EXPECT_EQ(commandTexts().back(), ":Qn#");
}

TEST_F(SerialLineTest, TheHandshakeTimeOutStopsARunningPulse)
{
    MountBehaviour silent;  // as a cable whose receive wire is broken: the mount moves, no answer arrives
    silent.answers = MountBehaviour::Answers::Silent;
    mount.setBehaviour(silent);
    link.connect(SerialLinePair::kLinkPort);
    ASSERT_TRUE(mount.waitForCommands(1, kGenerousMs));
    link.sendCorrection(static_cast<int>(Direction::South), 80);  // longer than the handshake's 60 ticks
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(3, kGenerousMs));

    ticks(59);
    EXPECT_EQ(statusesOnceThereAre(3), (std::vector<int>{kConnecting, kSendingCorrection, kTimeout}));
    ASSERT_TRUE(mount.waitForCommands(4, kGenerousMs));
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":RG#", ":Ms#", ":Qs#"}));
}

TEST_F(SerialLineTest, ShuttingDownStopsARunningPulseAndReportsNothing)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::West), 50);
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));
    EXPECT_EQ(statusesOnceThereAre(3).back(), kSendingCorrection);

    EXPECT_TRUE(link.shutDown());
    ASSERT_TRUE(mount.waitForCommands(6, kGenerousMs));
    EXPECT_EQ(commandTexts().back(), ":Qw#");
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(statuses.codes().size(), 3u);
}

TEST_F(SerialLineTest, ShuttingDownDuringAConnectsPauseSendsNothing)
{
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(1), (std::vector<int>{kConnecting}));
    EXPECT_TRUE(link.shutDown());
    // The pause would have ended by now, and the question gone out.
    platform::sleepMs(MountProtocol::kSettleAfterOpenMs + kSettleMs);
    EXPECT_TRUE(commandTexts().empty());
    EXPECT_EQ(statuses.codes().size(), 1u);
}

TEST_F(SerialLineTest, MissingPortCannotBeOpened)
{
    link.connect(SerialLinePair::kAbsentPort);
    EXPECT_EQ(statusesOnceThereAre(1), (std::vector<int>{kCannotOpenPort}));
}

TEST_F(SerialLineTest, LineThatVanishesMidSessionIsReportedAndStillClosesCleanly)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::East), 50);
    ticks(1);
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));

    ASSERT_TRUE(line.cut(kGenerousMs));
    // The pulse runs out, and its stop cannot be written into the vanished line; nor can a new
    // pulse's move. Neither may end on "Ready"; the stop, owed, is tried again a second later.
    ticks(60);
    EXPECT_EQ(statusesOnceThereAre(6), (std::vector<int>{kConnecting, kReady, kSendingCorrection, kReady,
                                                         kCommunicationError, kCommunicationError}));
    link.sendCorrection(static_cast<int>(Direction::North), 2);
    ticks(1);
    EXPECT_EQ(statusesOnceThereAre(8).back(), kCommunicationError);
    // Closing tries to stop the new pulse too, and cannot.
    link.disconnect();
    const std::vector<int> closing = statusesOnceThereAre(10);
    EXPECT_EQ(std::vector<int>(closing.end() - 2, closing.end()), (std::vector<int>{kConnectionClosed, kCommunicationError}));

    // The link is still fit for use: the vanished device simply cannot be opened.
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(11).back(), kCannotOpenPort);
}

}  // namespace
