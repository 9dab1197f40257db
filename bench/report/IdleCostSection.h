#pragma once

#include <string>

#include "bench/report/BuildResults.h"
#include "bench/report/FigureTable.h"

namespace bench::report {

// What the link costs while connected and idle: processor time, wake-ups and memory of each
// process, and thread by thread.
class IdleCostSection {
public:
    explicit IdleCostSection(const Builds& builds) : builds_(builds) {}

    void addRows(FigureTable& table) const;
    std::string text() const;

private:
    // isTheLink: the process runs the link's threads, so their wake-ups have a figure to meet.
    void addRowsOf(const BuildResults& build, const std::string& process, const std::string& label, bool isTheLink,
                   FigureTable& table) const;
    std::string threadTable() const;

    const Builds& builds_;
};

}  // namespace bench::report
