#pragma once

#include <string>

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"
#include "bench/report/Miss.h"

namespace bench::report {

// How fast the link takes in what the mount sends: the highest rate carried without falling
// behind, and the rate it drains a line flooded flat out.
class ThroughputSection {
public:
    explicit ThroughputSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table, Misses& misses) const;
    std::string explainMisses(const Misses& misses) const;
    std::string text() const;

private:
    void addRowsOf(const BuildResults& build, FigureTable& table, Misses& misses) const;

    const Builds& builds_;
};

}  // namespace bench::report
