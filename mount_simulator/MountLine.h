#pragma once

#include "platform/event.h"
#include "platform/serial.h"

// The simulated mount's end of the line to the guide link. One thread may read while another
// writes. Destroying the line closes it, which the other end sees as a pulled cable; no read or
// write may be running then.
class MountLine {
public:
    virtual ~MountLine() = default;

    // Blocks until bytes have arrived (Data, never with a count of 0), until stop is signalled
    // (Stopped, noticed within about 200 ms) or until the line fails (LineGone).
    virtual platform::SerialReadResult read(unsigned char* buffer, int capacity, platform::Event& stop) = 0;

    // Sends count bytes; false if they did not all go out.
    virtual bool write(const unsigned char* bytes, int count) = 0;
};
