#include "cli/MotionFigures.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "lx200/PositionText.h"

namespace motion {

namespace {

// A run's line timing may be off by a few milliseconds at each end: about 1% of a short run.
constexpr double kTimingShare = 0.01;

bool onDeclination(Direction direction) { return direction == Direction::North || direction == Direction::South; }

int expectedWay(Direction direction) { return direction == Direction::North || direction == Direction::East ? 1 : -1; }

double secondsBetween(PositionReading::Clock::time_point from, PositionReading::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

double cosineOf(const PositionReading& reading)
{
    constexpr double kRadiansPerArcsecond = 3.14159265358979323846 / (180.0 * sky::kArcsecondsPerDegree);
    return std::cos(reading.declination * kRadiansPerArcsecond);
}

// One step of a reading on the sky, in arcseconds.
double stepOf(const PositionReading& reading, bool declination)
{
    return declination ? 1.0 : sky::kArcsecondsPerSecondOfTime * cosineOf(reading);
}

// How far the axis moved on the sky from one reading to the next, with the creep taken out.
double change(const PositionReading& from, const PositionReading& to, bool declination, double creep)
{
    if (declination) return to.declination - from.declination;
    const double seconds = sky::timeBetween(from.rightAscension, to.rightAscension) -
                           creep * secondsBetween(from.rightAscensionAt, to.rightAscensionAt);
    return seconds * sky::kArcsecondsPerSecondOfTime * cosineOf(from);
}

const Run* findRun(const std::vector<Run>& runs, Direction direction, bool judged, bool afterReversal)
{
    for (const Run& run : runs) {
        if (run.direction == direction && run.judged == judged && run.afterReversal == afterReversal) return &run;
    }
    return nullptr;
}

}  // namespace

double creepBetween(const PositionReading& first, const PositionReading& second)
{
    const double seconds = secondsBetween(first.rightAscensionAt, second.rightAscensionAt);
    return seconds > 0 ? sky::timeBetween(first.rightAscension, second.rightAscension) / seconds : 0.0;
}

double creepTakenOut(double creep) { return creep > kNotTrackingCreep ? sky::kSiderealSecondsPerSecond : 0.0; }

RunFigures figuresOf(const Run& run, double creepTakenOut)
{
    const bool declination = onDeclination(run.direction);
    const int way = expectedWay(run.direction);
    const double step = stepOf(run.before, declination);
    const double siderealOnSky = sky::kSiderealArcsecondsPerSecond * (declination ? 1.0 : cosineOf(run.before));
    const double seconds = run.measuredMs / 1000.0;

    RunFigures figures;
    figures.motionArcsec = way * change(run.before, run.after, declination, creepTakenOut);
    figures.resolutionArcsec = step;
    if (seconds > 0) {
        figures.rate = figures.motionArcsec / (siderealOnSky * seconds);
        figures.rateResolution = step / (siderealOnSky * seconds);
    }
    figures.afterStopArcsec = way * change(run.after, run.later, declination, creepTakenOut);
    figures.moved = std::fabs(figures.motionArcsec) > kMovedSteps * step;
    figures.expectedWay = figures.motionArcsec > 0;
    figures.runaway = std::fabs(figures.afterStopArcsec) > kMovedSteps * step;
    return figures;
}

std::optional<Backlash> backlashOf(const std::vector<Run>& runs, double creepTakenOut)
{
    const Run* clean = findRun(runs, Direction::North, true, false);
    const Run* reversed = findRun(runs, Direction::North, false, true);
    if (!clean || !reversed || clean->measuredMs <= 0) return std::nullopt;
    const RunFigures cleanFigures = figuresOf(*clean, creepTakenOut);
    const RunFigures reversedFigures = figuresOf(*reversed, creepTakenOut);
    if (!cleanFigures.moved) return std::nullopt;
    // The same pulses, timed a little differently on the line, would have moved the clean run this far.
    const double expected = std::fabs(cleanFigures.motionArcsec) * reversed->measuredMs / clean->measuredMs;
    Backlash backlash;
    backlash.arcsec = expected - std::fabs(reversedFigures.motionArcsec);
    backlash.resolutionArcsec =
        cleanFigures.resolutionArcsec + reversedFigures.resolutionArcsec + kTimingShare * expected;
    return backlash;
}

std::vector<Finding> findingsOf(double creep, const std::vector<Run>& runs)
{
    std::vector<Finding> findings;
    const double taken = creepTakenOut(creep);
    if (taken > 0) findings.push_back({Finding::Kind::NotTracking, Direction::North, Direction::North, creep});
    bool reversedShown[2] = {false, false};  // one finding an axis: both its directions are reversed alike
    for (const Run& run : runs) {
        const RunFigures figures = figuresOf(run, taken);
        if (figures.runaway) {
            findings.push_back({Finding::Kind::Runaway, run.direction, run.direction, figures.afterStopArcsec});
        }
        if (!run.judged) continue;
        bool& reversedOnAxis = reversedShown[onDeclination(run.direction) ? 0 : 1];
        if (!figures.moved) {
            findings.push_back({Finding::Kind::NoMotion, run.direction, run.direction, 0});
        } else if (!figures.expectedWay && !reversedOnAxis) {
            findings.push_back({Finding::Kind::Reversed, run.direction, run.direction, figures.motionArcsec});
            reversedOnAxis = true;
        }
    }
    for (const auto& [one, opposite] : {std::pair{Direction::North, Direction::South},
                                        std::pair{Direction::East, Direction::West}}) {
        const Run* first = findRun(runs, one, true, false);
        const Run* second = findRun(runs, opposite, true, false);
        if (!first || !second) continue;
        const RunFigures a = figuresOf(*first, taken);
        const RunFigures b = figuresOf(*second, taken);
        if (!a.moved || !b.moved) continue;
        const double rateA = std::fabs(a.rate);
        const double rateB = std::fabs(b.rate);
        const double beyondResolution = std::fabs(rateA - rateB) - a.rateResolution - b.rateResolution;
        if (beyondResolution <= kUnequalShare * std::max(rateA, rateB)) continue;
        const bool firstSlower = rateA < rateB;
        findings.push_back({Finding::Kind::Unequal, firstSlower ? one : opposite, firstSlower ? opposite : one,
                            std::min(rateA, rateB) / std::max(rateA, rateB)});
    }
    const std::optional<Backlash> backlash = backlashOf(runs, taken);
    if (backlash && backlash->arcsec > backlash->resolutionArcsec) {
        findings.push_back({Finding::Kind::Backlash, Direction::North, Direction::South, backlash->arcsec});
    }
    return findings;
}

}  // namespace motion
