#pragma once

#include <cstddef>

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

namespace bench::report {

// How soon each pulse's move command reached the mount, against design::kCommandLatencyBoundMs.
struct CommandLatency {
    std::size_t count = 0;
    Summary fromCall;  // from the call, or from the click command sent to the driver
    Summary fromAcknowledgement;  // from the call's return, or the driver's word that the click was taken
    std::size_t withinFromCall = 0;
    std::size_t withinFromAcknowledgement = 0;
};
CommandLatency commandLatency(const BuildResults& build);

}  // namespace bench::report
