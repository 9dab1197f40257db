#pragma once

#include <string>

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"
#include "bench/report/Miss.h"

namespace bench::report {

// How soon a request for a pulse reaches the mount. It has no section of its own: a row for each
// build, and an explanation if it ran past its bound.
class CommandLatencySection {
public:
    explicit CommandLatencySection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table, Misses& misses) const;
    std::string explainMisses(const Misses& misses) const;

private:
    // clicked: the pulse was asked for by a click on the dialog, not by a call.
    void addRowOf(const BuildResults& build, bool clicked, FigureTable& table, Misses& misses) const;

    const Builds& builds_;
};

}  // namespace bench::report
