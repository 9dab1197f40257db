#pragma once

#include <windows.h>

namespace platform {

// The settings of an LX200 line, made from the device's current ones: 9600 baud, 8 data bits, no
// parity bit and no parity checking, one stop bit. Every other field (flow control, modem lines,
// special characters) stays as the device had it. Pure, so it can be checked without a device.
DCB lineSettingsFor(const DCB& current);

}  // namespace platform
