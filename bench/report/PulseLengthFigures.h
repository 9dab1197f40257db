#pragma once

#include <cstddef>
#include <vector>

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

// What a build's pulses say about their lengths.
namespace bench::report {

// The pulses of one length asked for against their bound.
struct PulseErrors {
    std::size_t count = 0;
    std::size_t inside = 0;
    std::size_t over = 0;   // longer than the bound allows
    std::size_t under = 0;  // shorter than the bound allows
    Summary errors;         // ms beyond the length asked for
};
PulseErrors pulseErrors(const BuildResults& build, int lengthMs);

// How many pulses of each length went north or south.
std::size_t pulsesPerLengthOnEachAxis(const BuildResults& build);

// The number of the last round.
int roundCount(const BuildResults& build);

}  // namespace bench::report
