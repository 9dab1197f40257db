#include "bench/report/HeartbeatPeriodSection.h"

#include "bench/DesignFigures.h"
#include "bench/report/HeartbeatPeriodFigures.h"
#include "bench/report/NumberText.h"

namespace bench::report {

void HeartbeatPeriodSection::addRows(FigureTable& table) const
{
    for (const BuildResults* build : builds_.measured) addRowsOf(*build, table);
}

void HeartbeatPeriodSection::addRowsOf(const BuildResults& build, FigureTable& table) const
{
    const auto add = [&](const std::string& seen, const HeartbeatPeriods& heartbeat) {
        if (heartbeat.ticks <= 0) return;
        std::string measured = "mean " + fixed(heartbeat.meanMs, 3) + " ms (rounds " +
                               fixed(heartbeat.roundMeans.min, 3) + " to " + fixed(heartbeat.roundMeans.max, 3) + ")";
        if (heartbeat.longestMs > 0) measured += ", longest " + fixed(heartbeat.longestMs, 1) + " ms";
        table.add({"Heartbeat period, " + seen + " (n=" + grouped(heartbeat.ticks) + " ticks)", build.name, measured,
                   "100 ms", ratio(heartbeat.meanMs, design::kHeartBeatMs, 4), "-"});
    };
    if (!build.heartbeats.empty()) add("its ticks to a listener", heartbeatPeriods(build));
    add("from the moves and stops on the line", heartbeatPeriodsOnLine(build));
}

}  // namespace bench::report
