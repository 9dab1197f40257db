// guide-link motion against the simulated mount over a real serial line, one case a kind of
// mount: the verdict, the direction it names, the figures, and that the mount is left stopped.
// The mounts guide at realistic rates, quick ones where they may, and the runs are short.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>
#include <chrono>
#include <string>
#include <vector>

#include "support/GuideLinkOutput.h"
#include "support/GuideLinkProcess.h"
#include "support/CaseName.h"
#include "support/SerialLinePair.h"
#include "mount_simulator/MountQuirk.h"
#include "mount_simulator/MountSimulator.h"
#include "lx200/PositionText.h"

namespace {

using Json = nlohmann::json;

// Within the rates guiding programs expect, and quick enough for short runs.
constexpr double kQuickRate = 1.5;
// The line times a pulse a few milliseconds apart from the mount.
constexpr double kTimingShare = 0.03;

struct MotionCase {
    const char* what;
    std::string quirks;  // comma-separated; "" for a good mount
    int exitCode;
    std::string outcome;
    std::vector<std::string> inSummary;
    // Each judged direction's rate, times sidereal, where it is not kQuickRate; none at all for
    // a mount whose runs stop early.
    std::map<std::string, double> rates;
    bool allRuns = true;
    std::string tracking = "sidereal";
    double rightAscensionRate = kQuickRate;
    double declinationRate = kQuickRate;
    std::vector<std::string> options = {"--pulses", "1", "--length", "2000"};
    std::optional<double> mountTimedRate = std::nullopt;  // where :Mg moves at a pulse rate of its own
};
const std::vector<std::string> kBothKinds{"--pulses", "1", "--length", "2000", "--timed-by", "both"};
void PrintTo(const MotionCase& c, std::ostream* out) { *out << c.what; }

class GuideLinkMotion : public ::testing::TestWithParam<MotionCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
    }

    void TearDown() override { mount.stop(); }

    GuideLinkProcess::Outcome motion(const std::vector<std::string>& options)
    {
        std::vector<std::string> arguments{"--json", "motion", linkEnd(), "--baseline", "1000", "--settle", "0"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return GuideLinkProcess::run(arguments);
    }

    // The simulated mount's declination, in arcseconds.
    double declination() const
    {
        const std::string position = mount.position();
        return sky::readLongDeclination(position.substr(position.find("Dec ") + 4) + "#").value_or(1e9);
    }

    bool halted() const { return !commandBeforeTheHalt().empty(); }

    // What the mount heard last before the first halt ("" for no halt): the :GD# of the reading
    // that showed the trouble, when the halt went out at once on the same link.
    std::string commandBeforeTheHalt() const
    {
        const std::vector<ReceivedCommand> commands = mount.commands();
        for (size_t i = 1; i < commands.size(); ++i) {
            if (commands[i].text == ":Q#") return commands[i - 1].text;
        }
        return "";
    }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
};

