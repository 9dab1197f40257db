#pragma once

#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

// What a build's pulses say about their lengths.
namespace bench::report {

// The pulses of one length asked for against their bound.
struct PulseErrors {
    std::size_t count = 0;
    std::size_t inside = 0;
    std::size_t over = 0;   // longer than asked plus a command's time on the wire
    std::size_t under = 0;  // more than a tick short
    Summary errors;         // ms beyond the length asked for
};
PulseErrors pulseErrors(const BuildResults& build, int lengthMs);

// Per round, oldest first: how many pulses lasted their full count of ticks (as opposed to one
// tick short), and how many there were.
std::map<int, std::pair<int, int>> fullLengthByRound(const BuildResults& build);

// The median error of the full-length pulses and of the short ones, for one length; NaN for a
// group without pulses.
std::pair<double, double> clusterMedians(const BuildResults& build, int lengthMs);

// How many pulses of each length went north or south.
std::size_t pulsesPerLengthOnEachAxis(const BuildResults& build);

// The number of the last round.
int roundCount(const BuildResults& build);

}  // namespace bench::report
