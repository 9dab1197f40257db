#include "link/FrameAssembler.h"

const unsigned char* FrameAssembler::accept(unsigned char byte)
{
    if (frameState == WaitingForHeader) {
        if (!ControlFrame::isHeader(byte)) return nullptr;
        frame[0] = byte;
        frameIndex = 1;
        frameLength = ControlFrame::payloadLengthOf(byte) + 1;
        frameState = Collecting;
        return nullptr;
    }
    frame[frameIndex] = byte;
    ++frameIndex;
    if (frameIndex < frameLength) return nullptr;
    frameState = WaitingForHeader;
    return frame;
}
