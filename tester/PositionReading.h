#pragma once

#include <optional>

#include "tester/HandshakeReplies.h"

// Where the mount pointed, as one Connect's handshake read it: each coordinate with the time
// its reply began to arrive, since the two are asked a tick apart and the mount may be moving.
struct PositionReading {
    using Clock = LinkEvent::Clock;

    double rightAscension = 0;  // seconds of time
    Clock::time_point rightAscensionAt;
    double declination = 0;     // arcseconds
    Clock::time_point declinationAt;
    double siderealTime = 0;    // seconds of time, the mount's local sidereal time

    // From the replies of a handshake that reached Ready; nothing if they are not all in the
    // long format.
    static std::optional<PositionReading> from(const HandshakeReplies& replies);

    // Sidereal time less right ascension, in seconds of time from -12 h to +12 h: west of the
    // meridian where positive.
    double hourAngle() const;
};
