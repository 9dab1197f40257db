#pragma once

#include <string>

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"
#include "bench/report/Miss.h"

namespace bench::report {

// How long the pulses lasted against the length asked for, and why some ran past their bound.
class PulseLengthSection {
public:
    explicit PulseLengthSection(const Builds& builds) : builds_(builds) {}

    // A row for each build and length asked for; a miss for each length with pulses beyond the bound.
    void addRows(FigureTable& table, Misses& misses) const;
    // The explanations of the kinds of pulse miss among misses.
    std::string explainMisses(const Misses& misses) const;
    // The section, showing the plot found at imageLink.
    std::string text(const std::string& imageLink) const;

private:
    void addRowsOf(const BuildResults& build, FigureTable& table, Misses& misses) const;
    // How far behind its mark the latest tick a listener saw came, if it was late enough to matter.
    std::string lateTickText() const;
    // How long the heartbeat's longest period was, natively, and whether it skipped a tick.
    std::string heldUpHeartbeatText() const;

    const Builds& builds_;
};

}  // namespace bench::report
