#pragma once

// Who times a guide pulse: guide-link, with a move and its stop on heartbeat ticks, or the
// mount itself, told the length in one :Mg command. What a mount-timed pulse lasts cannot be
// seen on the line: only the mount's motion shows it.
enum class PulseTiming { ByPc, ByMount };

// As --timed-by takes it.
inline const char* pulseTimingName(PulseTiming timing) { return timing == PulseTiming::ByMount ? "mount" : "pc"; }
