#pragma once

#include <atomic>

#include "link/ControlPipe.h"
#include "link/FrameAssembler.h"
#include "link/MountProtocol.h"
#include "link/SerialPortLink.h"
#include "link/iTelescopeControl.h"
#include "platform/thread.h"

class TelescopeListener;
class iLinkObserver;

// The link between the user interface and the mount. Requests arrive as control frames on its
// pipe; its own thread, the frame reader, carries them out one after another and reports the
// outcomes to the listener on that thread.
class TelescopeControl : public iTelescopeControl {
public:
    // Starts the frame reader at once. listener is not owned and must outlive shutDown.
    explicit TelescopeControl(TelescopeListener* listener);
    // Shuts down first.
    virtual ~TelescopeControl();
    TelescopeControl(const TelescopeControl&) = delete;
    TelescopeControl& operator=(const TelescopeControl&) = delete;

    // Each writes one control frame and returns; any thread.
    void onHeartBeat() override;
    void connect(int port) override;
    void disconnect() override;
    void sendCorrection(int direction, int ticks) override;

    // Brings the frame reader and the serial reader down and closes an open port without
    // sending anything; once it returns no status is reported and no thread of the link runs.
    // Frames still queued are dropped. Waits for the frame being handled (a close can take
    // 10 s). Call from the thread that owns the object; further calls do nothing.
    void shutDown();

    // Lets observer (null for none) watch the bytes on the serial line: the commands the frame
    // reader writes and the bytes the serial reader reads, each on that thread, from then on.
    // Any thread; best before connecting, so it sees a connection whole. Not owned: it must
    // outlive shutDown, or be replaced before it goes while no call to it can be running.
    void setObserver(iLinkObserver* observer) { serialLink.setObserver(observer); }

private:
    static void runFrameReader(void* self);
    void readFrames();
    void write(const CommandFrame& frame);

    ControlPipe controlPipe;
    SerialPortLink serialLink;
    MountProtocol protocol;
    FrameAssembler frameAssembler;
    std::atomic<bool> stopRequested{false};
    platform::Thread frameThread;
};
