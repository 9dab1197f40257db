#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tester/CheckResult.h"
#include "tester/MotionFigures.h"
#include "tester/MotionVerdict.h"
#include "tester/MountUnderTest.h"
#include "tester/PulseTiming.h"

class TestReport;

namespace motion {

// How motion measures: each run is at most pulses of lengthMs back to back, less where the
// rate a probe or an earlier run showed would carry the mount too far.
struct Plan {
    int pulses = 5;
    int lengthMs = 5000;
    int baselineMs = 5000;  // from the first reading with no pulse to the last
    int settleMs = 3000;    // at least, from the reading after a run to the one that shows it stopped
    PulseTiming timing = PulseTiming::ByPc;  // of every probe and run
    // Then one more run in each direction, of the same pulses as its judged run, mount-timed.
    bool compareMountTimed = false;
};

}  // namespace motion

// The motion check: reads the mount's position around runs of pulses, and judges how far and
// which way each direction moved it, and whether it stopped. Probes come before any run in a
// direction, each run is sized from what its direction showed so far, and a mount that runs
// away or moves at a slew rate is halted at once.
class MotionCheck {
public:
    MotionCheck(TestReport& report, MountUnderTest& mount, const motion::Plan& plan);

    CheckResult run();

private:
    using Role = motion::Run::Role;

    // Reads the mount left alone; false, with the result set, if that failed.
    bool readBaseline(CheckResult& failed);
    // One short pulse and a look at how far it went, before any run in direction.
    bool probe(Direction direction);
    // Runs that a rough rate cut short size longer ones, until one stands for direction.
    bool judged(Direction direction);
    // Sizes one run from the last of its direction, runs it and reports it; false once motion
    // must stop. Where maySize, a judged run that was cut short and would size a longer one
    // only sizes.
    bool sizedRun(motion::Run run, bool maySize = false);
    // Runs direction's judged pulses again, timed by the mount; false once motion must stop.
    bool mountTimedRun(Direction direction);
    // The right ascension did not move in the declination runs: over them its creep is finer.
    void measureCreep();
    // Runs the run's pulses back to back on the open connection; the problem if one failed.
    std::string runPulses(motion::Run& run);
    // Runs one step from the open connection: the pulses, the reading after them, and for a run
    // the settling wait and the reading that shows it stopped; the connection is left open. The
    // problem if a pulse or a reading failed.
    std::string runStep(motion::Run& run, int settleMs);
    // Keeps a run that has been carried out and reports it; false if the mount must not be
    // sent more pulses.
    bool keepRun(const motion::Run& run);
    // For a measurement cut short: stops everything the mount does, reads whether it stopped
    // (the first reading in afterHalt), and says so; the details to add to the result.
    std::vector<std::string> haltMount(int waitMs, std::optional<PositionReading>& afterHalt);
    motion::Run runOf(Direction direction, Role role) const;
    // Sets each axis's measured rate beside the rate the mount's driver reports, and warns of one
    // off by more than a quarter.
    void compareReportedRates(motion::Verdict& verdict) const;
    // Where the mount was last seen: after the last run settled, or with no pulse.
    PositionReading lastSeen() const;

    TestReport& report;
    MountUnderTest& mount;
    motion::Plan plan;

    std::vector<PositionReading> still;  // readings with no pulse
    motion::Baseline baseline;
    std::vector<motion::Run> runs;
    std::string problem;  // why motion stopped, if a pulse or a reading failed
};
