// guide-link motion against the simulated mount over a real serial line, one case a quirk: the
// verdict, the direction it names, and the figures. The mount guides at a high rate so that one
// short pulse a run moves it many steps of a reading, and each case takes seconds.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "GuideLinkOutput.h"
#include "GuideLinkProcess.h"
#include "support/CaseName.h"
#include "support/SerialLinePair.h"
#include "mount_simulator/MountQuirk.h"
#include "mount_simulator/MountSimulator.h"

namespace {

using Json = nlohmann::json;

// 16 x sidereal for 1 s: about 240" of declination and 16 s of right ascension a run.
constexpr double kQuickRate = 16;
// The line times a pulse a few milliseconds apart from the mount.
constexpr double kTimingShare = 0.03;

struct MotionCase {
    const char* what;
    std::string quirk;  // "" for a good mount
    int exitCode;
    std::string outcome;
    std::vector<std::string> inSummary;
    // Each direction's rate as a share of the guide rate, where it is not 1; none at all for a
    // mount whose runs stop early.
    std::map<std::string, double> rateShares;
    bool allRuns = true;
};
void PrintTo(const MotionCase& c, std::ostream* out) { *out << c.what; }

class GuideLinkMotion : public ::testing::TestWithParam<MotionCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.present()) << "run through tests/line/with-serial-pair.sh, which makes the serial line";
        ASSERT_TRUE(mount.start()) << "the simulated mount could not open its end of the line";
    }

    void TearDown() override { mount.stop(); }

    SerialLinePair line;  // first: it names the devices the others open
    MountSimulator mount{SerialLinePair::kMountPort};
};

TEST_P(GuideLinkMotion, JudgesTheMountAndMeasuresItsMotion)
{
    const MotionCase& c = GetParam();
    MountBehaviour behaviour;
    if (!c.quirk.empty()) {
        ASSERT_TRUE(mountQuirk::apply(c.quirk, behaviour));
    }
    behaviour.motion.guideRate = kQuickRate;
    mount.setBehaviour(behaviour);

    const GuideLinkProcess::Outcome run = GuideLinkProcess::run({"--json", "motion", linkEnd(), "--pulses", "1",
                                                                 "--length", "1000", "--baseline", "1500",
                                                                 "--settle", "0"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
    const std::vector<Json> all = events(run.out);
    ASSERT_FALSE(all.empty());
    const Json& result = all.back();
    EXPECT_EQ(result["outcome"], c.outcome) << run.out;
    for (const std::string& part : c.inSummary) EXPECT_TRUE(contains(result["summary"], part));

    const std::vector<Json> baseline = eventsOfKind(all, "baseline");
    if (!baseline.empty()) {
        EXPECT_EQ(baseline[0]["tracking"].get<bool>(), c.quirk != "not-tracking");
    }

    const std::vector<Json> runs = eventsOfKind(all, "run");
    if (!c.allRuns) return;
    const std::vector<Json> backlash = eventsOfKind(all, "backlash");
    ASSERT_EQ(backlash.size(), 1u) << run.out;
    const double simulated = c.quirk == "backlash" ? mountQuirk::kBacklashArcseconds : 0.0;
    EXPECT_NEAR(backlash[0]["arcsec"].get<double>(), simulated, backlash[0]["resolution_arcsec"].get<double>());
    ASSERT_EQ(runs.size(), 6u) << run.out;
    for (const Json& each : runs) {
        if (!each["judged"].get<bool>()) continue;
        const std::string direction = each["direction"];
        const auto share = c.rateShares.find(direction);
        const double expected = kQuickRate * (share == c.rateShares.end() ? 1.0 : share->second);
        const double margin = each["rate_resolution"].get<double>() + kTimingShare * kQuickRate;
        EXPECT_NEAR(each["rate"].get<double>(), expected, margin) << each.dump();
    }
}

// Not tracking and short format are judged before any pulse, and a runaway ends the runs.
INSTANTIATE_TEST_SUITE_P(
    Quirks, GuideLinkMotion,
    ::testing::Values(
        MotionCase{"a good mount", "", 0, "pass", {"every direction moved"}, {}},
        MotionCase{"a mount that does not track", "not-tracking", 0, "warn", {"not tracking"}, {}},
        MotionCase{"a reversed declination", "reversed-dec", 0, "warn", {"declination is reversed"},
                   {{"north", -1.0}, {"south", -1.0}}},
        MotionCase{"a dead east", "dead-east", 1, "fail", {"east did not move"}, {{"east", 0.0}}},
        MotionCase{"a slow west", "slow-west", 0, "warn", {"west moved at", "of east's rate"}, {{"west", 0.5}}},
        MotionCase{"backlash", "backlash", 0, "warn", {"of declination backlash"}, {}},
        MotionCase{"a mount that ignores stops", "no-stop", 1, "fail", {"RUNAWAY", "south"}, {}, false},
        MotionCase{"a mount in the short format", "short-format", 1, "fail", {"short format"}, {}, false}),
    CaseName());

}  // namespace
