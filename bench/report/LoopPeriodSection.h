#pragma once

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"

namespace bench::report {

// The periods of the heartbeat and the frame reader, both built to 100 ms. Rows only: the pulse
// length section tells what the periods do to a pulse.
class LoopPeriodSection {
public:
    explicit LoopPeriodSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table) const;

private:
    void addRowsOf(const BuildResults& build, FigureTable& table) const;

    const Builds& builds_;
};

}  // namespace bench::report