TEST_P(GuideLinkMotion, JudgesTheMountAndMeasuresItsMotion)
{
    const MotionCase& c = GetParam();
    MountBehaviour behaviour;
    std::stringstream quirks(c.quirks);
    for (std::string quirk; std::getline(quirks, quirk, ',');) ASSERT_TRUE(mountQuirk::apply(quirk, behaviour));
    behaviour.motion.guideRate = c.rightAscensionRate;
    behaviour.motion.declinationGuideRate = c.declinationRate;
    behaviour.motion.mountTimedRate = c.mountTimedRate;
    mount.setBehaviour(behaviour);

    const GuideLinkProcess::Outcome run = motion(c.options);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    const Json& result = all.back();
    ASSERT_EQ(result.value("event", ""), "result") << run.out;
    EXPECT_EQ(result["outcome"], c.outcome) << run.out;
    for (const std::string& part : c.inSummary) EXPECT_TRUE(contains(result["summary"], part));

    // Whatever happened, the mount is left standing: halted, or every run's stop obeyed.
    const std::vector<Json> halt = eventsOfKind(all, "halt");
    if (!halt.empty()) {
        // Only a mount that ignores the halt too is left moving, and motion never calls it stopped:
        // on a busy machine the readings after the halt may leave it unknown.
        if (c.quirks == "no-stop") {
            EXPECT_NE(halt[0]["stopped"], Json(true)) << run.out;
        } else {
            EXPECT_EQ(halt[0]["stopped"], Json(true)) << run.out;
        }
        EXPECT_EQ(commandBeforeTheHalt(), ":GD#") << "halted only after a reconnect";
    }
    const std::vector<Json> runs = eventsOfKind(all, "run");
    for (const Json& each : runs) EXPECT_TRUE(halt.size() == 1 || !each["runaway"].get<bool>()) << each.dump();
    if (!c.allRuns) return;

    const std::vector<Json> creep = eventsOfKind(all, "creep");
    ASSERT_EQ(creep.size(), 1u) << run.out;
    EXPECT_EQ(creep[0]["tracking"], c.tracking);
    const std::vector<Json> backlash = eventsOfKind(all, "backlash");
    ASSERT_EQ(backlash.size(), 1u) << run.out;
    const double simulated =
        c.quirks.find("backlash") != std::string::npos ? mountQuirk::kBacklashArcseconds : 0.0;
    EXPECT_NEAR(backlash[0]["arcsec"].get<double>(), simulated, backlash[0]["margin_arcsec"].get<double>());
    int judged = 0;
    for (const Json& each : runs) {
        if (!each["judged"].get<bool>()) continue;
        ++judged;
        const std::string direction = each["direction"];
        const bool onDeclination = direction == "north" || direction == "south";
        const auto given = c.rates.find(direction);
        const double expected = given != c.rates.end() ? given->second
                                                       : onDeclination ? c.declinationRate : c.rightAscensionRate;
        const double margin = each["rate_margin"].get<double>() + kTimingShare * std::fabs(expected);
        EXPECT_NEAR(each["rate"].get<double>(), expected, margin) << each.dump();
    }
    EXPECT_EQ(judged, 4) << run.out;
    if (c.mountTimedRate) {
        const std::vector<Json> rates = eventsOfKind(all, "rates");
        ASSERT_EQ(rates.size(), 1u) << run.out;
        const Json& timed = rates[0]["mount_timed"]["declination"];
        EXPECT_NEAR(timed["rate"].get<double>(), *c.mountTimedRate,
                    timed["margin"].get<double>() + kTimingShare * *c.mountTimedRate) << rates[0].dump();
    }
}

// Quirks that warn are paired, to keep the table quick; a mount that stops early ends it there.
INSTANTIATE_TEST_SUITE_P(
    Mounts, GuideLinkMotion,
    ::testing::Values(
        MotionCase{"a good mount with noisy readings, its declination twice as quick", "noisy", 0, "pass",
                   {"every direction moved", "declination", "right ascension"}, {}, true, "sidereal", 1.0, 2.0,
                   {"--pulses", "1", "--length", "5000"}},
        MotionCase{"a mount not tracking, its declination reversed", "not-tracking,reversed-dec", 0, "warn",
                   {"not tracking", "declination is reversed", "of the meridian"},
                   {{"north", -kQuickRate}, {"south", -kQuickRate}}, true, "stopped"},
        MotionCase{"a mount tracking backwards, with backlash", "tracks-backwards,backlash", 0, "warn",
                   {"tracks backwards", "of declination backlash"}, {}, true, "backwards"},
        MotionCase{"a dead east with noisy readings", "dead-east,noisy", 1, "fail", {"east"},
                   {{"east", 0.0}}, true, "sidereal", kQuickRate, kQuickRate, {"--pulses", "1", "--length", "3000"}},
        MotionCase{"a slow west", "slow-west", 0, "warn", {"west moved at", "of east's rate"}, {{"west", 1.0}}, true,
                   "sidereal", 2.0, kQuickRate, {"--pulses", "2", "--length", "5000"}},
        // Seen moving on after its probe, or read later on a busy machine as a mount at a slew rate.
        MotionCase{"a mount that ignores stops and the halt", "no-stop", 1, "fail", {"south"}, {}, false,
                   "sidereal", kQuickRate, kQuickRate, {"--pulses", "1", "--length", "1000"}},
        MotionCase{"a lost right ascension stop at a low guide rate", "lost-ra-stop", 1, "fail", {"RUNAWAY", "east"},
                   {}, false, "sidereal", 0.25, 0.25, {"--pulses", "2", "--length", "5000"}},
        MotionCase{"a mount in the short format", "short-format", 1, "fail", {"short format"}, {}, false},
        MotionCase{"a mount that times :Mg", "", 0, "pass",
                   {"mount-timed pulses move the mount as timed ones do: declination", "right ascension"}, {}, true, "sidereal",
                   kQuickRate, kQuickRate, kBothKinds},
        MotionCase{"a mount that ignores :Mg", "ignores-mg", 0, "warn", {"mount-timed pulses (:Mg) did not move"}, {},
                   true, "sidereal", kQuickRate, kQuickRate, kBothKinds},
        MotionCase{"a pulse rate of 1.0x beside a declination guide rate of 0.5x", "", 0, "warn",
                   {"the declination moves at", "for mount-timed pulses (:Mg), at", "for timed ones"}, {}, true,
                   "sidereal", kQuickRate, 0.5, kBothKinds, 1.0},
        MotionCase{"a mount that takes :Mg as a plain move", "mg-untimed", 1, "fail",
                   {"takes :Mg as a move and does not time it"}, {}, true, "sidereal", kQuickRate, kQuickRate,
                   kBothKinds},
        MotionCase{"mount-timed only, on a mount that ignores :Mg", "ignores-mg", 1, "fail",
                   {"north did not move", "east did not move"}, {}, false, "sidereal", kQuickRate, kQuickRate,
                   {"--pulses", "1", "--length", "2000", "--timed-by", "mount"}}),
    CaseName());

