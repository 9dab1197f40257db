#pragma once

#include <atomic>

#include "link/ControlPipe.h"
#include "link/FrameAssembler.h"
#include "link/MountProtocol.h"
#include "link/SerialPortLink.h"
#include "link/iTelescopeControl.h"
#include "platform/event.h"
#include "platform/thread.h"

class TelescopeListener;
class iLinkObserver;

// The link between the user interface and the mount. Requests arrive as control frames on its
// pipe; its own thread, the frame reader, carries them out one after another and reports the
// outcomes to the listener on that thread.
class TelescopeControl : public iTelescopeControl {
public:
    // How long shutdown waits for the frame reader to finish what it is doing: longer than its
    // longest step short of a close, a halt's five writes of up to 1000 ms each, and the time a
    // cancelled write may take to let go.
    static constexpr int kFrameReaderEndWaitMs =
        MountProtocol::kHaltWrites * SerialPortLink::kWriteWaitMs + 1000;

    // Starts the frame reader at once. listener is not owned and must outlive shutDown.
    explicit TelescopeControl(TelescopeListener* listener);
    // Shuts down first (see shutDown for when it may not be destroyed).
    virtual ~TelescopeControl();
    TelescopeControl(const TelescopeControl&) = delete;
    TelescopeControl& operator=(const TelescopeControl&) = delete;

    // Each writes one control frame and returns; any thread.
    void onHeartBeat() override;
    void connect(int port) override;
    void disconnect() override;
    void sendCorrection(int direction, int ticks) override;
    // Has the mount time a pulse of ms itself (:Mg), with a late stop in case it does not. Any
    // thread.
    void sendMountTimedCorrection(int direction, int ms);
    // Stops every motion of the mount (:Q# and each direction's stop), not only the link's own
    // pulses: for a tester that finds a mount moving when it should not. Any thread.
    void halt();

    // Brings the frame reader and the serial reader down and closes an open port, sending the
    // mount only the stop of each pulse still running; reports nothing. Frames still queued are
    // dropped, and a connect still settling sends nothing more. Every wait has a limit: true
    // once no thread of the link runs and none will report again; false if one did not come
    // down in time (a line whose driver never lets go): it was left to end with the process,
    // and this object must then never be destroyed. Call from the thread that owns the object,
    // after the heartbeat has let go of it; further calls return the same.
    bool shutDown();

    // Lets observer (null for none) watch the bytes on the serial line: the commands the frame
    // reader writes and the bytes the serial reader reads, each on that thread, from then on.
    // Any thread; best before connecting, so it sees a connection whole. Not owned: it must
    // outlive shutDown, or be replaced before it goes while no call to it can be running.
    void setObserver(iLinkObserver* observer) { serialLink.setObserver(observer); }

private:
    static void runFrameReader(void* self);
    void readFrames();
    void write(const CommandFrame& frame);
    // Waits ms, less once shutdown begins; false once it has begun.
    bool pauseUnlessShuttingDown(int ms);

    ControlPipe controlPipe;
    SerialPortLink serialLink;
    MountProtocol protocol;
    FrameAssembler frameAssembler;
    std::atomic<bool> stopRequested{false};
    platform::Event shutDownSignal{platform::EventReset::Manual};
    bool shutDownStarted = false;
    bool cameDown = false;
    platform::Thread frameThread;
};
