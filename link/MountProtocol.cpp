#include "link/MountProtocol.h"

#include <utility>

#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "link/ReplyShape.h"
#include "link/TelescopeListener.h"
#include "link/iSerialPortLink.h"

namespace {

// Sent right before every move command: LX200 mounts move at whatever rate was selected last,
// and many power on at the slew rate.
constexpr const char* kSelectGuideRate = ":RG#";

}  // namespace

MountProtocol::MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause)
    : serial(serial), listener(listener), pause(std::move(pause))
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
        if (portOpen) {
            disconnectPort();
        } else {
            report(StatusCode::NotConnected);
        }
        return;
    case ControlFrame::CommandTick:
        if (portOpen) handleTick();
        return;
    case ControlFrame::CommandHalt:
        if (portOpen) {
            halt();
        } else {
            report(StatusCode::NotConnected);
        }
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
    // Shutdown cuts the pause short: then nothing more goes to the mount.
    if (!pause(kSettleAfterOpenMs)) return;
    connectTicks = kHandshakeTicks;
    state = AwaitingSiderealTime;
    send(":GS#");
}

void MountProtocol::disconnectPort()
{
    const bool stopLost = !stopRunningPulses();
    closePort();
    report(StatusCode::ConnectionClosed);
    if (stopLost) report(StatusCode::CommunicationError);
}

void MountProtocol::handleTick()
{
    bool stopLost = false;
    if (connectTicks != 0) {
        --connectTicks;
        if (connectTicks == 0 && state >= AwaitingSiderealTime) {
            stopLost = !stopRunningPulses();
            closePort();
            report(StatusCode::Timeout);
        }
    }
    if (raTicks != 0) {
        --raTicks;
        if (raTicks == 0) stopLost |= !endPulse(eastWestStop());
    }
    if (decTicks != 0) {
        --decTicks;
        if (decTicks == 0) stopLost |= !endPulse(northSouthStop());
    }
    // The mount may still be moving: the line must not end on "Ready".
    if (stopLost) report(StatusCode::CommunicationError);
}

bool MountProtocol::endPulse(const char* stopCommand)
{
    const bool sent = send(stopCommand);
    report(StatusCode::Ready);
    return sent;
}

bool MountProtocol::stopRunningPulses()
{
    bool allSent = true;
    if (raTicks != 0) {
        allSent &= send(eastWestStop());
        raTicks = 0;
    }
    if (decTicks != 0) {
        allSent &= send(northSouthStop());
        decTicks = 0;
    }
    return allSent;
}

void MountProtocol::halt()
{
    // :Q# first; then each direction's stop, for mounts without :Q# and mounts that hold each
    // direction as a key of its own.
    bool allSent = send(":Q#");
    for (const char* stop : {":Qn#", ":Qs#", ":Qe#", ":Qw#"}) allSent &= send(stop);
    raTicks = 0;
    decTicks = 0;
    report(allSent ? StatusCode::Ready : StatusCode::CommunicationError);
}

const char* MountProtocol::eastWestStop() const
{
    return raDirection == static_cast<unsigned>(Direction::West) ? ":Qw#" : ":Qe#";
}

const char* MountProtocol::northSouthStop() const { return decSouth != 0 ? ":Qs#" : ":Qn#"; }

void MountProtocol::closePort()
{
    serial.closePort();
    portOpen = false;
}

void MountProtocol::stopForShutdown()
{
    if (!portOpen) return;
    stopRunningPulses();
    portOpen = false;
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
        if (shapeOfReply(reply, length) != ReplyShape::LongTime) return failHandshake();
        state = AwaitingRightAscension;
        send(":GR#");
        return;
    case AwaitingRightAscension:
        if (shapeOfReply(reply, length) != ReplyShape::LongTime) return failHandshake();
        state = AwaitingDeclination;
        send(":GD#");
        return;
    case AwaitingDeclination:
        if (shapeOfReply(reply, length) != ReplyShape::LongDeclination) return failHandshake();
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
    // A move whose guide rate could not be selected is not sent: the mount might carry it out
    // at the slew rate. A pulse whose move never reached the mount must not look as if it had.
    if (!send(kSelectGuideRate) || !send(moveCommand)) report(StatusCode::CommunicationError);
}

bool MountProtocol::send(const char* command)
{
    // Nothing is ever written to a closed port; that is no failed write.
    return !portOpen || serial.sendCommand(command);
}

void MountProtocol::report(StatusCode code)
{
    if (listener) listener->onStatus(static_cast<int>(code));
}
