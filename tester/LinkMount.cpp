#include "tester/LinkMount.h"

#include <algorithm>

#include "link/MountProtocol.h"
#include "link/PulseLength.h"
#include "link/StatusCode.h"
#include "link/Tick.h"
#include "platform/interrupt.h"
#include "tester/Advice.h"
#include "tester/ExitCode.h"
#include "tester/HandshakeFailure.h"
#include "tester/TestReport.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kPoll = 100ms;
// How often a pulse looks for an interrupt: until its move has gone out, so often that a stop
// asked for then reaches the link before the tick that would send the move; after that, so
// often that the stop follows at once.
constexpr std::chrono::milliseconds kBeforeTheMovePoll = 1ms;
constexpr std::chrono::milliseconds kDuringThePulsePoll = 10ms;
// Far longer than a handshake can take (the settle time, then 60 ticks); past it the link is stuck.
constexpr std::chrono::seconds kHandshakeLimit{20};
// How much longer than its ticks a pulse may take before the link counts as stuck.
constexpr std::chrono::seconds kPulseSlack{5};
// Far longer than the last command takes to go out at 9600 baud (about 5 ms).
constexpr std::chrono::milliseconds kLastBytesOut = 100ms;
// Closing a port can take up to 10 s.
constexpr std::chrono::seconds kCloseLimit{15};
constexpr double kHandshakeSeconds = MountProtocol::kHandshakeTicks * kTickMs / 1000.0;

