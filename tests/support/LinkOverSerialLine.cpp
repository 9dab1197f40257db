#include "support/LinkOverSerialLine.h"

#include "link/Tick.h"
#include "platform/sleep.h"

void LinkOverSerialLine::SetUp()
{
    ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
    ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
}

void LinkOverSerialLine::TearDown()
{
    EXPECT_TRUE(link.shutDown()) << "a thread of the link did not come down";
    mount.stop();
}

std::vector<int> LinkOverSerialLine::statusesOnceThereAre(size_t count)
{
    EXPECT_TRUE(statuses.waitForCount(count, kGenerousMs)) << "only " << statuses.codes().size() << " statuses";
    return statuses.codes();
}

std::vector<std::string> LinkOverSerialLine::commandTexts() const
{
    std::vector<std::string> texts;
    for (const ReceivedCommand& command : mount.commands()) texts.push_back(command.text);
    return texts;
}

void heartbeatTicks(TelescopeControl& link, int count)
{
    for (int i = 0; i < count; ++i) {
        platform::sleepMs(kTickMs);
        link.onHeartBeat();
    }
}

void LinkOverSerialLine::ticks(int count) { heartbeatTicks(link, count); }

void LinkOverSerialLine::connectThroughHandshake()
{
    link.connect(SerialLinePair::kLinkPort);
    ASSERT_EQ(statusesOnceThereAre(2), (std::vector<int>{kConnecting, kReady}));
}
