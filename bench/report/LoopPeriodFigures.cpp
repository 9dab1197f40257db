#include "bench/report/LoopPeriodFigures.h"

#include <algorithm>
#include <vector>

#include "bench/DesignFigures.h"

namespace bench::report {

HeartbeatPeriods heartbeatPeriods(const BuildResults& build)
{
    HeartbeatPeriods figures;
    double weighted = 0;
    std::vector<double> means;
    for (const Heartbeat& heartbeat : build.heartbeats) {
        figures.ticks += heartbeat.ticks;
        weighted += heartbeat.meanMs * heartbeat.ticks;
        figures.longestMs = std::max(figures.longestMs, heartbeat.longestMs);
        means.push_back(heartbeat.meanMs);
    }
    figures.meanMs = weighted / figures.ticks;
    figures.roundMeans = summarise(means);
    return figures;
}

double readerPeriodMs(const BuildResults& build)
{
    std::vector<double> periods;
    for (const Pulse& pulse : build.pulses) {
        if (design::ticksFor(pulse.requestedMs) >= 10 && pulse.periods() > 0) {
            periods.push_back(pulse.lengthMs() / pulse.periods());
        }
    }
    return summarise(periods).median;
}

}  // namespace bench::report
