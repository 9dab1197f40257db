// The link's observer over a real serial line with the simulated mount at the far end: it sees
// every command and every reply in the order they crossed, and the link does exactly the same
// with it as without it.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "link/Direction.h"
#include "link/StatusCode.h"
#include "link/TelescopeControl.h"
#include "link/iLinkObserver.h"
#include "support/LinkOverSerialLine.h"
#include "support/SerialLinePair.h"
#include "support/StatusRecorder.h"
#include "mount_simulator/MountSimulator.h"

namespace {

constexpr int kGenerousMs = 10000;
constexpr int kReady = static_cast<int>(StatusCode::Ready);

// Keeps what the link shows it, as one log: "> :GS#" for a command written, "< 01:2" for bytes
// received, in the order the calls came.
class RecordingObserver final : public iLinkObserver {
public:
    void commandWritten(const char* text, int length, Clock::time_point startedAt, Clock::time_point sentAt,
                        bool ok) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        log.push_back("> " + std::string(text, static_cast<size_t>(length)));
        writes.push_back({std::string(text, static_cast<size_t>(length)), startedAt, sentAt, ok});
    }

    void bytesReceived(const unsigned char* bytes, int count, Clock::time_point) override
    {
        std::lock_guard<std::mutex> hold(mutex);
        log.push_back("< " + std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count)));
        received.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    }

    struct Write {
        std::string text;
        Clock::time_point startedAt;
        Clock::time_point sentAt;
        bool ok;
    };

    std::vector<Write> allWrites() const
    {
        std::lock_guard<std::mutex> hold(mutex);
        return writes;
    }
    std::string allReceived() const
    {
        std::lock_guard<std::mutex> hold(mutex);
        return received;
    }
    std::vector<std::string> wholeLog() const
    {
        std::lock_guard<std::mutex> hold(mutex);
        return log;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::string> log;
    std::vector<Write> writes;
    std::string received;
};

class LinkObserverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
        // A mount that stays put answers both sessions alike, whatever the pulses did.
        MountBehaviour steady;
        steady.motion.guideRate = 0;
        mount.setBehaviour(steady);
    }

    void TearDown() override { mount.stop(); }

    std::vector<std::string> commandTexts() const
    {
        std::vector<std::string> texts;
        for (const ReceivedCommand& command : mount.commands()) texts.push_back(command.text);
        return texts;
    }

    // A whole session as the dialog runs one: connect through the handshake, a three-tick west
    // pulse, disconnect once the mount has had the stop (closing the port discards what has not
    // gone out yet). Returns the statuses; the link is shut down at the end.
    std::vector<int> session(iLinkObserver* observer)
    {
        const size_t commandsBefore = mount.commands().size();
        StatusRecorder statuses;
        TelescopeControl link(&statuses);
        if (observer) link.setObserver(observer);
        link.connect(SerialLinePair::kLinkPort);
        EXPECT_TRUE(statuses.waitForCount(2, kGenerousMs));
        link.sendCorrection(static_cast<int>(Direction::West), 3);
        EXPECT_TRUE(statuses.waitForCount(3, kGenerousMs));
        heartbeatTicks(link, 4);
        EXPECT_TRUE(statuses.waitForCount(4, kGenerousMs));
        EXPECT_TRUE(mount.waitForCommands(commandsBefore + 6, kGenerousMs));
        link.disconnect();
        EXPECT_TRUE(statuses.waitForCount(5, kGenerousMs));
        link.shutDown();
        return statuses.codes();
    }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
};

TEST_F(LinkObserverTest, SeesEveryCommandAndReplyInOrderAndChangesNothingTheLinkDoes)
{
    const std::vector<int> unobserved = session(nullptr);
    const std::vector<std::string> unobservedCommands = commandTexts();
    RecordingObserver observer;
    const std::vector<int> observed = session(&observer);
    std::vector<std::string> observedCommands = commandTexts();
    observedCommands.erase(observedCommands.begin(), observedCommands.begin() + unobservedCommands.size());

    const std::vector<std::string> expectedCommands{":GS#", ":GR#", ":GD#", ":RG#", ":Mw#", ":Qw#"};
    EXPECT_EQ(unobservedCommands, expectedCommands);
    EXPECT_EQ(observedCommands, expectedCommands);
    EXPECT_EQ(observed, unobserved);
    EXPECT_EQ(observed, (std::vector<int>{1, kReady, 8, kReady, 9}));

    // The observer saw what the mount received, each write whole and in time.
    std::vector<std::string> written;
    for (const RecordingObserver::Write& write : observer.allWrites()) {
        written.push_back(write.text);
        EXPECT_TRUE(write.ok) << write.text;
        EXPECT_LE(write.startedAt, write.sentAt) << write.text;
    }
    EXPECT_EQ(written, expectedCommands);
    EXPECT_EQ(observer.allReceived(), "01:23:45#02:34:56#+12*34'56#");

    // Each reply shows up after the command it answers and before the next command: the
    // observer hears of received bytes before the link acts on them.
    std::string replies;
    std::vector<std::string> order;
    for (const std::string& entry : observer.wholeLog()) {
        if (entry[0] == '>') {
            if (!replies.empty()) order.push_back("< " + replies);
            replies.clear();
            order.push_back(entry);
        } else {
            replies += entry.substr(2);
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"> :GS#", "< 01:23:45#", "> :GR#", "< 02:34:56#", "> :GD#",
                                               "< +12*34'56#", "> :RG#", "> :Mw#", "> :Qw#"}));
}

TEST_F(LinkObserverTest, IsToldOfAWriteThatFailedWhenTheLineIsGone)
{
    RecordingObserver observer;
    StatusRecorder statuses;
    TelescopeControl link(&statuses);
    link.setObserver(&observer);
    link.connect(SerialLinePair::kLinkPort);
    ASSERT_TRUE(statuses.waitForCount(2, kGenerousMs));
    ASSERT_TRUE(line.cut(kGenerousMs));

    link.sendCorrection(static_cast<int>(Direction::North), 2);
    heartbeatTicks(link, 1);
    ASSERT_TRUE(statuses.waitForCount(4, kGenerousMs));
    EXPECT_EQ(statuses.codes().back(), static_cast<int>(StatusCode::CommunicationError));
    // The guide rate's selection, the first write of the correction, fails; the move is not sent.
    const std::vector<RecordingObserver::Write> writes = observer.allWrites();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes.back().text, ":RG#");
    EXPECT_FALSE(writes.back().ok);
    link.shutDown();
}

TEST_F(LinkObserverTest, ObserverTakenAwayMidSessionHearsNothingMore)
{
    RecordingObserver observer;
    StatusRecorder statuses;
    TelescopeControl link(&statuses);
    link.setObserver(&observer);
    link.connect(SerialLinePair::kLinkPort);
    ASSERT_TRUE(statuses.waitForCount(2, kGenerousMs));
    const size_t heard = observer.wholeLog().size();

    link.setObserver(nullptr);
    link.sendCorrection(static_cast<int>(Direction::East), 1);
    ASSERT_TRUE(statuses.waitForCount(3, kGenerousMs));
    heartbeatTicks(link, 2);
    ASSERT_TRUE(statuses.waitForCount(4, kGenerousMs));
    ASSERT_TRUE(mount.waitForCommands(6, kGenerousMs));
    link.shutDown();

    EXPECT_EQ(commandTexts().back(), ":Qe#");
    EXPECT_EQ(observer.wholeLog().size(), heard);
}

}  // namespace
