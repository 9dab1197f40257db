#include "mount_simulator/Lx200Mount.h"

#include <gtest/gtest.h>

#include "support/CaseName.h"

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
    // The alignment query is a command of one byte, but not inside another.
    mount.takeStray();
    EXPECT_EQ(feed(mount, "\x06:GS\x06#x\x06"), (std::vector<std::string>{"\x06", ":GS\x06#", "\x06"}));
    EXPECT_EQ(mount.takeStray(), "x");
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
    for (const char* known : {":GS#", ":Mn#", ":Qw#", ":Q#", ":RG#", ":U#", ":Mgs0200#", ":Mge9999#", "\x06",
                              ":Sr 12:34:56#", ":SrXX#", ":SG+05#", ":D#", ":GC#"}) {
        EXPECT_TRUE(Lx200Mount::understands(known)) << known;
    }
    for (const char* unknown : {":Mx#", ":Mgn100#", ":Mgx1000#", ":Mgn10a0#", ":GX#", ":Sr#", ":Sx12#", "\x06\x06"}) {
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

    EXPECT_EQ(answerTo("\x06", replaced), "P");

    MountBehaviour silent;
    silent.answers = MountBehaviour::Answers::Silent;
    EXPECT_EQ(answerTo(":GS#", silent), "");
    EXPECT_EQ(answerTo("\x06", silent), "");
}

// 2024-03-01 21:30:00 local time at second zero, five hours behind UTC.
MountSite eveningSite() { return MountSite(19783 * 86400.0 + 21.5 * 3600, -5); }

struct ExchangeCase {
    const char* what;
    std::vector<std::string> before;  // sent first, at second 0
    std::string command;              // then this, at second 10
    std::string answer;
};
void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.what; }

class Lx200MountExchanges : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(Lx200MountExchanges, AnswerAsAnLx200)
{
    const ExchangeCase& c = GetParam();
    Lx200Mount mount;
    mount.setSite(eveningSite());
    const MountBehaviour behaviour;
    for (const std::string& command : c.before) mount.answerTo(command, behaviour, 0.0);
    EXPECT_EQ(mount.answerTo(c.command, behaviour, 10.0), c.answer);
}

const std::string kDateAccepted = "1Updating Planetary Data#" + std::string(30, ' ') + "#";

INSTANTIATE_TEST_SUITE_P(Queries, Lx200MountExchanges, ::testing::Values(
    ExchangeCase{"alignment: polar", {}, "\x06", "P"},
    ExchangeCase{"24 hour clock", {}, ":Gc#", "24#"},
    ExchangeCase{"site name", {}, ":GM#", "Home#"},
    ExchangeCase{"sidereal tracking frequency", {}, ":GT#", "60.1#"},
    ExchangeCase{"latitude", {}, ":Gt#", "+48*51#"},
    ExchangeCase{"longitude, east negative", {}, ":Gg#", "-002*21#"},
    ExchangeCase{"hours to add for UTC", {}, ":GG#", "+05#"},
    ExchangeCase{"local time runs on", {}, ":GL#", "21:30:10#"},
    ExchangeCase{"date", {}, ":GC#", "03/01/24#"},
    ExchangeCase{"no goto under way", {}, ":D#", "#"}), CaseName());

INSTANTIATE_TEST_SUITE_P(Settings, Lx200MountExchanges, ::testing::Values(
    ExchangeCase{"target right ascension", {}, ":Sr05:06:07#", "1"},
    ExchangeCase{"short target, with a space", {}, ":Sr 05:06.5#", "1"},
    ExchangeCase{"target beyond 23 h", {}, ":Sr24:00:00#", "0"},
    ExchangeCase{"target declination", {}, ":Sd-05*06:07#", "1"},
    ExchangeCase{"target beyond the pole", {}, ":Sd+91*00#", "0"},
    ExchangeCase{"latitude set", {":St-33*52#"}, ":Gt#", "-33*52#"},
    ExchangeCase{"latitude beyond the pole", {}, ":St+90*01#", "0"},
    ExchangeCase{"longitude westward of 180", {":Sg357*39#"}, ":Gg#", "-002*21#"},
    ExchangeCase{"longitude with seconds", {":Sg 071*03:20#"}, ":Gg#", "+071*03#"},
    ExchangeCase{"UTC offset of a driver", {":SG+4.5#"}, ":GG#", "+04.5#"},
    ExchangeCase{"UTC offset keeps local time", {":SG-02#"}, ":GL#", "21:30:10#"},
    ExchangeCase{"UTC offset without sign", {}, ":SG05#", "0"},
    ExchangeCase{"local time set", {":SL23:59:55#"}, ":GC#", "03/02/24#"},
    ExchangeCase{"date set, leap day", {}, ":SC02/29/24#", kDateAccepted},
    ExchangeCase{"date set is kept", {":SC12/31/99#"}, ":GC#", "12/31/99#"},
    ExchangeCase{"no 29 February in 2023", {}, ":SC02/29/23#", "0"},
    ExchangeCase{"date of another shape", {}, ":SC2024-03-01#", "0"}), CaseName());

INSTANTIATE_TEST_SUITE_P(Gotos, Lx200MountExchanges, ::testing::Values(
    ExchangeCase{"slew possible", {}, ":MS#", "0"},
    // 10 degrees of declination at 8 degrees a second: there after 1.25 s.
    ExchangeCase{"arrived", {":Sd+22*34'56#", ":MS#"}, ":GD#", "+22*34'56#"},
    ExchangeCase{"arrived across midnight", {":Sr23:59:30#", ":MS#"}, ":GR#", "23:59:30#"},
    ExchangeCase{"halted on the way", {":Sd+89*00:00#", ":MS#", ":Q#"}, ":GD#", "+12*34'56#"},
    ExchangeCase{"synced", {":Sr01:00:00#", ":Sd-01*00:00#", ":CM#"}, ":GR#", "01:00:00#"},
    ExchangeCase{"sync leaves nothing under way", {":Sr01:00:00#", ":CM#"}, ":D#", "#"}), CaseName());

TEST(Lx200Mount, ShowsAGotoUnderWayAndThePositionItPasses)
{
    Lx200Mount mount;
    const MountBehaviour behaviour;
    mount.answerTo(":Sd+52*34'56#", behaviour, 0.0);  // 40 degrees: 5 s
    mount.answerTo(":MS#", behaviour, 0.0);
    EXPECT_EQ(mount.answerTo(":D#", behaviour, 2.5), "\x7F#");
    EXPECT_EQ(mount.answerTo(":GD#", behaviour, 2.5), "+32*34'56#");
    EXPECT_EQ(mount.answerTo(":D#", behaviour, 5.1), "#");
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
