#pragma once

#include <optional>
#include <string>

#include "link/Direction.h"
#include "tester/PulseBound.h"
#include "tester/PulseTiming.h"

// One guide pulse as the tester ran and measured it.
struct PulseReport {
    Direction direction = Direction::North;
    int askedMs = 0;      // as given
    int requestedMs = 0;  // as the dialog would correct it: 200 to 5000
    int ticks = 0;        // that the link counts it in; 0 for a pulse an INDI driver times
    std::optional<double> measuredMs;  // from the move's write to the stop's; none if either failed
    PulseBound bound{0, 0};
    bool passed = false;
    bool interrupted = false;  // a stop was asked for: the pulse was not sent, or its stop at once
    std::string problem;       // why it did not pass
    // Mount-timed: the ticks, the measurement and the bound are those of the late stop, which
    // must not come before the mount's own time is up.
    PulseTiming timing = PulseTiming::ByPc;
};
