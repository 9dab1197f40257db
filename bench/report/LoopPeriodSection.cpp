#include "bench/report/LoopPeriodSection.h"

#include "bench/DesignFigures.h"
#include "bench/report/LoopPeriodFigures.h"
#include "bench/report/NumberText.h"

namespace bench::report {

void LoopPeriodSection::addRows(FigureTable& table) const
{
    for (const BuildResults* build : builds_.measured) addRowsOf(*build, table);
}

void LoopPeriodSection::addRowsOf(const BuildResults& build, FigureTable& table) const
{
    if (!build.heartbeats.empty()) {
        const HeartbeatPeriods heartbeat = heartbeatPeriods(build);
        table.add({"Heartbeat period (n=" + grouped(heartbeat.ticks) + " ticks)", build.name,
                   "mean " + fixed(heartbeat.meanMs, 2) + " ms (rounds " + fixed(heartbeat.roundMeans.min, 2) +
                       " to " + fixed(heartbeat.roundMeans.max, 2) + "), longest " + fixed(heartbeat.longestMs, 1) +
                       " ms",
                   "100 ms", ratio(heartbeat.meanMs, design::kHeartBeatMs, 4), "-"});
    }
    const double reader = readerPeriodMs(build);
    if (reader > 0) {
        table.add({"Frame reader period, from pulses of 10 ticks or more", build.name,
                   "median " + fixed(reader, 2) + " ms", "100 ms", ratio(reader, design::kPollMs, 4), "-"});
    }
}

}  // namespace bench::report
