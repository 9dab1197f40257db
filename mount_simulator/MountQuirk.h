#pragma once

#include <string>

#include "mount_simulator/MountBehaviour.h"

// The named ways a simulated mount disobeys guide pulses, as real mounts do: it does not track,
// its declination is reversed, it ignores one direction or moves it at half rate, it loses
// motion when the declination reverses, it ignores stops, or it answers in the short format.
namespace mountQuirk {

// The backlash of the "backlash" mount: lost each time its declination reverses.
constexpr double kBacklashArcseconds = 20.0;

// Gives behaviour the quirk called name, leaving the rest as it was; false for another name.
bool apply(const std::string& name, MountBehaviour& behaviour);
// The names, for help texts: "not-tracking, reversed-dec, ...".
const char* names();

}  // namespace mountQuirk
