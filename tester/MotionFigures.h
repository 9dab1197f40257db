#pragma once

#include <optional>
#include <vector>

#include "tester/PositionReading.h"
#include "tester/PulseTiming.h"
#include "link/Direction.h"

// What guide-link's motion makes of its readings. A reading gives the declination to the
// arcsecond and the right ascension to the second of time (15 arcseconds times the cosine of
// the declination on the sky), and a mount may add noise of its own, so a difference of two is
// good to a margin: one step, and twice the noise seen while the mount stood still. Rates are
// times the sidereal rate of the axis: the declination's 15.04 arcseconds per second, the right
// ascension's the same times the cosine of the declination, the rate a tracking drive turns at.
namespace motion {

// Beyond any guide rate: a slew or centring rate. A probe that shows more stops the measurement.
constexpr double kMaxGuideRate = 4.0;
// The guide rates guiding programs expect; outside them motion warns.
constexpr double kLowestUsualRate = 0.1;
constexpr double kHighestUsualRate = 2.0;
// The first pulse in each direction: at 8 degrees a second, a slew rate, it moves 1.6 degrees.
constexpr int kProbeMs = 200;
// No run moves the mount further than this at the fastest rate its direction's last run allows.
constexpr double kRunBudgetArcsec = 240.0;
// After a stop, motion waits until the mount, still moving at its measured rate, would have
// moved this many margins: a stop that was lost then shows.
constexpr double kSettleMargins = 3.0;
constexpr int kLongestSettleMs = 30000;
// Opposite directions may differ by this share of the faster, beyond their margins.
constexpr double kUnequalShare = 0.25;

// What the readings with no pulse showed.
struct Baseline {
    double creep = 0;             // of the right ascension, seconds of time per second
    double creepUncertainty = 0;  // either way
    double noiseArcsec = 0;       // how far readings of a still mount stray either way
    double hourAngle = 0;         // seconds of time, -12 h to +12 h
    double declination = 0;       // arcseconds, where it was measured

    // How the drive tracks, in times the sidereal rate: 1 tracks, 0 stands, -1 runs backwards.
    double trackingRate() const;
    double trackingUncertainty() const;
};
// From readings of a mount left alone, in the order taken; at least two.
Baseline baselineOf(const std::vector<PositionReading>& readings);
// The creep measured again from the first reading to a later one with no right ascension pulse
// between them, such as the last of the declination runs: over a longer time, a finer figure.
Baseline withCreepBetween(const Baseline& baseline, const PositionReading& first, const PositionReading& last);

enum class Tracking { Sidereal, Stopped, Backwards, WrongRate };
Tracking trackingOf(const Baseline& baseline);

// One run of pulses in one direction, with the readings around it.
struct Run {
    enum class Role {
        Probe,          // one short pulse, to learn the rate before a run
        TakesUpSlack,   // south before the clean south run
        AfterReversal,  // north after south: shows the backlash
        Sizing,         // a first run cut short, to size the one after it
        Judged,         // the run whose figures stand for its direction
        MountTimed,     // after the judged runs: the same pulses, timed by the mount (:Mg)
    };
    Direction direction = Direction::North;
    Role role = Role::Judged;
    int pulses = 0;
    int lengthMs = 0;            // each pulse, as the link runs it
    PulseTiming timing = PulseTiming::ByPc;
    // All pulses: from each move's write to its stop's, or for mount-timed pulses the time the
    // mount was told, which the line cannot show.
    double measuredMs = 0;
    double lineMs = 0;           // all pulses, from each move's write to its stop's, late or not
    double mostArcsec = 0;       // how far it could move at the fastest rate allowed; 0 for a probe
    PositionReading before;
    PositionReading after;       // right after the run
    std::optional<PositionReading> later;  // after the settling time: the mount should not have moved

