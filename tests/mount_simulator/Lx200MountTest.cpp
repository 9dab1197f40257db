#include "mount_simulator/Lx200Mount.h"

#include <gtest/gtest.h>

#include <set>
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

TEST(Lx200Mount, RunWithoutItsHashIsSetAsideAndTheNextCommandStillHeard)
{
    Lx200Mount mount;
    EXPECT_TRUE(feed(mount, ":" + std::string(60, 'A')).empty());
    EXPECT_EQ(feed(mount, ":Mn#"), (std::vector<std::string>{":Mn#"}));
    EXPECT_EQ(mount.takeStray(), ":" + std::string(Lx200Mount::kMaxCommandLength - 1, 'A') + std::string(29, 'A'));
    feed(mount, "xy:GS#z");
    EXPECT_EQ(mount.takeStray(), "xyz");
    EXPECT_EQ(mount.takeStray(), "");
}

TEST(Lx200Mount, UnderstandsOnlyItsOwnCommands)
{
    for (const char* known : {":GS#", ":Mn#", ":Qw#", ":Q#", ":RG#", ":U#", ":Mgs0200#", ":Mge9999#"}) {
        EXPECT_TRUE(Lx200Mount::understands(known)) << known;
    }
    for (const char* unknown : {":Mx#", ":Mgn100#", ":Mgx1000#", ":Mgn10a0#", ":Sr 12:34:56#", ":GX#"}) {
        EXPECT_FALSE(Lx200Mount::understands(unknown)) << unknown;
    }
}

TEST(Lx200Mount, MovesForAMountTimedPulseAndStopsByItself)
{
    Lx200Mount mount;
    const MountBehaviour behaviour;
    mount.answerTo(":Mgn2000#", behaviour, 10.0);
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 30.0), "+12*35'11#");  // 15" on, and stopped
}

TEST(Lx200Mount, AnswersAsItsBehaviourSays)
{
    Lx200Mount mount;
    const auto answerTo = [&mount](const std::string& command, const MountBehaviour& behaviour) {
        return mount.answerTo(command, behaviour, 1.0);
    };
    const MountBehaviour normal;
    EXPECT_EQ(answerTo(":GS#", normal), "01:23:45#");
    EXPECT_EQ(answerTo(":GR#", normal), "02:34:56#");
    EXPECT_EQ(answerTo(":GD#", normal), "+12*34'56#");
    EXPECT_EQ(answerTo(":Mw#", normal), "");
    EXPECT_EQ(answerTo(":Qw#", normal), "");
    // Rate selections go unanswered, as on an LX200.
    for (const char* rate : {":RG#", ":RC#", ":RM#", ":RS#"}) EXPECT_EQ(answerTo(rate, normal), "") << rate;

    MountBehaviour southern;
    southern.siderealTime = "14:00:00#";
    southern.declination = "-30*00'00#";
    EXPECT_EQ(answerTo(":GS#", southern), "14:00:00#");
    EXPECT_EQ(answerTo(":GD#", southern), "-30*00'00#");

    MountBehaviour replaced;
    replaced.answers = MountBehaviour::Answers::Replaced;
    replaced.replacement = "!";
    EXPECT_EQ(answerTo(":GD#", replaced), "!");
    EXPECT_EQ(answerTo(":Me#", replaced), "");

    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    EXPECT_EQ(answerTo(":GS#", silent), "");
}

// A position answered from where the mount is, as a pulse of 2 s at 0.5 x sidereal moves it.
TEST(Lx200Mount, AnswersThePositionItHasMovedTo)
{
    Lx200Mount mount;
    const MountBehaviour behaviour;
    mount.answerTo(":Mn#", behaviour, 10.0);
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 11.0), "+12*35'03#");  // 7.5" on
    mount.answerTo(":Qn#", behaviour, 12.0);
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 30.0), "+12*35'11#");  // 15" on, and stopped
    mount.answerTo(":Mw#", behaviour, 30.0);
    mount.answerTo(":Qw#", behaviour, 34.0);
    EXPECT_EQ(mount.answerTo(":GR#", behaviour, 40.0), "02:34:53#");  // 2 s of time back
    EXPECT_EQ(mount.position(behaviour, 40.0), "RA 02:34:53  Dec +12*35'11");
}

TEST(Lx200Mount, SwitchesToTheShortFormatAndBackOnU)
{
    Lx200Mount mount;
    MountBehaviour behaviour;
    behaviour.shortFormat = true;
    EXPECT_EQ(mount.answerTo(":GR#", behaviour, 0.0), "02:34.9#");
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 0.0), "+12*34#");
    EXPECT_EQ(mount.answerTo(":U#", behaviour, 0.0), "");
    EXPECT_EQ(mount.answerTo(":GR#", behaviour, 0.0), "02:34:56#");
    mount.answerTo(":U#", behaviour, 0.0);
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 0.0), "+12*34#");
}

TEST(Lx200Mount, ASilentMountDoesNotMove)
{
    Lx200Mount mount;
    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    mount.answerTo(":Me#", silent, 0.0);
    EXPECT_EQ(mount.position(MountBehaviour{}, 100.0), "RA 02:34:56  Dec +12*34'56");
}

}  // namespace

namespace {

TEST(Lx200Mount, ANoisyMountAnswersWithinItsNoise)
{
    Lx200Mount mount;
    MountBehaviour noisy;
    noisy.readingNoiseArcsec = 3;
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string answer = mount.answerTo(":GD#", noisy, 1.0);
        seen.insert(answer);
        EXPECT_GE(answer, "+12*34'53#");
        EXPECT_LE(answer, "+12*34'59#");
    }
    EXPECT_GE(seen.size(), 4u);
    EXPECT_EQ(mount.position(noisy, 1.0), "RA 02:34:56  Dec +12*34'56");  // people see where it points
}

}  // namespace
