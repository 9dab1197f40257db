#pragma once

#include <optional>
#include <string>

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

namespace bench::report {

// The floods at rates asked for: the highest the link carried, and the first it fell behind.
struct FloodLadder {
    const Flood* highestCarried = nullptr;
    const Flood* firstFellBehind = nullptr;
};
FloodLadder floodLadder(const BuildResults& build);

// Over the floods sent flat out, in bytes a second: each flood's bytes over the time from its
// start until the marker behind it was handled.
Summary drainRate(const BuildResults& build);

// The median share of a processor, in percent, that a process's thread (1: the oldest) was kept
// busy by the flat-out floods; none if it was not measured.
std::optional<double> busyPercent(const BuildResults& build, const std::string& process, int thread);

}  // namespace bench::report
