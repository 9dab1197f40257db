#include "mount_simulator/Lx200Mount.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> feed(Lx200Mount& mount, const std::string& bytes)
{
    return mount.receive(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(Lx200Mount, CutsCommandsOutOfTheStreamWhateverThePieces)
{
    Lx200Mount mount;
    EXPECT_TRUE(feed(mount, "xx:G").empty());
    EXPECT_EQ(feed(mount, "S#:GR#:G"), (std::vector<std::string>{":GS#", ":GR#"}));
    EXPECT_EQ(feed(mount, "D#"), (std::vector<std::string>{":GD#"}));
    // A ':' inside a command is part of it.
    EXPECT_EQ(feed(mount, ":Sr 12:34:56#"), (std::vector<std::string>{":Sr 12:34:56#"}));
}

TEST(Lx200Mount, RunWithoutItsHashIsDroppedAndTheNextCommandStillHeard)
{
    Lx200Mount mount;
    EXPECT_TRUE(feed(mount, ":" + std::string(60, 'A')).empty());
    EXPECT_EQ(feed(mount, ":Mn#"), (std::vector<std::string>{":Mn#"}));
}

TEST(Lx200Mount, AnswersAsItsBehaviourSays)
{
    const MountBehaviour normal;
    EXPECT_EQ(Lx200Mount::answerTo(":GS#", normal), "01:23:45#");
    EXPECT_EQ(Lx200Mount::answerTo(":GR#", normal), "02:34:56#");
    EXPECT_EQ(Lx200Mount::answerTo(":GD#", normal), "+12*34'56#");
    EXPECT_EQ(Lx200Mount::answerTo(":Mw#", normal), "");
    EXPECT_EQ(Lx200Mount::answerTo(":Qw#", normal), "");
    // Rate selections go unanswered, as on an LX200.
    for (const char* rate : {":RG#", ":RC#", ":RM#", ":RS#"}) EXPECT_EQ(Lx200Mount::answerTo(rate, normal), "") << rate;

    MountBehaviour southern;
    southern.siderealTime = "14:00:00#";
    southern.declination = "-30*00'00#";
    EXPECT_EQ(Lx200Mount::answerTo(":GS#", southern), "14:00:00#");
    EXPECT_EQ(Lx200Mount::answerTo(":GD#", southern), "-30*00'00#");

    MountBehaviour replaced;
    replaced.answers = MountBehaviour::Answers::Replaced;
    replaced.replacement = "!";
    EXPECT_EQ(Lx200Mount::answerTo(":GD#", replaced), "!");
    EXPECT_EQ(Lx200Mount::answerTo(":Me#", replaced), "");

    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    EXPECT_EQ(Lx200Mount::answerTo(":GS#", silent), "");
}

}  // namespace
