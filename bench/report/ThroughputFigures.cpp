#include "bench/report/ThroughputFigures.h"

#include <vector>

namespace bench::report {

FloodLadder floodLadder(const BuildResults& build)
{
    FloodLadder ladder;
    for (const Flood& flood : build.floods) {
        if (flood.askedBytesPerSecond <= 0) continue;
        if (flood.keptUp) {
            if (!ladder.highestCarried || flood.askedBytesPerSecond > ladder.highestCarried->askedBytesPerSecond) {
                ladder.highestCarried = &flood;
            }
        } else if (!ladder.firstFellBehind) {
            ladder.firstFellBehind = &flood;
        }
    }
    return ladder;
}

Summary drainRate(const BuildResults& build)
{
    std::vector<double> drained;
    for (const Flood& flood : build.floods) {
        if (flood.askedBytesPerSecond <= 0 && flood.carriedBytesPerSecond > 0 && flood.markerLatencyMs >= 0) {
            drained.push_back(flood.drainedBytesPerSecond());
        }
    }
    return summarise(drained);
}

std::optional<double> busyPercent(const BuildResults& build, const std::string& process, int thread)
{
    const auto shares = build.busy.find({process, thread});
    if (shares == build.busy.end()) return std::nullopt;
    return summarise(shares->second).median;
}

}  // namespace bench::report
