#include "tester/MotionFigures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tester/MotionVerdict.h"
#include "support/CaseName.h"

namespace {

using motion::Finding;
using motion::Run;

// Runs of 5 x 5 s at 0.5 x sidereal on the celestial equator: 188" each way on the declination,
// 12.53 s of right ascension.
constexpr double kDeclination = 188.0;
constexpr double kTime = 12.53;
constexpr double kStart = 36000;  // 10 h

PositionReading readingAt(double seconds, double rightAscension, double declination)
{
    const auto at = [](double s) {
        return PositionReading::Clock::time_point{} +
               std::chrono::duration_cast<PositionReading::Clock::duration>(std::chrono::duration<double>(s));
    };
    return {rightAscension, at(seconds), declination, at(seconds + 0.1)};
}

// A run that moved the mount by ra seconds of time and dec arcseconds, and by drift (on the
// same axis) after its stop; readings start at second start, and the sky turns by creep.
Run run(Direction direction, double ra, double dec, double drift = 0, double creep = 0, bool judged = true,
        bool afterReversal = false)
{
    const bool declination = direction == Direction::North || direction == Direction::South;
    Run r;
    r.direction = direction;
    r.role = afterReversal ? Run::Role::AfterReversal : judged ? Run::Role::Judged : Run::Role::TakesUpSlack;
    r.pulses = 5;
    r.lengthMs = 5000;
    r.measuredMs = 25000;
    r.before = readingAt(0, kStart, 0);
    r.after = readingAt(27, kStart + ra + 27 * creep, dec);
    r.later = readingAt(30, kStart + ra + 30 * creep + (declination ? 0 : drift), dec + (declination ? drift : 0));
    return r;
}

// South twice, north twice, east and west, as motion runs them; north after south loses backlash.
std::vector<Run> runs(double northRate = 1, double southRate = 1, double eastRate = 1, double westRate = 1,
                      double backlash = 0, double creep = 0)
{
    return {run(Direction::South, 0, -southRate * kDeclination, 0, creep, false),
            run(Direction::South, 0, -southRate * kDeclination, 0, creep),
            run(Direction::North, 0, northRate * kDeclination - backlash, 0, creep, false, true),
            run(Direction::North, 0, northRate * kDeclination, 0, creep),
            run(Direction::East, eastRate * kTime, 0, 0, creep),
            run(Direction::West, -westRate * kTime, 0, 0, creep)};
}

// A baseline that measured creep to a hundredth of a second per second, and noise either way.
motion::Baseline baselineWith(double creep, double noise = 0)
{
    motion::Baseline baseline;
    baseline.creep = creep;
    baseline.creepUncertainty = 0.01;
    baseline.noiseArcsec = noise;
    return baseline;
}

struct FindingsCase {
    const char* what;
    std::vector<Run> runs;
    double creep;
    std::vector<std::pair<Finding::Kind, Direction>> found;
    const char* outcome;
    double noise = 0;
};
void PrintTo(const FindingsCase& c, std::ostream* out) { *out << c.what; }

class MotionFindings : public ::testing::TestWithParam<FindingsCase> {};

TEST_P(MotionFindings, NameWhatWentWrongAndWhere)
{
    const FindingsCase& c = GetParam();
    const motion::Baseline baseline = baselineWith(c.creep, c.noise);
    const std::vector<Finding> findings = motion::findingsOf(baseline, c.runs);
    std::vector<std::pair<Finding::Kind, Direction>> found;
    for (const Finding& finding : findings) found.emplace_back(finding.kind, finding.direction);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(motion::verdictOf(findings, baseline, c.runs, false).outcome, c.outcome);
}

using K = Finding::Kind;
std::vector<Run> runawaySouth()
{
    std::vector<Run> all = runs();
    all.resize(1);
    all[0] = run(Direction::South, 0, -kDeclination, -40, 0, false);
    return all;
}

std::vector<Run> deadEastInNoise()
{
    std::vector<Run> all = runs(1, 1, 0);
    all[4].after.rightAscension -= 0.4;  // 6" the wrong way, within twice the noise
    return all;
}

std::vector<Run> driftInNoise(double drift)
{
    std::vector<Run> all = runs();
    all[3] = run(Direction::North, 0, kDeclination, drift);
    return all;
}

// The runs, then the same pulses mount-timed, moving the mount rate times as far, each late stop
// lateShare of the time the mount was told after its :Mg.
std::vector<Run> withMountTimed(double rate, double lateShare = 1.5)
{
    std::vector<Run> all = runs();
    for (Run timed : {run(Direction::North, 0, rate * kDeclination), run(Direction::South, 0, -rate * kDeclination),
                      run(Direction::West, -rate * kTime, 0), run(Direction::East, rate * kTime, 0)}) {
        timed.role = Run::Role::MountTimed;
        timed.timing = PulseTiming::ByMount;
        timed.lineMs = timed.measuredMs * lateShare;
        all.push_back(timed);
    }
    return all;
}

// A reversed declination whose north stop is lost: it runs on south, the way it moved.
std::vector<Run> reversedRunaway()
{
    std::vector<Run> all = runs(-1, -1);
    all[3] = run(Direction::North, 0, -kDeclination, -20);
    return all;
}

// 200 ms at 8 degrees a second.
Run slewProbe()
{
    Run probe = run(Direction::South, 0, -5760);
    probe.role = Run::Role::Probe;
    probe.pulses = 1;
    probe.lengthMs = 200;
    probe.measuredMs = 200;
    probe.later.reset();
    return probe;
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, MotionFindings,
    ::testing::Values(
        FindingsCase{"a good mount", runs(), 0, {}, "pass"},
        FindingsCase{"rates just within a quarter of each other", runs(1, 0.8), 0, {}, "pass"},
        // Beyond the margins by 0.11x: within a quarter of the faster 0.50x, not of the slower.
        FindingsCase{"0.50x and 0.375x are within a quarter of the faster", runs(1, 0.75), 0, {}, "pass"},
        FindingsCase{"a reversed declination whose stop is lost runs away", reversedRunaway(), 0,
                     {{K::Reversed, Direction::South}, {K::Runaway, Direction::North}}, "fail", 3},
        FindingsCase{"a mount that does not track, its creep taken out", runs(1, 1, 1, 1, 0, 1.0027), 1.0027,
                     {{K::Tracking, Direction::North}}, "warn"},
        FindingsCase{"a mount that tracks backwards, its creep taken out", runs(1, 1, 1, 1, 0, 2.0055), 2.0055,
                     {{K::Tracking, Direction::North}}, "warn"},
        FindingsCase{"a dead east in 3\" of noise is no reversal", deadEastInNoise(), 0, {{K::NoMotion, Direction::East}},
                     "fail", 3},
        FindingsCase{"a still east in more noise than its run could clear", runs(1, 1, 0), 0,
                     {{K::TooShort, Direction::East}}, "fail", 40},
        FindingsCase{"4\" after a stop in 3\" of noise is no runaway", driftInNoise(4), 0, {}, "pass", 3},
        FindingsCase{"20\" after a stop in 3\" of noise is", driftInNoise(20), 0, {{K::Runaway, Direction::North}},
                     "fail", 3},
        FindingsCase{"a probe at a slew rate", {slewProbe()}, 0, {{K::TooFast, Direction::South}}, "fail"},
        FindingsCase{"guide rates of 3x", runs(6, 6, 6, 6), 0,
                     {{K::UnusualRate, Direction::North}, {K::UnusualRate, Direction::East}}, "warn"},
        FindingsCase{"a dead east", runs(1, 1, 0), 0, {{K::NoMotion, Direction::East}}, "fail"},
        FindingsCase{"a reversed declination, told once", runs(-1, -1), 0, {{K::Reversed, Direction::South}}, "warn"},
        FindingsCase{"a slow west", runs(1, 1, 1, 0.5), 0, {{K::Unequal, Direction::West}}, "warn"},
        FindingsCase{"backlash", runs(1, 1, 1, 1, 20), 0, {{K::Backlash, Direction::North}}, "warn"},
        FindingsCase{"backlash within the resolution", runs(1, 1, 1, 1, 2), 0, {}, "pass"},
        FindingsCase{"a runaway after the first run", runawaySouth(), 0, {{K::Runaway, Direction::South}}, "fail"},
        FindingsCase{"mount-timed pulses that move as timed ones", withMountTimed(1), 0, {}, "pass"},
        FindingsCase{"mount-timed pulses ignored",
                     withMountTimed(0), 0, {{K::MountTimedIgnored, Direction::North}, {K::MountTimedIgnored, Direction::East}},
                     "warn"},
        FindingsCase{"mount-timed pulses at a pulse rate twice the guide rate", withMountTimed(2), 0,
                     {{K::MountTimedOwnRate, Direction::North}, {K::MountTimedOwnRate, Direction::East}}, "warn"},
        FindingsCase{"mount-timed pulses that run on until the late stop", withMountTimed(1.5), 0,
                     {{K::MountTimedUntimed, Direction::North}, {K::MountTimedUntimed, Direction::East}}, "fail"},
        FindingsCase{"mount-timed pulses ignored where noise hides the guide rate's motion", withMountTimed(0), 0,
                     {}, "pass", 40}),
    CaseName());

TEST(MotionFigures, RightAscensionCountsOnTheSkyByTheCosineButItsRateByTheAxis)
{
    motion::Run east = run(Direction::East, 10, 0);
    const double sixtyDegrees = 60 * 3600;
    east.before.declination = east.after.declination = east.later->declination = sixtyDegrees;
    motion::Baseline exact;
    const motion::RunFigures figures = motion::figuresOf(east, exact);
    EXPECT_NEAR(figures.motionArcsec, 75.0, 1e-6);
    EXPECT_NEAR(figures.marginArcsec, 7.5, 1e-6);
    EXPECT_NEAR(figures.rate, 150.0 / (15.041 * 25), 1e-6);
    EXPECT_NEAR(figures.rateMargin, 15.0 / (15.041 * 25) + 0.01 * figures.rate, 1e-6);
}

TEST(MotionFigures, BacklashIsMeasuredAgainstTheCleanRun)
{
    const std::optional<motion::Backlash> backlash = motion::backlashOf(runs(1, 1, 1, 1, 20), motion::Baseline{});
    ASSERT_TRUE(backlash);
    EXPECT_NEAR(backlash->arcsec, 20.0, 1e-6);
    EXPECT_GT(backlash->marginArcsec, 2.0);
}

// The creep is measured, not thresholded: the drive's rate is named, whatever it is.
TEST(MotionFigures, TheTrackingIsNamedFromTheCreepAsMeasured)
{
    using motion::Tracking;
    const std::pair<double, Tracking> cases[] = {{0.0, Tracking::Sidereal}, {1.0027, Tracking::Stopped},
                                                 {2.0055, Tracking::Backwards}, {0.3, Tracking::WrongRate},
                                                 {-0.2, Tracking::WrongRate}};
    for (const auto& [creep, tracking] : cases) EXPECT_EQ(motion::trackingOf(baselineWith(creep)), tracking) << creep;
    const motion::Baseline baseline = motion::baselineOf({readingAt(0, 86399, 0), readingAt(2, 0, 3), readingAt(4, 3, 1)});
    EXPECT_NEAR(baseline.creep, 1.0, 1e-9);
    EXPECT_NEAR(baseline.creepUncertainty, (1 + 2 * 1.5 * 3 / 15.0) / 4, 1e-9);
    EXPECT_EQ(baseline.noiseArcsec, 3.0);
}

// Each run goes no further than its budget at the fastest rate the last run allows, and no
// longer than asked; after a stop motion waits to see a few margins at the measured rate.
TEST(MotionFigures, RunsAreSizedFromTheMeasuredRateAndWatchedLongEnough)
{
    motion::Run probe = run(Direction::South, 0, -3);  // 200 ms at 1x: 3" +-1"
    probe.measuredMs = 200;
    const motion::Baseline baseline = baselineWith(0);
    const motion::RunFigures figures = motion::figuresOf(probe, baseline);
    const motion::RunSize size = motion::sizeRun(probe, figures, 5, 5000);
    EXPECT_TRUE(size.cut);
    EXPECT_LE(size.mostArcsec, motion::kRunBudgetArcsec);
    EXPECT_GE(size.mostArcsec, motion::kRunBudgetArcsec / 2);
    EXPECT_EQ(size.lengthMs % 100, 0);
    EXPECT_EQ(motion::sizeRun(probe, figures, 1, 1000).pulses * motion::sizeRun(probe, figures, 1, 1000).lengthMs, 1000);

    motion::Run east = run(Direction::East, 6.25, 0);  // 25 s at 0.25x
    const motion::RunFigures eastFigures = motion::figuresOf(east, baseline);
    const int settleMs = motion::settleMsAfter(east, eastFigures, baseline, 0);
    const double drift = eastFigures.rate * 15.041 * settleMs / 1000;
    EXPECT_GE(drift - 0.01 * 15 * (settleMs / 1000.0), 3 * 15.0 - 1e-6);
    EXPECT_LE(settleMs, motion::kLongestSettleMs);
}

struct ProbeSizeCase {
    const char* what;
    double movedArcsec;  // by a 200 ms probe south
    double fastestRate;  // the next run is sized for
};
void PrintTo(const ProbeSizeCase& c, std::ostream* out) { *out << c.what; }

class ProbeSizing : public ::testing::TestWithParam<ProbeSizeCase> {};

// A probe within its margin may have lost its motion to slack: the run after it is sized for
// the fastest guide rate. One that moved is sized from its own rate.
TEST_P(ProbeSizing, SizesTheNextRunForTheFastestRateItAllows)
{
    const ProbeSizeCase& c = GetParam();
    motion::Run probe = run(Direction::South, 0, -c.movedArcsec);
    probe.role = motion::Run::Role::Probe;
    probe.measuredMs = 200;
    const motion::RunFigures figures = motion::figuresOf(probe, baselineWith(0));
    EXPECT_NEAR(figures.fastestRate, c.fastestRate, 0.01);
    const motion::RunSize size = motion::sizeRun(probe, figures, 5, 5000);
    EXPECT_LE(size.mostArcsec, motion::kRunBudgetArcsec);
    EXPECT_NEAR(size.pulses * size.lengthMs * c.fastestRate * 15.041 / 1000, size.mostArcsec, 1e-6);
}

// 200 ms at 0.5x is 1.5"; the margin of a difference is 1" and 1% of the rate.
INSTANTIATE_TEST_SUITE_P(
    Probes, ProbeSizing,
    ::testing::Values(ProbeSizeCase{"a probe within its margin", 1, motion::kMaxGuideRate},
                      ProbeSizeCase{"a probe that moved 3\"", 3, 3 / (15.041 * 0.2) * 1.01 + 1 / (15.041 * 0.2)}),
    CaseName());

TEST(MotionFigures, EachRunIsSizedFromTheLastInItsOwnDirection)
{
    std::vector<motion::Run> all = runs(1, 0.5);
    const motion::Run& south = motion::lastRunIn(all, Direction::South);
    EXPECT_EQ(&south, &all[1]);
    EXPECT_EQ(&motion::lastRunIn(all, Direction::North), &all[3]);
    all.resize(4);
    EXPECT_EQ(&motion::lastRunIn(all, Direction::East), &all[3]) << "none east yet: the last of all";
}

TEST(MotionFigures, TheSideOfTheMeridianFollowsTheHourAngle)
{
    const std::pair<double, const char*> cases[] = {{2, "west of the meridian (hour angle +2.0 h)"},
                                                    {-2, "east of the meridian (hour angle -2.0 h)"}};
    for (const auto& [hours, side] : cases) {
        motion::Baseline baseline;
        baseline.hourAngle = hours * 3600;
        EXPECT_EQ(motion::sideOfMeridian(baseline), side);
    }
}

// A right ascension run so slow that the creep's uncertainty outgrows its motion could never
// show a lost stop: it gets the longest wait, not the shortest.
TEST(MotionFigures, ARightAscensionRunTooSlowToClearItsMarginGetsTheLongestSettle)
{
    motion::Baseline baseline = baselineWith(0);
    baseline.creepUncertainty = 0.05;
    const motion::Run east = run(Direction::East, 3.0, 0);  // 25 s at 0.12x: 45"
    const motion::RunFigures figures = motion::figuresOf(east, baseline);
    ASSERT_TRUE(figures.moved);
    EXPECT_EQ(motion::settleMsAfter(east, figures, baseline, 3000), motion::kLongestSettleMs);
}

}  // namespace
