#pragma once

#include <string>

#include "mount_simulator/MountBehaviour.h"

// The named ways a simulated mount disobeys guide pulses, as real mounts do: it does not track or
// tracks backwards, its declination is reversed, it ignores one direction or moves it at half
// rate, it loses motion when the declination reverses, it ignores stops (all of them, or the
// right ascension's :Qe# and :Qw# but not the halt :Q#), it ignores :RG# and moves at its slew
// rate, its opposite directions are separate keys, its positions are noisy, or it answers in the
// short format, it ignores mount-timed pulses (:Mg) or takes them as plain moves that never stop
// by themselves. Guide-link's --simulate and lx200-mount-sim's --quirk take the same names.
namespace mountQuirk {

// The backlash of the "backlash" mount: lost each time its declination reverses.
constexpr double kBacklashArcseconds = 20.0;
// The reading noise of the "noisy" mount: each position is off by up to this much either way.
constexpr double kNoisyArcseconds = 3.0;

// Gives behaviour the quirk called name, leaving the rest as it was; false for another name.
bool apply(const std::string& name, MountBehaviour& behaviour);
// The names, for help texts: "not-tracking, reversed-dec, ...".
const char* names();

}  // namespace mountQuirk
