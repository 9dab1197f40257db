#pragma once

#include <chrono>

// Watches the bytes that cross the serial line, with the times they crossed it, for front ends
// that show the traffic or time the pulses. The link works the same with or without one; the
// dialog has none. Times are on the steady clock.
class iLinkObserver {
public:
    using Clock = std::chrono::steady_clock;

    // On the frame reader thread, once a write of an LX200 command to the open port has returned:
    // text holds the length bytes written (no terminator), handed to the port at startedAt, gone
    // out at sentAt (on a network line before the mount acknowledged a stop); ok is false when
    // the write failed, did not finish in time, or a stop was not acknowledged.
    virtual void commandWritten(const char* text, int length, Clock::time_point startedAt,
                                Clock::time_point sentAt, bool ok) = 0;

    // On the serial reader thread, before the bytes go on to the frame reader: count bytes (at
    // least one) came in from the mount, read at `at`.
    virtual void bytesReceived(const unsigned char* bytes, int count, Clock::time_point at) = 0;

protected:
    ~iLinkObserver() = default;
};
