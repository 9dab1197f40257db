#include "mount_simulator/MountMotion.h"

#include <gtest/gtest.h>

#include <optional>
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
        QuirkCase{"a lost right ascension stop runs on east only", "lost-ra-stop", {'e', 's'}, 60 * kTimeStep / 4,
                  -kDeclinationStep},
        QuirkCase{"a mount that tracks backwards lets the sky turn twice", "tracks-backwards", {}, 2 * kSkyIn60s, 0},
        QuirkCase{"a mount that ignores :RG# moves at 8 degrees a second", "ignores-rg", {'n', 'w'},
                  -4 * 8 * 240.0, 4 * 8 * 3600.0},
        QuirkCase{"a short-format mount moves like a good one", "short-format", {'s'}, 0, -kDeclinationStep}),
    CaseName());

struct MountTimedCase {
    const char* what;
    std::string quirk;                    // "" for a good mount
    std::optional<double> mountTimedRate;  // --mg-rate
    char direction;                       // a 4 s :Mg pulse at 0 s
    std::optional<double> stopAt;         // the direction's stop, if sent
    double rightAscension;                // seconds of time, at 60 s
    double declination;                   // arcseconds, then
};
void PrintTo(const MountTimedCase& c, std::ostream* out) { *out << c.what; }

class MountTimedPulses : public ::testing::TestWithParam<MountTimedCase> {};

TEST_P(MountTimedPulses, MoveForTheirTimeAsTheMountTakesThem)
{
    const MountTimedCase& c = GetParam();
    MountBehaviour behaviour;
    if (!c.quirk.empty()) {
        ASSERT_TRUE(mountQuirk::apply(c.quirk, behaviour)) << c.quirk;
    }
    behaviour.motion.mountTimedRate = c.mountTimedRate;
    MountMotion motion;
    motion.timedMove(c.direction, 4000, 0, behaviour.motion);
    if (c.stopAt) motion.stop(c.direction, *c.stopAt, behaviour.motion);
    EXPECT_NEAR(motion.rightAscensionOffset(60, behaviour.motion), c.rightAscension, 1e-6);
    EXPECT_NEAR(motion.declinationOffset(60), c.declination, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, MountTimedPulses,
    ::testing::Values(
        MountTimedCase{"a good mount times it at its guide rate", "", std::nullopt, 'n', std::nullopt, 0,
                       kDeclinationStep},
        MountTimedCase{"a stop after its time changes nothing", "", std::nullopt, 'w', 6.0, -kTimeStep, 0},
        MountTimedCase{"a stop within its time cuts it short", "", std::nullopt, 's', 2.0, 0, -kDeclinationStep / 2},
        MountTimedCase{"a pulse rate of its own", "", 1.0, 'e', std::nullopt, 2 * kTimeStep, 0},
        MountTimedCase{"a mount that ignores :Mg stays put", "ignores-mg", std::nullopt, 'n', std::nullopt, 0, 0},
        MountTimedCase{"an untimed :Mg runs until its stop", "mg-untimed", std::nullopt, 'n', 6.0, 0,
                       1.5 * kDeclinationStep},
        MountTimedCase{"an untimed :Mg never stopped runs on", "mg-untimed", std::nullopt, 's', std::nullopt, 0,
                       -15 * kDeclinationStep}),
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

// Each direction is a key: a stop releases only its own. On a good mount a move releases the
// opposite key; with separate keys both stay held and cancel out until one is released.
struct KeyCase {
    const char* what;
    bool separateKeys;
    std::vector<std::string> commands;  // one a second from 0: ":Mn#", ":Qs#", ":Q#"
    double declinationRate;             // afterwards, times the guide rate
};
void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.what; }

class MountMotionKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MountMotionKeys, StopOnlyTheirOwnDirection)
{
    const KeyCase& c = GetParam();
    MountMotion::Settings settings;
    settings.separateKeys = c.separateKeys;
    MountMotion motion;
    double at = 0;
    for (const std::string& command : c.commands) {
        if (command == ":Q#") motion.stopAll(at, settings);
        else if (command[1] == 'M') motion.move(command[2], at, settings);
        else motion.stop(command[2], at, settings);
        at += 1;
    }
    const double perSecond = motion.declinationOffset(at + 1) - motion.declinationOffset(at);
    EXPECT_NEAR(perSecond, c.declinationRate * 0.5 * sky::kSiderealArcsecondsPerSecond, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, MountMotionKeys,
    ::testing::Values(KeyCase{"a south stop leaves north running", false, {":Mn#", ":Qs#"}, 1},
                      KeyCase{"a north stop ends north", false, {":Mn#", ":Qn#"}, 0},
                      KeyCase{"south during north turns the axis round", false, {":Mn#", ":Ms#"}, -1},
                      KeyCase{"and its stop ends it", false, {":Mn#", ":Ms#", ":Qs#"}, 0},
                      KeyCase{"separate keys held together cancel", true, {":Mn#", ":Ms#"}, 0},
                      KeyCase{"separate keys: the south stop leaves north held", true, {":Mn#", ":Ms#", ":Qs#"}, 1},
                      KeyCase{"separate keys: north stopped first", true, {":Mn#", ":Qn#", ":Ms#", ":Qs#"}, 0},
                      KeyCase{"the halt releases every key", true, {":Mn#", ":Ms#", ":Me#", ":Q#"}, 0}),
    CaseName());

TEST(MountMotion, ADeclinationGuideRateOfItsOwn)
{
    MountMotion::Settings settings;
    settings.guideRate = 1;
    settings.declinationGuideRate = 2;
    MountMotion motion;
    motion.move('n', 0, settings);
    motion.move('w', 0, settings);
    EXPECT_NEAR(motion.declinationOffset(1), 2 * sky::kSiderealArcsecondsPerSecond, 1e-9);
    EXPECT_NEAR(motion.rightAscensionOffset(1, settings), -sky::kSiderealSecondsPerSecond, 1e-9);
}

TEST(MountQuirk, UnknownNamesAreRefused)
{
    MountBehaviour behaviour;
    EXPECT_FALSE(mountQuirk::apply("sticky", behaviour));
}

}  // namespace
