#include "link/TelescopeControl.h"

#include "link/ControlFrame.h"
#include "link/Tick.h"
#include "platform/sleep.h"
#include "platform/thread_priority.h"

namespace {
// How long the frame reader waits on an empty pipe before it looks again: frames wake it at once,
// so this only bounds a wake-up that went astray.
constexpr int kEmptyPipeWaitLimitMs = kTickMs;
}

TelescopeControl::TelescopeControl(TelescopeListener* listener)
    : serialLink(controlPipe),
      protocol(serialLink, listener, [this](int ms) { return pauseUnlessShuttingDown(ms); })
{
    frameThread.start(&TelescopeControl::runFrameReader, this);
}

TelescopeControl::~TelescopeControl() { shutDown(); }

void TelescopeControl::onHeartBeat() { write(ControlFrame::tick()); }

void TelescopeControl::connect(int port) { write(ControlFrame::connect(port)); }

void TelescopeControl::disconnect() { write(ControlFrame::disconnect()); }

void TelescopeControl::sendCorrection(int direction, int ticks) { write(ControlFrame::correction(direction, ticks)); }

void TelescopeControl::sendMountTimedCorrection(int direction, int ms)
{
    write(ControlFrame::mountTimedCorrection(direction, ms));
}

void TelescopeControl::halt() { write(ControlFrame::halt()); }

void TelescopeControl::write(const CommandFrame& frame) { controlPipe.writeFrame(frame.bytes, frame.size); }

bool TelescopeControl::shutDown()
{
    if (shutDownStarted) return cameDown;
    shutDownStarted = true;
    stopRequested = true;
    shutDownSignal.set();
    if (!frameThread.waitForEnd(kFrameReaderEndWaitMs)) {
        // Still inside a close or a write that the line never finishes: the link's state is
        // that thread's, so nothing more can be sent. It ends with the process.
        frameThread.abandon();
        return cameDown = false;
    }
    protocol.stopForShutdown();
    return cameDown = serialLink.shutDown();
}

bool TelescopeControl::pauseUnlessShuttingDown(int ms)
{
    // Without its signal the wait returns at once; sleeping keeps the pause a pause.
    if (shutDownSignal.wait(ms) == platform::WaitResult::Failed) platform::sleepMs(ms);
    return !stopRequested;
}

void TelescopeControl::runFrameReader(void* self) { static_cast<TelescopeControl*>(self)->readFrames(); }

void TelescopeControl::readFrames()
{
    // A tick handled late moves a pulse's move or stop with it.
    platform::runCallingThreadForTiming();
    while (!stopRequested) {
        unsigned char byte;
        if (controlPipe.available() == 0 || !controlPipe.readByte(byte)) {
            controlPipe.waitForFrames(shutDownSignal, kEmptyPipeWaitLimitMs);
            continue;
        }
        if (const unsigned char* frame = frameAssembler.accept(byte)) protocol.dispatchFrame(frame);
    }
}
