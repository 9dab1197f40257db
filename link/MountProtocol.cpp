#include "link/MountProtocol.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "lx200/ReplyShape.h"
#include "link/TelescopeListener.h"
#include "link/iSerialPortLink.h"

namespace {

// Sent right before every move command: LX200 mounts move at whatever rate was selected last,
// and many power on at the slew rate.
constexpr const char* kSelectGuideRate = ":RG#";

// What a correction in one direction sends, and on which axis.
struct PulseCommands {
    const char* move;
    const char* stop;
    bool eastWest;
};

const PulseCommands* commandsFor(int direction)
{
    static const PulseCommands north{":Mn#", ":Qn#", false};
    static const PulseCommands south{":Ms#", ":Qs#", false};
    static const PulseCommands west{":Mw#", ":Qw#", true};
    static const PulseCommands east{":Me#", ":Qe#", true};
    switch (direction) {
    case static_cast<int>(Direction::North):
        return &north;
    case static_cast<int>(Direction::South):
        return &south;
    case static_cast<int>(Direction::West):
        return &west;
    case static_cast<int>(Direction::East):
        return &east;
    default:
        return nullptr;
    }
}

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
        // Corrections, and codes without a meaning, which acceptCorrection ignores.
        if (portOpen) {
            acceptCorrection(frame);
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
    ra = AxisPulse{};
    dec = AxisPulse{};
    haltOwed = false;
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
    lastReported.reset();
    bool stopLost = false;
    bool reported = false;
    if (connectTicks != 0) {
        --connectTicks;
        if (connectTicks == 0 && state >= AwaitingSiderealTime) {
            stopLost = !stopRunningPulses();
            closePort();
            report(StatusCode::Timeout);
            reported = true;
        }
    }
    reported |= retryOwedHalt();
    reported |= serveAxis(ra);
    reported |= serveAxis(dec);
    // The mount may still be moving: the line must not end on "Ready".
    if ((stopLost || (reported && stopIsOwed())) && lastReported != StatusCode::CommunicationError) {
        report(StatusCode::CommunicationError);
    }
}

bool MountProtocol::serveAxis(AxisPulse& axis)
{
    // The tick that sends a move is the pulse's first: its countdown starts with the next.
    if (axis.hasWaitingMove()) return sendWaitingMove(axis);
    bool reported = false;
    if (axis.owedStop && --axis.ticksToRetry <= 0) {
        if (send(axis.owedStop)) {
            axis.owedStop = nullptr;
            report(StatusCode::Ready);
        } else {
            axis.ticksToRetry = kOwedStopRetryTicks;
        }
        reported = true;
    }
    if (!axis.running() || --axis.ticks > 0) return reported;
    endPulse(axis);
    return true;
}

bool MountProtocol::sendWaitingMove(AxisPulse& axis)
{
    const AxisPulse::Waiting next = axis.waiting;
    axis.waiting = AxisPulse::Waiting{};
    // Whatever may still hold the mount is let go before it moves again: a halt that could not
    // be written, and the other direction of this axis, since many mounts treat the four
    // directions as four keys and nothing would ever release it.
    if (haltOwed && !writeOwedHalt()) {
        report(StatusCode::CommunicationError);
        return true;
    }
    const char* held = axis.heldStop();
    if (held && std::strcmp(held, next.stop) != 0) {
        axis.release();
        if (!send(held)) {
            owe(axis, held);
            report(StatusCode::CommunicationError);
            return true;
        }
    }
    // The same direction again: its countdown starts anew and its stop ends it, owed or not.
    axis.owedStop = nullptr;
    axis.ticks = next.ticks;
    axis.stop = next.stop;
    if (next.mountTimedMs > 0) {
        // :Mg moves at the guide rate by its own definition, and guiding software sends it alone.
        char timedMove[16];
        std::snprintf(timedMove, sizeof timedMove, ":Mg%c%04d#", next.move[2], next.mountTimedMs);
        if (send(timedMove)) return false;
        report(StatusCode::CommunicationError);
        return true;
    }
    // A move whose guide rate could not be selected is not sent: the mount might carry it out
    // at the slew rate. A pulse whose move never reached the mount must not look as if it had.
    if (send(kSelectGuideRate) && send(next.move)) return false;
    report(StatusCode::CommunicationError);
    return true;
}

void MountProtocol::endPulse(AxisPulse& axis)
{
    if (!send(axis.stop)) owe(axis, axis.stop);
    report(StatusCode::Ready);
}

void MountProtocol::owe(AxisPulse& axis, const char* stop)
{
    axis.owedStop = stop;
    axis.ticksToRetry = kOwedStopRetryTicks;
}

bool MountProtocol::stopRunningPulses()
{
    const bool halted = !haltOwed || sendHalt();
    haltOwed = false;
    const bool eastWestStopped = stopAxis(ra);
    const bool northSouthStopped = stopAxis(dec);
    return halted && eastWestStopped && northSouthStopped;
}

void MountProtocol::halt()
{
    // The halt's own stops cover every pulse and every owed stop.
    ra.release();
    dec.release();
    report(writeOwedHalt() ? StatusCode::Ready : StatusCode::CommunicationError);
}

bool MountProtocol::writeOwedHalt()
{
    haltOwed = !sendHalt();
    if (haltOwed) ticksToHaltRetry = kOwedStopRetryTicks;
    return !haltOwed;
}

bool MountProtocol::sendHalt()
{
    // :Q# first; then each direction's stop, for mounts without :Q# and mounts that hold each
    // direction as a key of its own.
    bool allSent = send(":Q#");
    for (const char* stop : {":Qn#", ":Qs#", ":Qe#", ":Qw#"}) allSent &= send(stop);
    return allSent;
}

bool MountProtocol::retryOwedHalt()
{
    if (!haltOwed || --ticksToHaltRetry > 0) return false;
    if (writeOwedHalt()) report(StatusCode::Ready);
    return true;
}

bool MountProtocol::stopAxis(AxisPulse& axis)
{
    const char* stop = axis.release();
    return stop == nullptr || send(stop);
}

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

void MountProtocol::acceptCorrection(const unsigned char* frame)
{
    const unsigned char* payload = frame + 1;
    const bool mountTimed = payload[0] == ControlFrame::CommandMountTimedCorrection;
    if (payload[0] != ControlFrame::CommandCorrection && !mountTimed) return;
    const int mountTimedMs = mountTimed ? payload[2] << 8 | payload[3] : 0;
    // :Mg has room for four digits.
    if (mountTimedMs > kLongestMountTimedMs) return;
    const int ticks = mountTimed ? lateStopTicks(mountTimedMs) : payload[2];
    // A pulse of no ticks would never be stopped.
    if (ticks == 0 || (mountTimed && mountTimedMs == 0)) return;
    report(StatusCode::SendingCorrection);
    const PulseCommands* commands = commandsFor(payload[1]);
    if (!commands) return;
    AxisPulse& axis = commands->eastWest ? ra : dec;
    // A later correction on the axis before the tick replaces this one.
    axis.waiting = AxisPulse::Waiting{commands->move, commands->stop, ticks, mountTimedMs};
}

bool MountProtocol::send(const char* command)
{
    // Nothing is ever written to a closed port; that is no failed write.
    return !portOpen || serial.sendCommand(command);
}

void MountProtocol::report(StatusCode code)
{
    lastReported = code;
    if (listener) listener->onStatus(static_cast<int>(code));
}