bool is(const LinkEvent& event, StatusCode code)
{
    return event.kind == LinkEvent::Kind::Status && event.code == static_cast<int>(code);
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

double millisecondsBetween(LinkEvent::Clock::time_point from, LinkEvent::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

std::unique_ptr<MountUnderTest> MountUnderTest::reachedBy(const devices::PortChoice& port, TestReport& report)
{
    return std::make_unique<LinkMount>(port, report);
}

LinkMount::LinkMount(const devices::PortChoice& port, TestReport& report) : report(report), port(port) {}

std::optional<LinkEvent> LinkMount::take(std::chrono::milliseconds timeout)
{
    std::optional<LinkEvent> event = session.next(timeout);
    if (!event) return event;
    report.event(*event);
    replies.note(*event);
    if (event->kind == LinkEvent::Kind::Sent) {
        lastCommand = event->bytes;
        lastSentAt = event->at;
    }
    if (is(*event, StatusCode::Connecting)) portOpen = true;
    if (is(*event, StatusCode::Timeout) || is(*event, StatusCode::ConnectionClosed)) portOpen = false;
    return event;
}

void LinkMount::wait(std::chrono::milliseconds span, bool (*cutShort)())
{
    const Clock::time_point until = Clock::now() + span;
    for (Clock::time_point now = Clock::now(); now < until && !cutShort(); now = Clock::now()) {
        take(std::min(kPoll, std::chrono::ceil<std::chrono::milliseconds>(until - now)));
    }
}

MountUnderTest::Connection LinkMount::connect(bool interruptible)
{
    replies.restart();
    session.connect(port.number);
    const Clock::time_point began = Clock::now();
    Clock::time_point lastProgress = began;
    for (;;) {
        if (interruptible && interrupt::requested()) return Connection::Interrupted;
        // Whatever arrives: a line that chatters without end must not hold the wait open.
        if (Clock::now() - began > kHandshakeLimit) return Connection::Unanswered;
        const std::optional<LinkEvent> event = take(kPoll);
        const Clock::time_point now = Clock::now();
        if (!event) {
            // Progress once a second while the mount keeps the link waiting.
            if (portOpen && !lastCommand.empty() && now - lastSentAt >= 1s && now - lastProgress >= 1s) {
                report.waiting("the reply to " + lastCommand,
                               std::chrono::duration<double>(now - lastSentAt).count(), kHandshakeSeconds);
                lastProgress = now;
            }
            continue;
        }
        lastProgress = now;
        if (event->kind != LinkEvent::Kind::Status) continue;
        switch (static_cast<StatusCode>(event->code)) {
        case StatusCode::Ready:
            return Connection::Ready;
        case StatusCode::CannotOpenPort:
            return Connection::CannotOpen;
        case StatusCode::Timeout:
            return Connection::Timeout;
        case StatusCode::CommunicationError:
            return Connection::CommunicationError;
        default:
            continue;
        }
    }
}

void LinkMount::waitForHandshakeEnd()
{
    const Clock::time_point limit = Clock::now() + kHandshakeLimit;
    while (portOpen && Clock::now() < limit && !interrupt::insisted()) {
        const std::optional<LinkEvent> event = take(kPoll);
        if (event && (is(*event, StatusCode::Ready) || is(*event, StatusCode::CommunicationError))) return;
    }
}

CheckResult LinkMount::connectFailed(Connection outcome, bool forPosition) const
{
    return handshake::failure(outcome, replies, port, forPosition);
}

CheckResult LinkMount::checked()
{
    return {kExitPass, "pass", handshake::linkReports(StatusCode::Ready) + ": the mount answered the handshake", {},
            ""};
}

std::vector<std::string> LinkMount::pulseAdvice(bool measured) const
{
    return measured ? advice::outOfBound() : advice::lineFailed();
}

void LinkMount::disconnect()
{
    if (!portOpen) return;
    // Closing the port discards whatever has not gone out yet: a stop command just written
    // must have the time to reach the mount first. A second interrupt cuts the waits short, not
    // the stops: the session sends those of running pulses as it shuts down.
    wait(kLastBytesOut, interrupt::insisted);
    session.disconnect();
    const Clock::time_point limit = Clock::now() + kCloseLimit;
    while (portOpen && Clock::now() < limit && !interrupt::insisted()) take(kPoll);
}

PulseReport LinkMount::pulse(Direction direction, int askedMs, PulseTiming timing, int allowanceMs, int slackMs)
{
    // As the dialog corrects the pulse field.
    const PulseLength length = PulseLength::fromField(static_cast<unsigned>(askedMs));
    const bool mountTimed = timing == PulseTiming::ByMount;
    PulseReport report;
    report.direction = direction;
    report.askedMs = askedMs;
    report.requestedMs = length.ms;
    report.timing = timing;
    report.ticks = mountTimed ? MountProtocol::lateStopTicks(length.ms) : length.ticks();
    report.bound = PulseBound::forPulse(report.ticks, allowanceMs, slackMs);

    if (interrupt::requested()) {
        report.interrupted = true;
        report.problem = "interrupted before it was sent";
        return report;
    }
    if (mountTimed) {
        session.mountTimedCorrection(direction, length.ms);
    } else {
        session.correction(direction, report.ticks);
    }
    std::optional<LinkEvent> move;
    std::optional<LinkEvent> stop;
    bool accepted = false;
    const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(report.ticks * kTickMs) + kPulseSlack;
    for (;;) {
        if (interrupt::requested()) {
            // Not left to run its course: disconnecting sends its stop now.
            disconnect();
            report.interrupted = true;
            report.problem = "interrupted: stopped on disconnecting";
            return report;
        }
        // Whatever arrives: a line that chatters without end must not hold the wait open.
        if (Clock::now() >= limit) {
            report.problem = "the link did not end the pulse";
            return report;
        }
        const std::optional<LinkEvent> event = take(move ? kDuringThePulsePoll : kBeforeTheMovePoll);
        if (!event) continue;
        if (event->kind == LinkEvent::Kind::Sent) {
            if (startsWith(event->bytes, ":M") && !move) move = event;
            if (startsWith(event->bytes, ":Q") && move && !stop) stop = event;
        } else if (is(*event, StatusCode::SendingCorrection)) {
            accepted = true;
        } else if (is(*event, StatusCode::NotConnected)) {
            report.problem = "the link is not connected";
            return report;
        } else if (accepted && is(*event, StatusCode::Ready)) {
            break;
        }
    }
    // A stop that could not be written is followed by a communication error at once.
    if (stop && !stop->ok) {
        const Clock::time_point until = Clock::now() + 1s;
        while (Clock::now() < until) {
            const std::optional<LinkEvent> event = take(kPoll);
            if (event && is(*event, StatusCode::CommunicationError)) break;
        }
    }
    if (!move || !move->ok) {
        report.problem = "the move command could not be written";
    } else if (!stop) {
        report.problem = "no stop command was written";
    } else if (!stop->ok) {
        report.problem = "the stop command could not be written: the mount may still be moving";
    } else {
        report.measuredMs = millisecondsBetween(move->at, stop->at);
        report.passed = report.bound.holds(*report.measuredMs);
        if (report.bound.oneTickShort(*report.measuredMs)) report.problem = "one tick (100 ms) short";
    }
    return report;
}

std::optional<PositionReading> LinkMount::readPosition(bool stayConnected, Connection& outcome, bool interruptible)
{
    outcome = connect(interruptible);
    std::optional<PositionReading> reading;
    if (outcome == Connection::Ready) reading = PositionReading::from(replies);
    if (!stayConnected || !reading) disconnect();
    return reading;
}

std::string LinkMount::halt(bool& halted)
{
    const bool connectedForTheHalt = !portOpen;
    if (connectedForTheHalt) {
        // The halt goes out as soon as the port is open, before the handshake: a mount whose
        // replies fail may still hear it.
        replies.restart();
        session.connect(port.number);
        const Clock::time_point limit = Clock::now() + kCloseLimit;
        while (!portOpen && Clock::now() < limit) {
            const std::optional<LinkEvent> event = take(kPoll);
            if (event && is(*event, StatusCode::CannotOpenPort)) break;
        }
    }
    halted = false;
    if (portOpen) {
        session.halt();
        const Clock::time_point limit = Clock::now() + 3s;
        while (Clock::now() < limit) {
            const std::optional<LinkEvent> event = take(kPoll);
            if (!event || event->kind != LinkEvent::Kind::Status) continue;
            halted = is(*event, StatusCode::Ready);
            if (halted || is(*event, StatusCode::CommunicationError)) break;
        }
    }
    // The handshake the connect began is let run out: closed halfway, the answer to its last
    // question would come in after the next connect's :GS#, and pass for the answer to it.
    if (connectedForTheHalt) waitForHandshakeEnd();
    disconnect();
    return halted ? "motion sent the halt (:Q#) and every direction's stop (:Qn# :Qs# :Qe# :Qw#)."
                  : "motion could not send the halt (:Q#) and the stops: the line failed.";
}
