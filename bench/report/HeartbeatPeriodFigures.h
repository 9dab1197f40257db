#pragma once

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

// The heartbeat's period, from its ticks as a listener saw them, and from the line.
namespace bench::report {

struct HeartbeatPeriods {
    double ticks = 0;
    double meanMs = 0;  // over every tick of every round; not a number without ticks
    double longestMs = 0;
    Summary roundMeans;
};
HeartbeatPeriods heartbeatPeriods(const BuildResults& build);

// The heartbeat's mean period as the line shows it. Every move and every stop leaves on a tick,
// so within a round (one heartbeat) the first bytes of all of them lie on the heartbeat's ticks;
// counting the whole ticks between each and the next gives the ticks between the first and the
// last. longestMs is left 0. No ticks without pulses.
HeartbeatPeriods heartbeatPeriodsOnLine(const BuildResults& build);

}  // namespace bench::report
