#pragma once

#include "link/ResponseParser.h"
#include "link/StatusCode.h"

class iSerialPortLink;
class TelescopeListener;

// What the link does with each control frame: connects and verifies the mount with a three-step
// LX200 handshake, disconnects, runs correction pulses counted in heartbeat ticks, and reports
// every outcome as a status code. Runs on the frame reader's thread only, one frame at a time.
class MountProtocol {
public:
    static constexpr int kHandshakeTicks = 60;
    static constexpr int kSettleAfterOpenMs = 500;

    using Pause = void (*)(int ms);

    // pause is how the protocol waits after opening a port (the platform's sleep; tests pass
    // their own).
    MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause);

    // Carries out one complete control frame: frame points at ControlFrame::kMaxSize bytes, the
    // header first; bytes past its payload are read, as they were left, only by malformed frames.
    void dispatchFrame(const unsigned char* frame);

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
    void handleTick();
    void receive(const unsigned char* bytes, int count);
    void handleResponse(const char* reply, int length);
    void failHandshake();
    void startCorrection(const unsigned char* frame);
    void endPulse(const char* stopCommand);
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
