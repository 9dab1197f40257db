#pragma once

namespace platform {

// How soon a network line notices a mount that dropped off the network without a word (out of
// WiFi range, switched off): the system probes an idle connection, and gives up on one whose
// bytes go unacknowledged, within seconds rather than the minutes or hours it would by default.
constexpr int kKeepAliveIdleMs = 2000;        // quiet this long, the system starts probing
constexpr int kKeepAliveIntervalMs = 1000;    // between unanswered probes
constexpr int kKeepAliveProbes = 3;           // this many unanswered, and the connection is gone
                                              // (where the system counts them)
constexpr int kUnacknowledgedLimitMs = 5000;  // bytes unacknowledged this long, and it is gone

}  // namespace platform
