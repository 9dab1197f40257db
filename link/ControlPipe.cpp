#include "link/ControlPipe.h"

#include <algorithm>
#include <cstring>

#include "link/ControlFrame.h"
#include "platform/sleep.h"

ControlPipe::ControlPipe() : pipe(kBufferSize) {}

void ControlPipe::writeFrame(const unsigned char* frame, int size)
{
    platform::LockGuard hold(writeLock);
    pipe.write(frame, size);
    frameWritten.set();
}

void ControlPipe::forwardData(const unsigned char* bytes, int count)
{
    while (count > 0) {
        const int n = std::min(count, ControlFrame::kMaxPayload);
        unsigned char frame[ControlFrame::kMaxSize];
        frame[0] = ControlFrame::header(ControlFrame::TypeData, n);
        std::memcpy(frame + 1, bytes, static_cast<size_t>(n));
        writeFrame(frame, n + 1);
        bytes += n;
        count -= n;
    }
}

int ControlPipe::available() { return pipe.available(); }

bool ControlPipe::readByte(unsigned char& byte) { return pipe.readByte(byte); }

void ControlPipe::waitForFrames(platform::Event& orWhenSet, int limitMs)
{
    // Without its signals a wait returns at once; sleeping keeps the limit a limit.
    if (platform::Event::waitForFirst(frameWritten, orWhenSet, limitMs) == platform::FirstOfTwo::Failed) {
        platform::sleepMs(limitMs);
    }
}

void ControlPipe::discardWaiting()
{
    unsigned char byte;
    for (int waiting = pipe.available(); waiting > 0; --waiting) pipe.readByte(byte);
}
