#pragma once

#include <string>

#include "link/Direction.h"
#include "link/Tick.h"

// The range a guide pulse's measured length must fall in, around the length its heartbeat ticks
// make: the link sends the move on one tick and the stop on a later one, so a pulse lasts whole
// ticks. Less a few milliseconds, as the two moments measured can each be a little late, to the
// allowance over it for the time the commands take on the wire and for scheduling. A pulse a
// tick short or a tick long is a fault. Slack widens the range both ways, for a machine so busy
// that the link's threads are late.
struct PulseBound {
    static constexpr int kDefaultAllowanceMs = 20;
    static constexpr int kMeasurementJitterMs = 10;

    double lowerMs;
    double upperMs;

    static PulseBound forPulse(int ticks, int allowanceMs, int slackMs);
    // For a pulse timed elsewhere to the millisecond (by an INDI driver).
    static PulseBound forLength(int lengthMs, int allowanceMs, int slackMs);
    bool holds(double measuredMs) const { return measuredMs >= lowerMs && measuredMs <= upperMs; }
    // Ended a heartbeat tick early: the link counted a tick that was not the pulse's.
    bool oneTickShort(double measuredMs) const { return measuredMs < lowerMs && measuredMs >= lowerMs - kTickMs; }
};

// Directions by the names people type: north, south, east, west (any case; n, s, e, w too).
bool directionNamed(const std::string& name, Direction& direction);
const char* directionName(Direction direction);
