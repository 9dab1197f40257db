#pragma once

#include <functional>

#include "link/ResponseParser.h"
#include "link/StatusCode.h"

class iSerialPortLink;
class TelescopeListener;

// What the link does with each control frame: connects and verifies the mount with a three-step
// LX200 handshake, disconnects, runs correction pulses at the mount's guide rate, counted in
// heartbeat ticks, and reports every outcome as a status code. Whenever it closes the port it
// first stops the pulses still running, so the mount is never left moving. Runs on the frame
// reader's thread only, one frame at a time.
class MountProtocol {
public:
    static constexpr int kHandshakeTicks = 60;
    static constexpr int kSettleAfterOpenMs = 500;

    // Waits ms after opening a port; false when shutdown cut the wait short.
    using Pause = std::function<bool(int ms)>;

    // pause is how the protocol waits after opening a port (tests pass their own).
    MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause);

    // Carries out one complete control frame: frame points at ControlFrame::kMaxSize bytes, the
    // header first; bytes past its payload are read, as they were left, only by malformed frames.
    void dispatchFrame(const unsigned char* frame);

    // For shutdown, once the frame reader has ended: sends the stop of each pulse still
    // running and forgets the port, reporting nothing. The caller then closes the port.
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
    void startCorrection(const unsigned char* frame);
    // Stops every motion of the mount, whoever started it, and ends the running pulses with it;
    // reports Ready, or a communication error if a stop could not be written.
    void halt();
    // Each sends a stop command and returns false if it could not be written.
    bool endPulse(const char* stopCommand);
    // East/west first, then north/south, only the axes whose pulse is running.
    bool stopRunningPulses();
    // The stop of each axis's last direction.
    const char* eastWestStop() const;
    const char* northSouthStop() const;
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
    int raTicks = 0;           // ticks left of the east/west pulse
    int decTicks = 0;          // ticks left of the north/south pulse
    unsigned raDirection = 0;  // direction of the last east/west pulse: 2 west, 3 east
    unsigned decSouth = 0;     // 1 if the last north/south pulse went south
    bool portOpen = false;
};
