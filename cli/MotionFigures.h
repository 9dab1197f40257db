#pragma once

#include <optional>
#include <vector>

#include "cli/PositionReading.h"
#include "link/Direction.h"

// What guide-link's motion makes of its readings. A reading gives the declination to the
// arcsecond and the right ascension to the second of time (15 arcseconds times the cosine of
// the declination on the sky), so a difference of two is good to one step either way; runs of
// pulses are sized to move many steps. Rates are times the sidereal rate of the axis: the
// declination's 15.04 arcseconds per second, the right ascension's the same times the cosine of
// the declination, the rate a tracking drive turns at.
namespace motion {

// A right ascension that creeps faster than this, in seconds per second, is the sky turning
// under a mount that does not track (it creeps at 1.0027).
constexpr double kNotTrackingCreep = 0.5;
// A difference moves when it is past one step and a half: a step is reading's truncation.
constexpr double kMovedSteps = 1.5;
// Opposite directions may differ by this share of the faster, beyond their resolution.
constexpr double kUnequalShare = 0.25;

// One run of pulses in one direction, with the readings around it.
struct Run {
    Direction direction = Direction::North;
    bool afterReversal = false;  // the declination last moved the other way: a backlash run
    bool judged = true;          // the run whose figures stand for its direction
    int pulses = 0;
    int lengthMs = 0;            // each pulse, as the link runs it
    double measuredMs = 0;       // all pulses, from each move's write to its stop's
    PositionReading before;
    PositionReading after;       // right after the run
    PositionReading later;       // after the settling time: the mount should not have moved
};

// A run's figures, on the sky, positive the expected way.
struct RunFigures {
    double motionArcsec = 0;
    double resolutionArcsec = 0;
    double rate = 0;  // times sidereal
    double rateResolution = 0;
    double afterStopArcsec = 0;
    bool moved = false;
    bool expectedWay = false;
    bool runaway = false;
};

// The right ascension's creep with no pulse, between two readings, in seconds per second.
double creepBetween(const PositionReading& first, const PositionReading& second);
// The creep taken out of every figure: the sky's own turning for a mount that does not track.
double creepTakenOut(double creep);

RunFigures figuresOf(const Run& run, double creepTakenOut);

// What the runs say, each finding naming a direction where it has one.
struct Finding {
    enum class Kind { NotTracking, NoMotion, Runaway, Reversed, Unequal, Backlash };
    Kind kind;
    Direction direction = Direction::North;  // NoMotion, Runaway, Reversed; Unequal: the slower
    Direction other = Direction::North;      // Unequal: the faster
    double value = 0;                        // NotTracking: the creep; Runaway: the drift; Backlash: arcsec
    bool fails() const { return kind == Kind::NoMotion || kind == Kind::Runaway; }
};

// The motion lost to backlash: a north run after a south one against one after a north one.
struct Backlash {
    double arcsec = 0;
    double resolutionArcsec = 0;
};
std::optional<Backlash> backlashOf(const std::vector<Run>& runs, double creepTakenOut);

std::vector<Finding> findingsOf(double creep, const std::vector<Run>& runs);

}  // namespace motion
