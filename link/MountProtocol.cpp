#include "link/MountProtocol.h"

#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "link/TelescopeListener.h"
#include "link/iSerialPortLink.h"

namespace {

// Handshake replies are accepted only in these shapes: sidereal time and right ascension as
// eight characters starting with "0" (00 to 09 hours, such as 01:23:45), declination as nine
// characters starting with "+" (such as +12*34'56).
constexpr int kTimeReplyLength = 8;
constexpr int kDeclinationReplyLength = 9;

bool isEarlyTime(const char* reply, int length) { return length == kTimeReplyLength && reply[0] == '0'; }
bool isPositiveDeclination(const char* reply, int length)
{
    return length == kDeclinationReplyLength && reply[0] == '+';
}

}  // namespace

MountProtocol::MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause)
    : serial(serial), listener(listener), pause(pause)
{
}

void MountProtocol::dispatchFrame(const unsigned char* frame)
{
    const int type = ControlFrame::typeOf(frame[0]);
    const int n = ControlFrame::payloadLengthOf(frame[0]);
    const unsigned char* payload = frame + 1;

    if (type == ControlFrame::TypeData) {
        if (portOpen) receive(payload, n);
        return;
    }
    if (type != ControlFrame::TypeCommand || n == 0) return;

    switch (payload[0]) {
    case ControlFrame::CommandConnect:
        if (n == 2) connectTo(payload[1]);
        return;
    case ControlFrame::CommandDisconnect:
        if (!portOpen) {
            report(StatusCode::NotConnected);
            return;
        }
        serial.closePort();
        portOpen = false;
        report(StatusCode::ConnectionClosed);
        return;
    case ControlFrame::CommandTick:
        if (portOpen) handleTick();
        return;
    default:
        // Corrections, and codes without a meaning, which startCorrection ignores.
        if (portOpen) {
            startCorrection(frame);
        } else {
            report(StatusCode::NotConnected);
        }
        return;
    }
}

void MountProtocol::connectTo(int portNumber)
{
    if (portOpen) {
        report(StatusCode::AlreadyConnected);
        return;
    }
    if (!serial.openPort(portNumber)) {
        report(StatusCode::CannotOpenPort);
        return;
    }
    connectTicks = 0;
    raTicks = 0;
    decTicks = 0;
    parser.reset();
    serial.startReader();
    portOpen = true;
    report(StatusCode::Connecting);
    pause(kSettleAfterOpenMs);
    connectTicks = kHandshakeTicks;
    state = AwaitingSiderealTime;
    send(":GS#");
}

void MountProtocol::handleTick()
{
    if (connectTicks != 0) {
        --connectTicks;
        if (connectTicks == 0 && state >= AwaitingSiderealTime) {
            serial.closePort();
            portOpen = false;
            report(StatusCode::Timeout);
        }
    }
    if (raTicks != 0) {
        --raTicks;
        if (raTicks == 0) endPulse(raDirection == static_cast<unsigned>(Direction::West) ? ":Qw#" : ":Qe#");
    }
    if (decTicks != 0) {
        --decTicks;
        if (decTicks == 0) endPulse(decSouth != 0 ? ":Qs#" : ":Qn#");
    }
}

void MountProtocol::endPulse(const char* stopCommand)
{
    const bool lost = !send(stopCommand);
    report(StatusCode::Ready);
    // The mount may still be moving: the line must not end on "Ready".
    if (lost) report(StatusCode::CommunicationError);
}

void MountProtocol::receive(const unsigned char* bytes, int count)
{
    for (int i = 0; i < count; ++i) {
        if (parser.accept(bytes[i])) handleResponse(parser.reply(), parser.length());
    }
}

void MountProtocol::handleResponse(const char* reply, int length)
{
    if (reply[0] == '!') {
        state = Idle;
        report(StatusCode::CommunicationError);
        return;
    }
    switch (state) {
    case AwaitingSiderealTime:
        if (!isEarlyTime(reply, length)) return failHandshake();
        state = AwaitingRightAscension;
        send(":GR#");
        return;
    case AwaitingRightAscension:
        if (!isEarlyTime(reply, length)) return failHandshake();
        state = AwaitingDeclination;
        send(":GD#");
        return;
    case AwaitingDeclination:
        if (!isPositiveDeclination(reply, length)) return failHandshake();
        state = Idle;
        connectTicks = 0;
        report(StatusCode::Ready);
        return;
    default:
        return;
    }
}

void MountProtocol::failHandshake()
{
    report(StatusCode::CommunicationError);
    state = Idle;
}

void MountProtocol::startCorrection(const unsigned char* frame)
{
    const unsigned char* payload = frame + 1;
    if (payload[0] != ControlFrame::CommandCorrection) return;
    report(StatusCode::SendingCorrection);
    const int direction = payload[1];
    const int ticks = payload[2];
    const char* moveCommand;
    switch (direction) {
    case static_cast<int>(Direction::North):
        decTicks = ticks;
        decSouth = 0;
        moveCommand = ":Mn#";
        break;
    case static_cast<int>(Direction::South):
        decTicks = ticks;
        decSouth = 1;
        moveCommand = ":Ms#";
        break;
    case static_cast<int>(Direction::West):
        raTicks = ticks;
        raDirection = static_cast<unsigned>(Direction::West);
        moveCommand = ":Mw#";
        break;
    case static_cast<int>(Direction::East):
        raTicks = ticks;
        raDirection = static_cast<unsigned>(Direction::East);
        moveCommand = ":Me#";
        break;
    default:
        return;
    }
    // A pulse whose move never reached the mount must not look as if it had.
    if (!send(moveCommand)) report(StatusCode::CommunicationError);
}

bool MountProtocol::send(const char* command)
{
    // A pulse that ends in the tick in which the handshake time-out closed the port has no
    // port to send its stop command to; that is no failed write.
    return !portOpen || serial.sendCommand(command);
}

void MountProtocol::report(StatusCode code)
{
    if (listener) listener->onStatus(static_cast<int>(code));
}
