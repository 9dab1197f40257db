#pragma once

#include "link/ControlFrame.h"

// Reassembles control frames from the control pipe's byte stream, one byte at a time.
// Bytes without the header mark that arrive between frames are dropped, so a damaged stream
// resynchronises at the next header. A byte with the mark inside a frame is payload: writers
// never interleave their frames. A header announcing no payload still takes the next byte.
class FrameAssembler {
public:
    // Takes one byte; returns the complete frame (header first) once its last byte is in,
    // otherwise null. The frame stays valid until the next call.
    const unsigned char* accept(unsigned char byte);

private:
    enum State {
        WaitingForHeader,  // nothing of a frame seen yet
        Collecting,        // the header and frameIndex - 1 payload bytes are in frame
    };

    State frameState = WaitingForHeader;
    int frameIndex = 0;   // next position to fill in frame
    int frameLength = 0;  // header plus payload length of the frame being collected
    unsigned char frame[ControlFrame::kMaxSize] = {};
};
