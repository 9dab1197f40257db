#pragma once

#include <string>

#include "bench/report/BuildResults.h"

namespace bench::report {

// How each figure is taken, with the number of pulses each build gave.
class MethodSection {
public:
    explicit MethodSection(const Builds& builds) : builds_(builds) {}

    std::string text() const;

private:
    std::string pulseCounts() const;

    const Builds& builds_;
};

}  // namespace bench::report
