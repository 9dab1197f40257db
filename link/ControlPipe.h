#pragma once

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/pipe.h"

// The link's in-process channel: the dialog, the heartbeat and the serial reader write control
// frames into it, and the frame reader alone reads it. Every writer holds writeLock for exactly
// one frame and writes it at once, so frames never interleave, and then wakes the frame reader:
// a tick is handled the moment it is written, so pulses start and end on the heartbeat's beat.
class ControlPipe {
public:
    static constexpr int kBufferSize = 4096;

    ControlPipe();

    // Writes one whole frame of 1 to 32 bytes. Any thread; blocks only while the pipe is full,
    // that is while the frame reader has fallen far behind.
    void writeFrame(const unsigned char* frame, int size);

    // Writes bytes received from the serial port as data frames of at most 31 payload bytes,
    // in order. Nothing for a count of 0 or less.
    void forwardData(const unsigned char* bytes, int count);

    // Frame reader only: how many bytes are waiting, without blocking; and take one of them.
    int available();
    bool readByte(unsigned char& byte);
    // Frame reader only: waits until a frame is written since the last wait, orWhenSet is set, or
    // limitMs pass. An anonymous pipe cannot be waited on everywhere; the writers' signal can.
    void waitForFrames(platform::Event& orWhenSet, int limitMs);

    // Throws away whatever is waiting. Only once the frame reader has ended for good.
    void discardWaiting();

private:
    platform::Lock writeLock;
    platform::BytePipe pipe;
    platform::Event frameWritten{platform::EventReset::Automatic};
};
