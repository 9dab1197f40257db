#include "cli/MotionFigures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "cli/MotionVerdict.h"
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
    r.judged = judged;
    r.afterReversal = afterReversal;
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

struct FindingsCase {
    const char* what;
    std::vector<Run> runs;
    double creep;
    std::vector<std::pair<Finding::Kind, Direction>> found;
    const char* outcome;
};
void PrintTo(const FindingsCase& c, std::ostream* out) { *out << c.what; }

class MotionFindings : public ::testing::TestWithParam<FindingsCase> {};

TEST_P(MotionFindings, NameWhatWentWrongAndWhere)
{
    const FindingsCase& c = GetParam();
    const std::vector<Finding> findings = motion::findingsOf(c.creep, c.runs);
    std::vector<std::pair<Finding::Kind, Direction>> found;
    for (const Finding& finding : findings) found.emplace_back(finding.kind, finding.direction);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(motion::verdictOf(findings, false).outcome, c.outcome);
}

using K = Finding::Kind;
std::vector<Run> runawaySouth()
{
    std::vector<Run> all = runs();
    all.resize(1);
    all[0] = run(Direction::South, 0, -kDeclination, -40, 0, false);
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, MotionFindings,
    ::testing::Values(
        FindingsCase{"a good mount", runs(), 0, {}, "pass"},
        FindingsCase{"rates just within a quarter of each other", runs(1, 0.8), 0, {}, "pass"},
        FindingsCase{"a mount that does not track, its creep taken out", runs(1, 1, 1, 1, 0, 1.0027), 1.0027,
                     {{K::NotTracking, Direction::North}}, "warn"},
        FindingsCase{"a dead east", runs(1, 1, 0), 0, {{K::NoMotion, Direction::East}}, "fail"},
        FindingsCase{"a reversed declination, told once", runs(-1, -1), 0, {{K::Reversed, Direction::South}}, "warn"},
        FindingsCase{"a slow west", runs(1, 1, 1, 0.5), 0, {{K::Unequal, Direction::West}}, "warn"},
        FindingsCase{"backlash", runs(1, 1, 1, 1, 20), 0, {{K::Backlash, Direction::North}}, "warn"},
        FindingsCase{"backlash within the resolution", runs(1, 1, 1, 1, 2), 0, {}, "pass"},
        FindingsCase{"a runaway after the first run", runawaySouth(), 0, {{K::Runaway, Direction::South}}, "fail"}),
    CaseName());

TEST(MotionFigures, RightAscensionCountsOnTheSkyByTheCosineButItsRateByTheAxis)
{
    motion::Run east = run(Direction::East, 10, 0);
    const double sixtyDegrees = 60 * 3600;
    east.before.declination = east.after.declination = east.later.declination = sixtyDegrees;
    const motion::RunFigures figures = motion::figuresOf(east, 0);
    EXPECT_NEAR(figures.motionArcsec, 75.0, 1e-6);
    EXPECT_NEAR(figures.resolutionArcsec, 7.5, 1e-6);
    EXPECT_NEAR(figures.rate, 150.0 / (15.041 * 25), 1e-6);
    EXPECT_NEAR(figures.rateResolution, 15.0 / (15.041 * 25), 1e-6);
}

TEST(MotionFigures, BacklashIsMeasuredAgainstTheCleanRun)
{
    const std::optional<motion::Backlash> backlash = motion::backlashOf(runs(1, 1, 1, 1, 20), 0);
    ASSERT_TRUE(backlash);
    EXPECT_NEAR(backlash->arcsec, 20.0, 1e-6);
    EXPECT_GT(backlash->resolutionArcsec, 2.0);
}

TEST(MotionFigures, TheSkysTurningIsTakenOutOnlyWhenItIsClearlyThere)
{
    EXPECT_EQ(motion::creepTakenOut(0.3), 0.0);
    EXPECT_NEAR(motion::creepTakenOut(0.8), 1.0027, 1e-4);
    EXPECT_NEAR(motion::creepBetween(readingAt(0, 86399, 0), readingAt(4, 3, 0)), 1.0, 1e-9);
}

}  // namespace
