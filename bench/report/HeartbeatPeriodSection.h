#pragma once

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"

namespace bench::report {

// The heartbeat's mean period, built to 100 ms with no drift: rows only, as its ticks showed it to
// a listener (native) and as the pulses' commands show it on the line (both builds).
class HeartbeatPeriodSection {
public:
    explicit HeartbeatPeriodSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table) const;

private:
    void addRowsOf(const BuildResults& build, FigureTable& table) const;

    const Builds& builds_;
};

}  // namespace bench::report
