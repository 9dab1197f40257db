#pragma once

#include <string>

#include "link/Direction.h"

// The range a guide pulse's measured length must fall in: the link counts whole heartbeat ticks
// and a pulse can begin anywhere within one, so it may end up to one tick short of the length
// its ticks make (less a few milliseconds, as the two moments measured can each be a little
// late); it must not run longer than requested by more than the allowance for the time the
// commands take on the wire and for scheduling. Slack widens the range both ways, for a machine
// so busy that the link's threads are late.
struct PulseBound {
    static constexpr int kDefaultAllowanceMs = 50;
    static constexpr int kMeasurementJitterMs = 10;

    double lowerMs;
    double upperMs;

    static PulseBound forPulse(int requestedMs, int ticks, int allowanceMs, int slackMs);
    bool holds(double measuredMs) const { return measuredMs >= lowerMs && measuredMs <= upperMs; }
};

// Directions by the names people type: north, south, east, west (any case; n, s, e, w too).
bool directionNamed(const std::string& name, Direction& direction);
const char* directionName(Direction direction);
