#pragma once

#include <string>

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"
#include "bench/report/Miss.h"

namespace bench::report {

// How long the handshake takes from the connect request and from the port's opening, and what it
// is made of.
class HandshakeSection {
public:
    explicit HandshakeSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table, Misses& misses) const;
    std::string explainMisses(const Misses& misses) const;
    // Empty without native handshakes.
    std::string text() const;

private:
    // clicked: Connect was clicked on the dialog, and the statuses read off it.
    void addRowsOf(const BuildResults& build, bool clicked, FigureTable& table, Misses& misses) const;

    const Builds& builds_;
};

}  // namespace bench::report