    bool judged() const { return role == Role::Judged; }
};

// A run's figures, on the sky, positive the expected way.
struct RunFigures {
    double motionArcsec = 0;
    double marginArcsec = 0;     // of a difference of two readings
    double rate = 0;             // times sidereal
    double rateMargin = 0;
    double afterStopArcsec = 0;  // 0 until the later reading
    bool moved = false;
    bool expectedWay = false;
    bool runaway = false;
    // Beyond any guide rate, the margin taken off.
    bool tooFast = false;
    // The fastest the direction can be, the margin added, and no less than kMaxGuideRate for a
    // probe that did not clearly move: what the next run is sized by.
    double fastestRate = 0;
};
RunFigures figuresOf(const Run& run, const Baseline& baseline);

// How long to wait after run's stop before reading again, at least minimumMs.
int settleMsAfter(const Run& run, const RunFigures& figures, const Baseline& baseline, int minimumMs);
// The slowest motion a halt's two readings must be able to show: half the sidereal rate.
constexpr double kSlowestDriftAfterHalt = 0.5;
// How far apart, at least minimumMs, the two readings after a halt must be to show a mount still
// moving at kSlowestDriftAfterHalt on either axis, read near at.
int haltWaitMs(const PositionReading& at, const Baseline& baseline, int minimumMs);

// A run's pulses, sized so that at the fastest rate the last run of its direction allows it
// moves at most kRunBudgetArcsec, and at most pulses x lengthMs (whole ticks, 200 ms or more).
struct RunSize {
    int pulses = 0;
    int lengthMs = 0;
    double mostArcsec = 0;  // at that fastest rate
    bool cut = false;       // shorter than asked
};
RunSize sizeRun(const Run& last, const RunFigures& figures, int pulses, int lengthMs);
// The run a new run in direction is sized from: the last in that direction, or the last of all
// where none went that way yet. runs must not be empty.
const Run& lastRunIn(const std::vector<Run>& runs, Direction direction);

// What the runs say, each finding naming a direction where it has one.
struct Finding {
    // NoMotion is judged against the motion the opposite direction's rate predicts: a run too short
    // for that motion to clear the margin twice over cannot tell, and says so (TooShort).
    // The mount-timed kinds compare an axis's mount-timed runs with its judged ones: no motion
    // (MountTimedIgnored), another rate (MountTimedOwnRate), or the judged rate only over the time
    // to guide-link's late stop (MountTimedUntimed).
    enum class Kind {
        Tracking, TooFast, NoMotion, TooShort, Runaway, Reversed, Unequal, UnusualRate, Backlash,
        MountTimedIgnored, MountTimedOwnRate, MountTimedUntimed,
    };
    Kind kind;
    Direction direction = Direction::North;  // Unequal: the slower; UnusualRate: one of its axis
    Direction other = Direction::North;      // Unequal: the faster
    double value = 0;  // Tracking: the rate; TooFast, UnusualRate: the rate; Runaway: the drift;
                       // NoMotion, TooShort: the motion predicted, arcsec (0: none); Unequal: the
                       // share; Backlash: arcsec; MountTimedOwnRate, MountTimedUntimed: the
                       // mount-timed rate over the time the mount was told
    bool fails() const
    {
        return kind == Kind::TooFast || kind == Kind::NoMotion || kind == Kind::TooShort || kind == Kind::Runaway ||
               kind == Kind::MountTimedUntimed;
    }
};

// The motion lost to backlash: a north run after a south one against one after a north one.
struct Backlash {
    double arcsec = 0;
    double marginArcsec = 0;
};
std::optional<Backlash> backlashOf(const std::vector<Run>& runs, const Baseline& baseline);

// An axis's rate, from the runs of its two directions in role that moved: their mean speed.
struct AxisRate {
    double rate = 0;
    double margin = 0;
};
std::optional<AxisRate> axisRateOf(const std::vector<Run>& runs, const Baseline& baseline, bool declination,
                                   Run::Role role = Run::Role::Judged);

// Whether runs hold a mount-timed run, beside the timed ones.
bool mountTimedRan(const std::vector<Run>& runs);

// Whether the mount stood still from one reading to the other, within their margins.
bool stoodStill(const PositionReading& from, const PositionReading& to, const Baseline& baseline);
// How far apart two readings are on the sky, the creep taken out.
double distanceArcsec(const PositionReading& from, const PositionReading& to, const Baseline& baseline);

std::vector<Finding> findingsOf(const Baseline& baseline, const std::vector<Run>& runs);

bool onDeclination(Direction direction);

}  // namespace motion
