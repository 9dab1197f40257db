#pragma once

#include <cstddef>

#include "bench/Statistics.h"
#include "bench/report/BuildResults.h"

namespace bench::report {

// One way of timing the handshake, against its bound.
struct HandshakeTiming {
    Summary ms;
    std::size_t within = 0;
};

struct HandshakeFigures {
    std::size_t count = 0;
    // Both against design::handshakeBoundMs().
    HandshakeTiming fromCall;  // connect call or click to status 7
    HandshakeTiming fromOpen;  // status 1 to status 7
    Summary pauseMs;           // status 1 to the first question at the mount
    Summary pickUpMs;          // connect call to status 1
};
HandshakeFigures handshakeFigures(const BuildResults& build);

}  // namespace bench::report
