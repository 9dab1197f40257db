#pragma once

#include "platform/event.h"
#include "platform/serial.h"

// Reading and writing a non-blocking terminal descriptor (POSIX), as the mount lines on a
// pseudo-terminal do.
namespace terminal_io {

// Returns as soon as bytes are waiting (Data), when stop is signalled (looked at every 50 ms),
// or when the terminal hangs up or fails (LineGone).
platform::SerialReadResult readWhenReady(int fd, unsigned char* buffer, int capacity, platform::Event& stop);

// Writes all count bytes, waiting while the other end is not reading; false if the terminal
// failed or took nothing for stallLimitMs.
bool writeAll(int fd, const unsigned char* bytes, int count, int stallLimitMs);

}  // namespace terminal_io
