#include "bench/report/HeartbeatPeriodFigures.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "bench/DesignFigures.h"

namespace bench::report {
namespace {

HeartbeatPeriods overRounds(const std::vector<Heartbeat>& rounds)
{
    HeartbeatPeriods figures;
    double weighted = 0;
    std::vector<double> means;
    for (const Heartbeat& heartbeat : rounds) {
        figures.ticks += heartbeat.ticks;
        weighted += heartbeat.meanMs * heartbeat.ticks;
        figures.longestMs = std::max(figures.longestMs, heartbeat.longestMs);
        means.push_back(heartbeat.meanMs);
    }
    figures.meanMs = weighted / figures.ticks;
    figures.roundMeans = summarise(means);
    return figures;
}

}  // namespace

HeartbeatPeriods heartbeatPeriods(const BuildResults& build) { return overRounds(build.heartbeats); }

HeartbeatPeriods heartbeatPeriodsOnLine(const BuildResults& build)
{
    std::map<int, std::vector<double>> tickTimes;
    for (const Pulse& pulse : build.pulses) {
        tickTimes[pulse.round].push_back(pulse.moveFirstMs);
        tickTimes[pulse.round].push_back(pulse.stopFirstMs);
    }
    std::vector<Heartbeat> rounds;
    for (auto& [round, times] : tickTimes) {
        std::sort(times.begin(), times.end());
        double ticks = 0;
        for (std::size_t i = 1; i < times.size(); ++i) {
            ticks += std::round((times[i] - times[i - 1]) / design::kHeartBeatMs);
        }
        if (ticks > 0) rounds.push_back({round, ticks, (times.back() - times.front()) / ticks, 0, 0});
    }
    return overRounds(rounds);
}

}  // namespace bench::report
