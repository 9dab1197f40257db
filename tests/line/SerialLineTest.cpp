// The link against the simulated mount over a real serial line: a pair of pseudo-terminals
// joined by socat (tests/line/with-serial-pair.sh), COM ports under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Direction.h"
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
    wrong.replacement = "12:00:00#";  // a time past 09 hours
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
    ASSERT_TRUE(mount.waitForCommands(4, kGenerousMs));

    ticks(4);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts().back(), ":Mw#");
    EXPECT_EQ(statuses.codes().size(), 3u);

    ticks(1);
    EXPECT_EQ(statusesOnceThereAre(4).back(), kReady);
    ASSERT_TRUE(mount.waitForCommands(5, kGenerousMs));
    EXPECT_EQ(commandTexts().back(), ":Qw#");
}

TEST_F(SerialLineTest, DisconnectMidPulseClosesWithoutSendingTheStop)
{
    connectThroughHandshake();
    link.sendCorrection(static_cast<int>(Direction::North), 20);
    ASSERT_TRUE(mount.waitForCommands(4, kGenerousMs));
    ticks(3);
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(4), (std::vector<int>{kConnecting, kReady, kSendingCorrection, kConnectionClosed}));

    // The pulse's remaining ticks find no port.
    ticks(30);
    platform::sleepMs(kSettleMs);
    EXPECT_EQ(commandTexts(), (std::vector<std::string>{":GS#", ":GR#", ":GD#", ":Mn#"}));
    EXPECT_EQ(statuses.codes().size(), 4u);
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
    ASSERT_TRUE(mount.waitForCommands(4, kGenerousMs));

    ASSERT_TRUE(line.cut(kGenerousMs));
    // The pulse runs out, and its stop cannot be written into the vanished line; nor can a new
    // pulse's move. Neither may end on "Ready".
    ticks(60);
    EXPECT_EQ(statusesOnceThereAre(5), (std::vector<int>{kConnecting, kReady, kSendingCorrection, kReady,
                                                         kCommunicationError}));
    link.sendCorrection(static_cast<int>(Direction::North), 2);
    EXPECT_EQ(statusesOnceThereAre(7).back(), kCommunicationError);
    link.disconnect();
    EXPECT_EQ(statusesOnceThereAre(8).back(), kConnectionClosed);

    // The link is still fit for use: the vanished device simply cannot be opened.
    link.connect(SerialLinePair::kLinkPort);
    EXPECT_EQ(statusesOnceThereAre(9).back(), kCannotOpenPort);
}

}  // namespace
