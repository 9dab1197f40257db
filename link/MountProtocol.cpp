#include "link/MountProtocol.h"

#include <cstring>
#include <utility>

#include "link/ControlFrame.h"
#include "link/Direction.h"
#include "link/Tick.h"
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

MountProtocol::MountProtocol(iSerialPortLink& serial, TelescopeListener* listener, Pause pause,
                             ControlBacklog controlBacklog, Clock clock)
    : serial(serial),
      listener(listener),
      pause(std::move(pause)),
      controlBacklog(std::move(controlBacklog)),
      clock(std::move(clock))
{
}

void MountProtocol::dispatchFrame(const unsigned char* frame)
{
    const int type = ControlFrame::typeOf(frame[0]);
    const int n = ControlFrame::payloadLengthOf(frame[0]);
    const unsigned char* payload = frame + 1;
    ra.passFrame(ControlFrame::sizeInPipe(frame[0]));
    dec.passFrame(ControlFrame::sizeInPipe(frame[0]));

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
    ra = AxisPulse{};
    dec = AxisPulse{};
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
    reported |= serveAxis(ra);
    reported |= serveAxis(dec);
    // The mount may still be moving: the line must not end on "Ready".
    if (stopLost || (reported && stopIsOwed())) report(StatusCode::CommunicationError);
}

bool MountProtocol::serveAxis(AxisPulse& axis)
{
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
    // Ticks written before the move went out are not the pulse's: they would cut it short.
    if (!axis.running() || axis.frameWasQueued || --axis.ticks > 0) return reported;
    // The frame reader wakes close to the heartbeat's phase, so the first tick written after the
    // move may have come a moment after it and been handled with the next: the pulse then ends
    // on the following tick rather than a tick early.
    if (clock() - axis.movedAt < axis.shortest) {
        axis.ticks = 1;
        return reported;
    }
    endPulse(axis);
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
    const bool eastWestStopped = stopAxis(ra);
    const bool northSouthStopped = stopAxis(dec);
    return eastWestStopped && northSouthStopped;
}

void MountProtocol::halt()
{
    // :Q# first; then each direction's stop, for mounts without :Q# and mounts that hold each
    // direction as a key of its own.
    bool allSent = send(":Q#");
    for (const char* stop : {":Qn#", ":Qs#", ":Qe#", ":Qw#"}) allSent &= send(stop);
    // Every stop went out: none is owed any more. Otherwise each axis still held, by a pulse
    // under way or an earlier lost stop, owes its own stop until it is written.
    for (AxisPulse* axis : {&ra, &dec}) {
        const char* held = axis->release();
        if (!allSent && held) owe(*axis, held);
    }
    report(allSent ? StatusCode::Ready : StatusCode::CommunicationError);
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

void MountProtocol::startCorrection(const unsigned char* frame)
{
    const unsigned char* payload = frame + 1;
    if (payload[0] != ControlFrame::CommandCorrection) return;
    const int ticks = payload[2];
    // A pulse of no ticks would never be stopped.
    if (ticks == 0) return;
    report(StatusCode::SendingCorrection);
    const PulseCommands* commands = commandsFor(payload[1]);
    if (!commands) return;
    AxisPulse& axis = commands->eastWest ? ra : dec;

    // Many mounts treat the four directions as four keys: the other direction of the axis is
    // let go before this one is pressed, or nothing would ever release it.
    const char* held = axis.heldStop();
    if (held && std::strcmp(held, commands->stop) != 0) {
        axis.release();
        if (!send(held)) {
            owe(axis, held);
            report(StatusCode::CommunicationError);
            return;
        }
    }
    // The same direction again: its countdown starts anew and its stop ends it, owed or not.
    axis.owedStop = nullptr;
    axis.ticks = ticks;
    axis.shortest = std::chrono::milliseconds(ticks * kTickMs - kTickMs / 2);
    axis.stop = commands->stop;
    // A move whose guide rate could not be selected is not sent: the mount might carry it out
    // at the slew rate. A pulse whose move never reached the mount must not look as if it had.
    if (!send(kSelectGuideRate) || !send(commands->move)) report(StatusCode::CommunicationError);
    axis.backlogBytes = controlBacklog();
    axis.movedAt = clock();
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
