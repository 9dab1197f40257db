#include "tester/MotionFigures.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "link/Tick.h"
#include "lx200/PositionText.h"

namespace motion {

namespace {

// The spread of a few readings of a still mount understates how far its noise can reach.
constexpr double kNoiseAllowance = 1.5;
// A run's line timing may be off by a few milliseconds at each end: about 1% of a short run.
constexpr double kTimingShare = 0.01;

int expectedWay(Direction direction) { return direction == Direction::North || direction == Direction::East ? 1 : -1; }

double secondsBetween(PositionReading::Clock::time_point from, PositionReading::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

double cosineOf(double declinationArcsec)
{
    constexpr double kRadiansPerArcsecond = 3.14159265358979323846 / (180.0 * sky::kArcsecondsPerDegree);
    return std::cos(declinationArcsec * kRadiansPerArcsecond);
}

// One arcsecond of the sky, in the axis's own units times the cosine: what a step is worth.
double onSky(const PositionReading& reading, bool declination)
{
    return declination ? 1.0 : sky::kArcsecondsPerSecondOfTime * cosineOf(reading.declination);
}

// The sidereal rate of the axis on the sky, arcseconds per second.
double siderealOnSky(const PositionReading& reading, bool declination)
{
    return sky::kSiderealArcsecondsPerSecond * (declination ? 1.0 : cosineOf(reading.declination));
}

// How far the axis moved on the sky from one reading to the next, with the creep taken out.
double change(const PositionReading& from, const PositionReading& to, bool declination, const Baseline& baseline)
{
    if (declination) return to.declination - from.declination;
    const double seconds = sky::timeBetween(from.rightAscension, to.rightAscension) -
                           baseline.creep * secondsBetween(from.rightAscensionAt, to.rightAscensionAt);
    return seconds * onSky(from, false);
}

// How far off a difference of two readings may be: a step either way, the noise of both, and
// for the right ascension the creep's uncertainty over the time between them.
double marginBetween(const PositionReading& from, const PositionReading& to, bool declination, const Baseline& baseline)
{
    const double noise = 2 * kNoiseAllowance * baseline.noiseArcsec;
    if (declination) return 1.0 + noise;
    const double creep = baseline.creepUncertainty * secondsBetween(from.rightAscensionAt, to.rightAscensionAt);
    return (1.0 + creep) * onSky(from, false) + noise;
}

const Run* findRun(const std::vector<Run>& runs, Direction direction, Run::Role role)
{
    for (const Run& run : runs) {
        if (run.direction == direction && run.role == role) return &run;
    }
    return nullptr;
}

}  // namespace

bool onDeclination(Direction direction) { return direction == Direction::North || direction == Direction::South; }

double Baseline::trackingRate() const { return 1 - creep / sky::kSiderealSecondsPerSecond; }

double Baseline::trackingUncertainty() const { return creepUncertainty / sky::kSiderealSecondsPerSecond; }

Baseline baselineOf(const std::vector<PositionReading>& readings)
{
    Baseline baseline;
    const PositionReading& first = readings.front();
    const PositionReading& last = readings.back();
    double lowest = first.declination;
    double highest = first.declination;
    for (const PositionReading& reading : readings) {
        lowest = std::min(lowest, reading.declination);
        highest = std::max(highest, reading.declination);
    }
    baseline.noiseArcsec = highest - lowest;
    baseline = withCreepBetween(baseline, first, last);
    baseline.hourAngle = last.hourAngle();
    baseline.declination = last.declination;
    return baseline;
}

Baseline withCreepBetween(const Baseline& baseline, const PositionReading& first, const PositionReading& last)
{
    Baseline refined = baseline;
    const double seconds = secondsBetween(first.rightAscensionAt, last.rightAscensionAt);
    if (seconds <= 0) {
        refined.creepUncertainty = std::numeric_limits<double>::infinity();
        return refined;
    }
    refined.creep = sky::timeBetween(first.rightAscension, last.rightAscension) / seconds;
    const double noiseInTime = 2 * kNoiseAllowance * baseline.noiseArcsec / onSky(last, false);
    refined.creepUncertainty = (1.0 + noiseInTime) / seconds;
    return refined;
}

Tracking trackingOf(const Baseline& baseline)
{
    const double rate = baseline.trackingRate();
    const double uncertainty = baseline.trackingUncertainty();
    // The nearest of the three a drive can be set to, if the measurement cannot tell it from it.
    const double nearest = std::max(-1.0, std::min(1.0, std::round(rate)));
    if (std::fabs(rate - nearest) > uncertainty) return Tracking::WrongRate;
    if (nearest > 0) return Tracking::Sidereal;
    return nearest < 0 ? Tracking::Backwards : Tracking::Stopped;
}

RunFigures figuresOf(const Run& run, const Baseline& baseline)
{
    const bool declination = onDeclination(run.direction);
    const int way = expectedWay(run.direction);
    const double sidereal = siderealOnSky(run.before, declination);
    const double seconds = std::max(run.measuredMs, 1.0) / 1000.0;

    RunFigures figures;
    figures.motionArcsec = way * change(run.before, run.after, declination, baseline);
    figures.marginArcsec = marginBetween(run.before, run.after, declination, baseline);
    figures.rate = figures.motionArcsec / (sidereal * seconds);
    figures.rateMargin = figures.marginArcsec / (sidereal * seconds) + kTimingShare * std::fabs(figures.rate);
    figures.moved = std::fabs(figures.motionArcsec) > figures.marginArcsec;
    figures.expectedWay = figures.motionArcsec > 0;
    figures.tooFast = std::fabs(figures.rate) - figures.rateMargin > kMaxGuideRate;
    // A probe that did not clearly move bounds little: the slack of a reversal may have eaten
    // it. The run after it is sized for the fastest rate a probe could miss.
    figures.fastestRate = std::fabs(figures.rate) + figures.rateMargin;
    if (!figures.moved && run.role == Run::Role::Probe) figures.fastestRate = std::max(figures.fastestRate, kMaxGuideRate);
    if (run.later) {
        figures.afterStopArcsec = way * change(run.after, *run.later, declination, baseline);
        figures.runaway = std::fabs(figures.afterStopArcsec) > marginBetween(run.after, *run.later, declination, baseline);
    }
    return figures;
}

namespace {

// How long a mount still moving at rate on the axis takes to move kSettleMargins margins away
// from at: the margin of the right ascension grows with the wait, so a slow drift may never show.
double msToShowMotion(const PositionReading& at, bool declination, double rate, const Baseline& baseline)
{
    const double speed = std::fabs(rate) * siderealOnSky(at, declination);
    const double still = marginBetween(at, at, declination, baseline);
    const double growth = declination ? 0.0 : baseline.creepUncertainty * onSky(at, false);
    const double gain = speed - kSettleMargins * growth;
    return gain <= 0 ? std::numeric_limits<double>::infinity() : 1000 * kSettleMargins * still / gain;
}

int clampedSettleMs(double ms, int minimumMs)
{
    return std::max(minimumMs, static_cast<int>(std::min<double>(ms, kLongestSettleMs)));
}

}  // namespace

int settleMsAfter(const Run& run, const RunFigures& figures, const Baseline& baseline, int minimumMs)
{
    // A stop that was lost leaves the mount moving at the rate the run showed.
    if (!figures.moved) return minimumMs;
    return clampedSettleMs(msToShowMotion(run.after, onDeclination(run.direction), figures.rate, baseline), minimumMs);
}

int haltWaitMs(const PositionReading& at, const Baseline& baseline, int minimumMs)
{
    const double slower = std::max(msToShowMotion(at, true, kSlowestDriftAfterHalt, baseline),
                                   msToShowMotion(at, false, kSlowestDriftAfterHalt, baseline));
    return clampedSettleMs(slower, minimumMs);
}

RunSize sizeRun(const Run& last, const RunFigures& figures, int pulses, int lengthMs)
{
    const double sidereal = siderealOnSky(last.after, onDeclination(last.direction));
    const double fastestOnSky = figures.fastestRate * sidereal;
    const double allowedMs = 1000 * kRunBudgetArcsec / fastestOnSky;
    RunSize size{pulses, lengthMs, 0, false};
    if (pulses * static_cast<double>(lengthMs) > allowedMs) {
        size.cut = true;
        const int wholeTicks = static_cast<int>(std::min<double>(lengthMs, allowedMs) / kTickMs) * kTickMs;
        size.lengthMs = std::max(kProbeMs, wholeTicks);
        size.pulses = std::max(1, static_cast<int>(allowedMs / size.lengthMs));
    }
    size.mostArcsec = fastestOnSky * size.pulses * size.lengthMs / 1000.0;
    return size;
}

const Run& lastRunIn(const std::vector<Run>& runs, Direction direction)
{
    const auto last = std::find_if(runs.rbegin(), runs.rend(), [direction](const Run& run) {
        return run.direction == direction;
    });
    return last != runs.rend() ? *last : runs.back();
}

bool stoodStill(const PositionReading& from, const PositionReading& to, const Baseline& baseline)
{
    for (const bool declination : {true, false}) {
        if (std::fabs(change(from, to, declination, baseline)) > marginBetween(from, to, declination, baseline)) {
            return false;
        }
    }
    return true;
}

double distanceArcsec(const PositionReading& from, const PositionReading& to, const Baseline& baseline)
{
    return std::hypot(change(from, to, true, baseline), change(from, to, false, baseline));
}

std::optional<Backlash> backlashOf(const std::vector<Run>& runs, const Baseline& baseline)
{
    const Run* clean = findRun(runs, Direction::North, Run::Role::Judged);
    const Run* reversed = findRun(runs, Direction::North, Run::Role::AfterReversal);
    if (!clean || !reversed || clean->measuredMs <= 0) return std::nullopt;
    const RunFigures cleanFigures = figuresOf(*clean, baseline);
    const RunFigures reversedFigures = figuresOf(*reversed, baseline);
    if (!cleanFigures.moved) return std::nullopt;
    // The same pulses, timed a little differently on the line, would have moved the clean run this far.
    const double scale = reversed->measuredMs / clean->measuredMs;
    const double expected = std::fabs(cleanFigures.motionArcsec) * scale;
    Backlash backlash;
    backlash.arcsec = expected - std::fabs(reversedFigures.motionArcsec);
    backlash.marginArcsec = cleanFigures.marginArcsec * scale + reversedFigures.marginArcsec + kTimingShare * expected;
    return backlash;
}

std::optional<AxisRate> axisRateOf(const std::vector<Run>& runs, const Baseline& baseline, bool declination,
                                   Run::Role role)
{
    AxisRate sum;
    int count = 0;
    for (const Run& run : runs) {
        if (run.role != role || onDeclination(run.direction) != declination) continue;
        const RunFigures figures = figuresOf(run, baseline);
        if (!figures.moved) continue;
        sum.rate += std::fabs(figures.rate);
        sum.margin += figures.rateMargin;
        ++count;
    }
    if (count == 0) return std::nullopt;
    return AxisRate{sum.rate / count, sum.margin / count};
}

namespace {

// How far run should have moved at the rate of the opposite direction, where that moved; 0
// where it did not. The other axis predicts nothing: many mounts guide it at another rate.
double predictedArcsec(const Run& run, const std::vector<Run>& runs, const Baseline& baseline)
{
    const bool declination = onDeclination(run.direction);
    double rate = 0;
    for (const Run& other : runs) {
        if (!other.judged() || other.direction == run.direction || onDeclination(other.direction) != declination) continue;
        const RunFigures figures = figuresOf(other, baseline);
        if (figures.moved) rate = std::fabs(figures.rate);
    }
    return rate * siderealOnSky(run.before, declination) * run.measuredMs / 1000.0;
}

// The time the mount was told over the time to each late stop, in the axis's mount-timed runs.
double toldShareOfLine(const std::vector<Run>& runs, bool declination)
{
    double told = 0;
    double line = 0;
    for (const Run& run : runs) {
        if (run.role != Run::Role::MountTimed || onDeclination(run.direction) != declination) continue;
        told += run.measuredMs;
        line += run.lineMs;
    }
    return line > 0 ? told / line : 1.0;
}

// How the axis's mount-timed runs moved it beside its judged runs; nothing where they match.
std::optional<Finding> mountTimedFindingOf(const std::vector<Run>& runs, const Baseline& baseline,
                                           Direction direction)
{
    const bool declination = onDeclination(direction);
    const std::optional<AxisRate> guided = axisRateOf(runs, baseline, declination);
    if (!guided) return std::nullopt;
    const std::optional<AxisRate> timed = axisRateOf(runs, baseline, declination, Run::Role::MountTimed);
    if (!timed) {
        // Only where the guide rate would have moved every mount-timed run clearly past its margin.
        bool ran = false;
        bool clear = true;
        for (const Run& run : runs) {
            if (run.role != Run::Role::MountTimed || onDeclination(run.direction) != declination) continue;
            ran = true;
            const double predicted = guided->rate * siderealOnSky(run.before, declination) * run.measuredMs / 1000;
            clear = clear && predicted > 2 * figuresOf(run, baseline).marginArcsec;
        }
        if (!ran || !clear) return std::nullopt;
        return Finding{Finding::Kind::MountTimedIgnored, direction, direction, 0};
    }
    if (std::fabs(timed->rate - guided->rate) <= timed->margin + guided->margin) return std::nullopt;
    // Moving on until guide-link's late stop, the mount shows its guide rate over that time.
    const double share = toldShareOfLine(runs, declination);
    const bool untimed = std::fabs(timed->rate * share - guided->rate) <= timed->margin * share + guided->margin;
    return Finding{untimed ? Finding::Kind::MountTimedUntimed : Finding::Kind::MountTimedOwnRate, direction, direction,
                   timed->rate};
}

}  // namespace

std::vector<Finding> findingsOf(const Baseline& baseline, const std::vector<Run>& runs)
{
    std::vector<Finding> findings;
    if (trackingOf(baseline) != Tracking::Sidereal) {
        findings.push_back({Finding::Kind::Tracking, Direction::North, Direction::North, baseline.trackingRate()});
    }
    bool reversedShown[2] = {false, false};  // one finding an axis: both its directions are reversed alike
    for (const Run& run : runs) {
        const RunFigures figures = figuresOf(run, baseline);
        if (figures.tooFast) {
            findings.push_back({Finding::Kind::TooFast, run.direction, run.direction, std::fabs(figures.rate)});
            continue;
        }
        if (figures.runaway) {
            findings.push_back({Finding::Kind::Runaway, run.direction, run.direction, figures.afterStopArcsec});
        }
        if (!run.judged()) continue;
        bool& reversedOnAxis = reversedShown[onDeclination(run.direction) ? 0 : 1];
        if (!figures.moved) {
            const double predicted = predictedArcsec(run, runs, baseline);
            const bool tooShort = predicted > 0 && predicted <= 2 * figures.marginArcsec;
            findings.push_back({tooShort ? Finding::Kind::TooShort : Finding::Kind::NoMotion, run.direction,
                                run.direction, predicted});
        } else if (!figures.expectedWay && !reversedOnAxis) {
            findings.push_back({Finding::Kind::Reversed, run.direction, run.direction, figures.motionArcsec});
            reversedOnAxis = true;
        }
    }
    for (const auto& [one, opposite] : {std::pair{Direction::North, Direction::South},
                                        std::pair{Direction::East, Direction::West}}) {
        const Run* first = findRun(runs, one, Run::Role::Judged);
        const Run* second = findRun(runs, opposite, Run::Role::Judged);
        if (!first || !second) continue;
        const RunFigures a = figuresOf(*first, baseline);
        const RunFigures b = figuresOf(*second, baseline);
        if (!a.moved || !b.moved) continue;
        const double rateA = std::fabs(a.rate);
        const double rateB = std::fabs(b.rate);
        const double beyondMargin = std::fabs(rateA - rateB) - a.rateMargin - b.rateMargin;
        if (beyondMargin <= kUnequalShare * std::max(rateA, rateB)) continue;
        const bool firstSlower = rateA < rateB;
        findings.push_back({Finding::Kind::Unequal, firstSlower ? one : opposite, firstSlower ? opposite : one,
                            std::min(rateA, rateB) / std::max(rateA, rateB)});
    }
    for (const Direction direction : {Direction::North, Direction::East}) {
        const std::optional<AxisRate> axis = axisRateOf(runs, baseline, onDeclination(direction));
        if (!axis) continue;
        if (axis->rate - axis->margin > kHighestUsualRate || axis->rate + axis->margin < kLowestUsualRate) {
            findings.push_back({Finding::Kind::UnusualRate, direction, direction, axis->rate});
        }
    }
    const std::optional<Backlash> backlash = backlashOf(runs, baseline);
    if (backlash && backlash->arcsec > backlash->marginArcsec) {
        findings.push_back({Finding::Kind::Backlash, Direction::North, Direction::South, backlash->arcsec});
    }
    for (const Direction direction : {Direction::North, Direction::East}) {
        if (const std::optional<Finding> finding = mountTimedFindingOf(runs, baseline, direction)) {
            findings.push_back(*finding);
        }
    }
    return findings;
}

bool mountTimedRan(const std::vector<Run>& runs)
{
    return std::any_of(runs.begin(), runs.end(), [](const Run& run) { return run.role == Run::Role::MountTimed; });
}

}  // namespace motion
