#pragma once

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"

namespace bench::report {

// The Windows program itself: its size, and how soon its dialog is on screen under Wine. Rows only.
class WineProgramSection {
public:
    explicit WineProgramSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table) const;

private:
    const Builds& builds_;
};

}  // namespace bench::report
