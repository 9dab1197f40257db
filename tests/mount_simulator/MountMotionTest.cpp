#include "mount_simulator/MountMotion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mount_simulator/MountQuirk.h"
#include "lx200/PositionText.h"
#include "support/CaseName.h"

namespace {

// A pulse of 4 s at 0.5 x sidereal: 30.08" of declination, 2.0055 s of right ascension.
constexpr double kDeclinationStep = 4 * 0.5 * sky::kSiderealArcsecondsPerSecond;
constexpr double kTimeStep = 4 * 0.5 * sky::kSiderealSecondsPerSecond;

struct QuirkCase {
    const char* what;
    std::string quirk;  // "" for a good mount
    std::vector<char> pulses;  // each 4 s, then a stop, 6 s apart
    double rightAscension;     // seconds of time, 60 s after the first pulse began
    double declination;        // arcseconds, then
};
void PrintTo(const QuirkCase& c, std::ostream* out) { *out << c.what; }

class MountMotionQuirks : public ::testing::TestWithParam<QuirkCase> {};

TEST_P(MountMotionQuirks, MoveTheMountAsTheyShould)
{
    const QuirkCase& c = GetParam();
    MountBehaviour behaviour;
    if (!c.quirk.empty()) {
        ASSERT_TRUE(mountQuirk::apply(c.quirk, behaviour)) << c.quirk;
    }
    MountMotion motion;
    double at = 0;
    for (char direction : c.pulses) {
        motion.move(direction, at, behaviour.motion);
        motion.stop(direction, at + 4, behaviour.motion);
        at += 6;
    }
    EXPECT_NEAR(motion.rightAscensionOffset(60, behaviour.motion), c.rightAscension, 1e-6);
    EXPECT_NEAR(motion.declinationOffset(60), c.declination, 1e-6);
}

const double kSkyIn60s = 60 * sky::kSiderealSecondsPerSecond;

INSTANTIATE_TEST_SUITE_P(
    Mounts, MountMotionQuirks,
    ::testing::Values(
        QuirkCase{"a good mount moves each way at its guide rate", "", {'n', 'e', 'e', 's', 's', 's'},
                  2 * kTimeStep, -2 * kDeclinationStep},
        QuirkCase{"a mount that does not track lets the sky turn", "not-tracking", {'w'}, kSkyIn60s - kTimeStep, 0},
        QuirkCase{"a reversed declination goes south for north", "reversed-dec", {'n', 'n', 'e'}, kTimeStep,
                  -2 * kDeclinationStep},
        QuirkCase{"a dead east never moves east", "dead-east", {'e', 'w', 'n'}, -kTimeStep, kDeclinationStep},
        QuirkCase{"a slow west moves west at half rate", "slow-west", {'w', 'e'}, kTimeStep / 2, 0},
        QuirkCase{"backlash is lost on each reversal of the declination only", "backlash",
                  {'s', 's', 'n', 'n', 'n', 'e', 'w', 'w'}, -kTimeStep, kDeclinationStep - mountQuirk::kBacklashArcseconds},
        QuirkCase{"a mount that ignores stops runs on", "no-stop", {'n'}, 0, 60 * kDeclinationStep / 4},
        QuirkCase{"a short-format mount moves like a good one", "short-format", {'s'}, 0, -kDeclinationStep}),
    CaseName());

TEST(MountMotion, BacklashSmallerThanAPulseIsTakenUpWithinIt)
{
    MountBehaviour behaviour;
    mountQuirk::apply("backlash", behaviour);
    MountMotion motion;
    motion.move('n', 0, behaviour.motion);
    motion.stop('n', 4, behaviour.motion);
    motion.move('s', 10, behaviour.motion);
    // While the slack is taken up the axis stands still.
    EXPECT_NEAR(motion.declinationOffset(11), kDeclinationStep, 1e-6);
    motion.stop('s', 14, behaviour.motion);
    EXPECT_NEAR(motion.declinationOffset(20), mountQuirk::kBacklashArcseconds, 1e-6);
}

TEST(MountMotion, AGuideRateCanBeSetForQuickTests)
{
    MountMotion::Settings quick;
    quick.guideRate = 16;
    MountMotion motion;
    motion.move('e', 0, quick);
    motion.stop('e', 1, quick);
    EXPECT_NEAR(motion.rightAscensionOffset(2, quick), 16 * sky::kSiderealSecondsPerSecond, 1e-9);
}

TEST(MountQuirk, UnknownNamesAreRefused)
{
    MountBehaviour behaviour;
    EXPECT_FALSE(mountQuirk::apply("sticky", behaviour));
}

}  // namespace
