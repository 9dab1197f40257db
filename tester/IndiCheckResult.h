#pragma once

#include <optional>

#include "indi/IndiTelescope.h"
#include "tester/CheckResult.h"
#include "tester/PositionReading.h"

// What check says of a telescope behind an INDI server: the driver, how it reaches the mount,
// whether it takes timed guide pulses and which kind it sends, the tracking, the guide rate it
// reports and the position. It passes when the driver takes timed guide pulses.
CheckResult indiCheckResult(const indi::IndiTelescope& telescope, const std::optional<PositionReading>& position);
