#pragma once

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

// The periods of the link's two 100 ms loops: the heartbeat's ticks and the frame reader's wake-ups.
namespace bench::report {

struct HeartbeatPeriods {
    double ticks = 0;
    double meanMs = 0;  // over every tick of every round; not a number without ticks
    double longestMs = 0;
    Summary roundMeans;
};
HeartbeatPeriods heartbeatPeriods(const BuildResults& build);

// The frame reader's period as the pulses show it: each lasted a whole number of its periods.
// Only pulses of 10 ticks or more, where a fraction of a millisecond per period adds up. 0 without
// such pulses.
double readerPeriodMs(const BuildResults& build);

}  // namespace bench::report