// A mount that never leaves its slew rate is stopped after its first probe, a short way off.
TEST_F(GuideLinkMotion, AMountAtItsSlewRateIsStoppedWithinTwoAndAHalfDegrees)
{
    if (!line.present()) return;
    MountBehaviour behaviour;
    ASSERT_TRUE(mountQuirk::apply("ignores-rg", behaviour));
    behaviour.motion.slewDegreesPerSecond = 8;
    mount.setBehaviour(behaviour);
    const double start = declination();

    const GuideLinkProcess::Outcome run = motion({});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(contains(all.back()["summary"], "a slew rate")) << run.out;
    EXPECT_LE(std::fabs(declination() - start), 2.5 * 3600) << mount.position();
    // One probe, and nothing after it but the halt and the stops.
    int moves = 0;
    for (const ReceivedCommand& command : mount.commands()) moves += command.text.rfind(":M", 0) == 0 ? 1 : 0;
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(commandBeforeTheHalt(), ":GD#") << "halted only after a reconnect";
    const std::string left = mount.position();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(mount.position(), left);
}

// A reading that fails mid-run still ends in the halt, and says the mount could not be seen.
TEST_F(GuideLinkMotion, AMountThatFallsSilentMidRunIsHalted)
{
    if (!line.present()) return;
    MountBehaviour behaviour;
    behaviour.motion.guideRate = kQuickRate;
    mount.setBehaviour(behaviour);
    GuideLinkProcess process({"--json", "motion", linkEnd(), "--baseline", "0", "--pulses", "1", "--length", "1000"});
    ASSERT_TRUE(process.started());
    const auto firstRun = [this] {
        for (const ReceivedCommand& command : mount.commands()) {
            if (command.text == ":Mn#") return true;
        }
        return false;
    };
    for (int waited = 0; !firstRun() && waited < 60000; waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    behaviour.answers = MountBehaviour::Answers::Silent;
    mount.setBehaviour(behaviour);
    ASSERT_TRUE(process.finish(180000));
    EXPECT_EQ(process.exitCode(), 1) << process.out();
    const std::vector<Json> all = events(process.out());
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(contains(all.back()["summary"], "could not be read")) << process.out();
    EXPECT_TRUE(contains(all.back().dump(), "handset")) << process.out();
    EXPECT_TRUE(halted());
}

// At the pole a run cannot show the right ascension: nothing is sent and nothing passes.
TEST_F(GuideLinkMotion, AMountAtThePoleIsNotMeasured)
{
    if (!line.present()) return;
    MountBehaviour behaviour;
    behaviour.declination = "+85*00'00#";
    mount.setBehaviour(behaviour);
    const GuideLinkProcess::Outcome run = motion({});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    EXPECT_TRUE(contains(all.back()["summary"], "5.0 degrees from the pole")) << run.out;
    for (const ReceivedCommand& command : mount.commands()) EXPECT_NE(command.text.rfind(":M", 0), 0u) << command.text;
}

}  // namespace
