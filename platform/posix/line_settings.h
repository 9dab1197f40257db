#pragma once

#include <termios.h>

namespace platform {

// The settings of an LX200 line, made from the device's current ones: raw bytes at 9600 baud both
// ways, 8 data bits, no parity bit and no parity checking, one stop bit, the receiver on, and a
// read that waits for one byte and no timer. Flow control and modem lines stay as the device had
// them. Pure, so it can be checked without a device.
termios lineSettingsFor(const termios& current);

}  // namespace platform
