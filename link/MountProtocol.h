#pragma once

#include <functional>
#include <optional>

#include "link/AxisPulse.h"
#include "link/ResponseParser.h"
#include "link/StatusCode.h"
#include "link/Tick.h"

class iSerialPortLink;
class TelescopeListener;

// What the link does with each control frame: connects and verifies the mount with a three-step
// LX200 handshake, disconnects, runs correction pulses at the mount's guide rate, counted in
// heartbeat ticks, and reports every outcome as a status code. A pulse's move leaves on the tick
// after its correction and its stop on the tick its count runs out, so it lasts whole ticks. A
// stop or halt that could not be written is owed until it is; whenever it closes the port it
// first sends the stops of the pulses still running and those owed, so the mount is never left
// moving. A mount-timed pulse (:Mg) holds its axis as a running pulse does, so the same stops
// cover it, and its countdown ends in a late stop. Runs on the frame reader's thread only, one
// frame at a time.
class MountProtocol {
public:
    static constexpr int kHandshakeTicks = 60;
    static constexpr int kSettleAfterOpenMs = 500;
    // An owed stop or halt is tried again once a second, each try with the write's own time limit.
    static constexpr int kOwedStopRetryTicks = 10;
    // A halt writes :Q# and the four stops.
    static constexpr int kHaltWrites = 5;
    // The longest pulse a mount can time: :Mg takes four digits of milliseconds.
    static constexpr int kLongestMountTimedMs = 9999;

    // A mount-timed pulse's stop goes out anyway after its time and half as much again, at least
    // 500 ms more: a mount that takes :Mg as a plain move is stopped then.
    static constexpr int lateStopTicks(int ms)
    {
        const int lateMs = (3 * ms + 1) / 2 > ms + 500 ? (3 * ms + 1) / 2 : ms + 500;
        return (lateMs + kTickMs - 1) / kTickMs;
    }

    // Waits ms after opening a port; false when shutdown cut the wait short.
    using Pause = std::function<bool(int ms)>;

    // pause is how the protocol waits after opening a port (tests pass their own).
    MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause);

    // Carries out one complete control frame: frame points at ControlFrame::kMaxSize bytes, the
    // header first; bytes past its payload are read, as they were left, only by malformed frames.
    void dispatchFrame(const unsigned char* frame);

    // For shutdown, once the frame reader has ended: sends the stop of each pulse still
    // running and each stop owed, and forgets the port, reporting nothing. The caller then
    // closes the port.
    void stopForShutdown();

    bool portIsOpen() const { return portOpen; }

private:
    enum MountState {
        NoAttemptYet = 0,
        Idle = 2,  // no handshake in progress
        AwaitingSiderealTime = 3,
        AwaitingRightAscension = 4,
        AwaitingDeclination = 5,
    };

    void connectTo(int portNumber);
    void disconnectPort();
    void handleTick();
    void receive(const unsigned char* bytes, int count);
    void handleResponse(const char* reply, int length);
    void failHandshake();
    // Reports the correction accepted, timed by the link or by the mount; its move waits for the
    // next tick.
    void acceptCorrection(const unsigned char* frame);
    // Stops every motion of the mount, whoever started it, and ends the running pulses and drops
    // the waiting moves with it; reports Ready, or a communication error if a write failed, and
    // then the halt is owed.
    void halt();
    // :Q# and every direction's stop; false if one could not be written.
    bool sendHalt();
    // Writes the halt, which is owed until it goes out whole, and is then tried again after the
    // retry ticks; true once it went out.
    bool writeOwedHalt();
    // Tries an owed halt again when its time has come; true if it reported anything.
    bool retryOwedHalt();
    // On a tick: sends the axis's waiting move, or counts its pulse down, ending it on its last
    // tick, and tries an owed stop again when its time has come; true if it reported anything.
    bool serveAxis(AxisPulse& axis);
    bool sendWaitingMove(AxisPulse& axis);
    void endPulse(AxisPulse& axis);
    void owe(AxisPulse& axis, const char* stop);
    // An owed halt, then the stops of both axes, east/west first, for the pulses running and the
    // stops owed; false if one could not be written. Forgets them all, and the waiting moves.
    bool stopRunningPulses();
    bool stopAxis(AxisPulse& axis);
    bool stopIsOwed() const { return haltOwed || ra.owedStop != nullptr || dec.owedStop != nullptr; }
    void closePort();
    // False only when a write to the open port failed or did not finish in time.
    bool send(const char* command);
    void report(StatusCode code);

    iSerialPortLink& serial;
    TelescopeListener* listener;
    Pause pause;

    ResponseParser parser;
    MountState state = NoAttemptYet;
    int connectTicks = 0;      // ticks left for the handshake
    AxisPulse ra;   // east/west
    AxisPulse dec;  // north/south
    bool haltOwed = false;     // a halt that could not be written whole
    int ticksToHaltRetry = 0;  // ticks until the owed halt is tried again
    bool portOpen = false;
    std::optional<StatusCode> lastReported;  // since the tick being handled began
};
