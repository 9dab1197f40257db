#pragma once

#include <cstddef>
#include <string>

#include "platform/serial.h"

// What reached a port, and how its reading ended: Data once enough had come, Stopped at the time
// limit, LineGone if the line went first.
struct Received {
    std::string bytes;
    platform::SerialReadOutcome ended;
};

// Reads port until count bytes have come, the line has gone, or timeoutMs has passed.
Received receiveWithin(platform::SerialPort& port, std::size_t count, int timeoutMs);
