#include "link/TelescopeControl.h"

#include "link/ControlFrame.h"
#include "link/Tick.h"
#include "platform/sleep.h"

namespace {
// How long the frame reader sleeps when the pipe is empty.
constexpr int kEmptyPipePollMs = kTickMs;
}

TelescopeControl::TelescopeControl(TelescopeListener* listener)
    : serialLink(controlPipe), protocol(serialLink, listener, &platform::sleepMs)
{
    frameThread.start(&TelescopeControl::runFrameReader, this);
}

TelescopeControl::~TelescopeControl() { shutDown(); }

void TelescopeControl::onHeartBeat() { write(ControlFrame::tick()); }

void TelescopeControl::connect(int port) { write(ControlFrame::connect(port)); }

void TelescopeControl::disconnect() { write(ControlFrame::disconnect()); }

void TelescopeControl::sendCorrection(int direction, int ticks) { write(ControlFrame::correction(direction, ticks)); }

void TelescopeControl::write(const CommandFrame& frame) { controlPipe.writeFrame(frame.bytes, frame.size); }

void TelescopeControl::shutDown()
{
    stopRequested = true;
    frameThread.waitForEnd(platform::kWaitForever);
    serialLink.shutDown();
}

void TelescopeControl::runFrameReader(void* self) { static_cast<TelescopeControl*>(self)->readFrames(); }

void TelescopeControl::readFrames()
{
    while (!stopRequested) {
        unsigned char byte;
        if (controlPipe.available() == 0 || !controlPipe.readByte(byte)) {
            platform::sleepMs(kEmptyPipePollMs);
            continue;
        }
        if (const unsigned char* frame = frameAssembler.accept(byte)) protocol.dispatchFrame(frame);
    }
}
