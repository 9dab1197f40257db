#include "cli/Tester.h"

#include <algorithm>

#include <fmt/format.h>

#include "cli/Interrupt.h"
#include "cli/MotionVerdict.h"
#include "cli/WireText.h"
#include "link/MountProtocol.h"
#include "link/ResponseParser.h"
#include "link/StatusCode.h"
#include "link/Tick.h"
#include "link/PulseLength.h"

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

// The dialog's words for code: the link reports "Ready" (status 7).
std::string reports(StatusCode code)
{
    const int number = static_cast<int>(code);
    return fmt::format("the link reports \"{}\" (status {})", wire::statusLine(number), number);
}

std::vector<std::string> lineAdvice()
{
    return {"A write to the port failed or did not finish within 1 s: the adapter may have been unplugged or the "
            "cable pulled. If the mount is still moving, stop it with its handset, then run 'guide-link check'."};
}

std::vector<std::string> outOfBoundAdvice()
{
    return {"The link keeps time with its 100 ms heartbeat; on a machine that is busy with other work its threads "
            "can be late. Try again on a quiet machine, or allow for it with --slack."};
}

std::vector<std::string> mountTimedAdvice()
{
    return {"The mount timed each pulse itself (:Mg): what it lasted cannot be measured on the line, as the mount "
            "stops by itself without a reply. guide-link sent the stop anyway once the pulse's time and half as "
            "much again were up, so a mount that takes :Mg as a plain move is left stopped. "
            "'guide-link motion --timed-by both' measures how far mount-timed pulses move the mount."};
}

// ":GS# (sidereal time)"
std::string withMeaning(const std::string& question)
{
    const std::string asked = wire::askedFor(question);
    return asked.empty() ? question : question + " (" + asked + ")";
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

double millisecondsBetween(LinkEvent::Clock::time_point from, LinkEvent::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

Tester::Tester(Output& out, const devices::PortChoice& port, const Settings& settings)
    : out(out), port(port), settings(settings)
{
}

std::optional<LinkEvent> Tester::take(std::chrono::milliseconds timeout)
{
    std::optional<LinkEvent> event = session.next(timeout);
    if (!event) return event;
    out.event(*event);
    replies.note(*event);
    if (event->kind == LinkEvent::Kind::Sent) {
        lastCommand = event->bytes;
        lastSentAt = event->at;
    }
    if (is(*event, StatusCode::Connecting)) portOpen = true;
    if (is(*event, StatusCode::Timeout) || is(*event, StatusCode::ConnectionClosed)) portOpen = false;
    return event;
}

void Tester::idle(int ms) { takeFor(std::chrono::milliseconds(ms), interrupt::requested); }

void Tester::takeFor(std::chrono::milliseconds span, bool (*cutShort)())
{
    const Clock::time_point until = Clock::now() + span;
    for (Clock::time_point now = Clock::now(); now < until && !cutShort(); now = Clock::now()) {
        take(std::min(kPoll, std::chrono::ceil<std::chrono::milliseconds>(until - now)));
    }
}

Tester::Handshake Tester::connect(bool interruptible)
{
    replies.restart();
    session.connect(port.number);
    const Clock::time_point began = Clock::now();
    Clock::time_point lastProgress = began;
    for (;;) {
        if (interruptible && interrupt::requested()) return Handshake::Interrupted;
        // Whatever arrives: a line that chatters without end must not hold the wait open.
        if (Clock::now() - began > kHandshakeLimit) return Handshake::Unanswered;
        const std::optional<LinkEvent> event = take(kPoll);
        const Clock::time_point now = Clock::now();
        if (!event) {
            // Progress once a second while the mount keeps the link waiting.
            if (portOpen && !lastCommand.empty() && now - lastSentAt >= 1s && now - lastProgress >= 1s) {
                out.waiting("the reply to " + lastCommand,
                            std::chrono::duration<double>(now - lastSentAt).count(), kHandshakeSeconds);
                lastProgress = now;
            }
            continue;
        }
        lastProgress = now;
        if (event->kind != LinkEvent::Kind::Status) continue;
        switch (static_cast<StatusCode>(event->code)) {
        case StatusCode::Ready:
            return Handshake::Ready;
        case StatusCode::CannotOpenPort:
            return Handshake::CannotOpen;
        case StatusCode::Timeout:
            return Handshake::Timeout;
        case StatusCode::CommunicationError:
            return Handshake::CommunicationError;
        default:
            continue;
        }
    }
}

void Tester::waitForHandshakeEnd()
{
    const Clock::time_point limit = Clock::now() + kHandshakeLimit;
    while (portOpen && Clock::now() < limit && !interrupt::insisted()) {
        const std::optional<LinkEvent> event = take(kPoll);
        if (event && (is(*event, StatusCode::Ready) || is(*event, StatusCode::CommunicationError))) return;
    }
}

int Tester::handshakeFailed(const std::string& command, Handshake outcome)
{
    switch (outcome) {
    case Handshake::Ready:
        return kExitPass;
    case Handshake::CannotOpen: {
        if (port.network) {
            out.result(command, kExitCannotStart, "error", "cannot reach " + port.device + ": " +
                       reports(StatusCode::CannotOpenPort), {devices::explainNetworkFailure(port)},
                       devices::networkFailureName(port));
            return kExitCannotStart;
        }
        const devices::OpenProblem problem = devices::diagnoseOpenFailure(port.device);
        out.result(command, kExitCannotStart, "error", "cannot open " + port.device + ": " + reports(StatusCode::CannotOpenPort),
                   {devices::explain(problem, port.device)}, devices::problemName(problem.kind));
        return kExitCannotStart;
    }
    case Handshake::Timeout: {
        std::vector<std::string> details;
        const std::string& question = replies.lastQuestion();
        details.push_back(fmt::format("No whole reply to {} came within {} heartbeat ticks (about {:.0f} s).",
                                      withMeaning(question), MountProtocol::kHandshakeTicks, kHandshakeSeconds));
        const std::string& unfinished = replies.unfinished();
        if (unfinished.empty()) {
            details.push_back("Nothing at all came back to it.");
        } else if (unfinished.find('#') == std::string::npos && unfinished.size() < ResponseParser::kCapacity) {
            details.push_back(fmt::format("These bytes came back without the closing '#': {}.", wire::quoted(unfinished)));
        } else {
            details.push_back(fmt::format("These bytes came back, but no whole reply (1 to {} characters, then '#'): {}.",
                                          ResponseParser::kCapacity - 1, wire::quoted(unfinished)));
        }
        details.push_back("Check that the mount is switched on and has finished starting up, that the cable "
                          "goes to the mount's RS-232 port, and that the mount talks at 9600 baud.");
        out.result(command, kExitFail, "fail", reports(StatusCode::Timeout), details);
        return kExitFail;
    }
    case Handshake::CommunicationError:
        out.result(command, kExitFail, "fail", reports(StatusCode::CommunicationError), explainCommunicationError());
        return kExitFail;
    case Handshake::Unanswered:
        out.result(command, kExitFail, "fail", "the link did not end the handshake within 20 s", {});
        return kExitFail;
    case Handshake::Interrupted:
        out.result(command, kExitInterrupted, "interrupted", "stopped before the handshake was over", {});
        return kExitInterrupted;
    }
    return kExitFail;
}

std::vector<std::string> Tester::explainCommunicationError() const
{
    using Verdict = HandshakeReplies::Verdict;
    const std::string question = withMeaning(replies.lastQuestion());
    const HandshakeReplies::Reply* reply = replies.judged();
    const HandshakeReplies::Reply* next = replies.afterJudged();
    const std::string then = next ? " Then came " + wire::quoted(next->text) + "." : "";
    const std::string tryAgain = "It may be the rest of an earlier answer, or another program or device talking on "
                                 "the line: try again, and if it happens again, make sure nothing else uses the port "
                                 "or the cable.";
    const auto replyWas = [&] {
        return fmt::format("The reply to {} was {} ({} characters before the '#'): {}.", question,
                           wire::quoted(reply->text), reply->text.size() - 1, wire::shapeName(reply->shape));
    };
    const std::string accepted = "The link takes only " + wire::acceptedReply(replies.lastQuestion()) + ".";

    switch (replies.verdict()) {
    case Verdict::NoReply:
        break;
    case Verdict::MountError:
        return {fmt::format("The mount answered {} with {}: a reply beginning with '!' is the mount reporting an "
                            "error.", replies.lastQuestion(), wire::quoted(reply->text)),
                "Look for a message on the mount's handset, then try again."};
    case Verdict::CameFirst:
        if (replies.judgedCameBeforeQuestion()) {
            return {fmt::format("Something else arrived first: {} came in before {} was sent, and the link took it "
                                "for the answer.{}", wire::quoted(reply->text), question, then),
                    tryAgain};
        }
        return {fmt::format("Something else arrived first: {} came in after {} was sent, ahead of {}, and the link "
                            "took it for the answer.", wire::quoted(reply->text), question, wire::quoted(next->text)),
                tryAgain};
    case Verdict::OtherQuestion:
        return {fmt::format("Something else arrived instead of the answer to {}: {}, {}.{}", question,
                            wire::quoted(reply->text), wire::shapeName(reply->shape), then),
                tryAgain};
    case Verdict::ShortFormat:
        return {replyWas(), accepted,
                "The mount is set to the short format: switch it to the long (\"high precision\") format on its "
                "handset, or send it the LX200 command :U#, which switches between the two; then run the check "
                "again."};
    case Verdict::NotAnAnswer:
        return {replyWas(), accepted,
                "Something else may be talking on the line (another program on this port, or another device on "
                "the cable), or the mount does not speak LX200, or not at 9600 baud: check that it is set to the "
                "LX200 command set."};
    case Verdict::Accepted:
        return {replyWas(), accepted, "Check that the mount is set to the LX200 command set."};
    }
    return {"The mount's reply could not be made out.", "Check that the mount is set to the LX200 command set."};
}

void Tester::disconnect()
{
    if (!portOpen) return;
    // Closing the port discards whatever has not gone out yet: a stop command just written
    // must have the time to reach the mount first. A second interrupt cuts the waits short, not
    // the stops: the session sends those of running pulses as it shuts down.
    takeFor(kLastBytesOut, interrupt::insisted);
    session.disconnect();
    const Clock::time_point limit = Clock::now() + kCloseLimit;
    while (portOpen && Clock::now() < limit && !interrupt::insisted()) take(kPoll);
}

int Tester::check()
{
    const Handshake outcome = connect();
    disconnect();
    if (outcome != Handshake::Ready) return handshakeFailed("check", outcome);
    out.result("check", kExitPass, "pass", reports(StatusCode::Ready) + ": the mount answered the handshake", {});
    return kExitPass;
}

PulseReport Tester::runPulse(Direction direction, int askedMs, PulseTiming timing)
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
    report.bound = PulseBound::forPulse(report.ticks, settings.allowanceMs, settings.slackMs);

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

int Tester::pulse(Direction direction, int askedMs)
{
    const Handshake outcome = connect();
    if (outcome != Handshake::Ready) {
        disconnect();
        return handshakeFailed("pulse", outcome);
    }
    const PulseReport report = runPulse(direction, askedMs, settings.timing);
    const bool mountTimed = settings.timing == PulseTiming::ByMount;
    const std::string length =
        mountTimed ? fmt::format("{} pulse of {} ms timed by the mount", directionName(direction), report.requestedMs)
                   : fmt::format("{} pulse of {} ms ({} ticks)", directionName(direction), report.requestedMs,
                                 report.ticks);
    if (report.interrupted) {
        disconnect();
        out.result("pulse", kExitInterrupted, "interrupted", "stopped during the " + length, {});
        return kExitInterrupted;
    }
    out.pulseDone(report, 1, 1);
    disconnect();
    if (report.passed && mountTimed) {
        out.result("pulse", kExitPass, "pass",
                   fmt::format("{} was sent, and the stop {:.1f} ms after it, within {:.0f} to {:.0f} ms", length,
                               *report.measuredMs, report.bound.lowerMs, report.bound.upperMs),
                   mountTimedAdvice());
        return kExitPass;
    }
    if (report.passed) {
        out.result("pulse", kExitPass, "pass",
                   fmt::format("{} lasted {:.1f} ms, within {:.0f} to {:.0f} ms", length, *report.measuredMs,
                               report.bound.lowerMs, report.bound.upperMs), {});
        return kExitPass;
    }
    const char* lasted = mountTimed ? "had its stop after" : "lasted";
    const std::string why = report.measuredMs
                                ? fmt::format("{} {:.1f} ms, outside {:.0f} to {:.0f} ms{}", lasted, *report.measuredMs,
                                              report.bound.lowerMs, report.bound.upperMs,
                                              report.problem.empty() ? "" : ": " + report.problem)
                                : "failed: " + report.problem;
    out.result("pulse", kExitFail, "fail", length + " " + why, report.measuredMs ? outOfBoundAdvice() : lineAdvice());
    return kExitFail;
}

int Tester::series(const std::vector<int>& lengthsMs)
{
    const Handshake outcome = connect();
    if (outcome != Handshake::Ready) {
        disconnect();
        return handshakeFailed("series", outcome);
    }
    const Direction directions[] = {Direction::North, Direction::South, Direction::East, Direction::West};
    const int total = static_cast<int>(lengthsMs.size() * 4);
    std::vector<PulseReport> reports;
    bool lineFailed = false;
    for (int lengthMs : lengthsMs) {
        for (Direction direction : directions) {
            if (lineFailed || interrupt::requested()) break;
            if (!reports.empty()) idle(settings.gapMs);
            PulseReport report = runPulse(direction, lengthMs, settings.timing);
            if (report.interrupted) break;
            reports.push_back(std::move(report));
            out.pulseDone(reports.back(), static_cast<int>(reports.size()), total);
            // Without a measurement something failed on the line; the rest would fail alike.
            lineFailed = !reports.back().measuredMs;
        }
    }
    disconnect();
    out.pulseTable(reports, settings.allowanceMs, settings.slackMs, settings.timing);

    int passed = 0;
    for (const PulseReport& report : reports) passed += report.passed ? 1 : 0;
    if (lineFailed) {
        out.result("series", kExitFail, "fail",
                   fmt::format("pulse {} of {} failed: {}; the series stopped there", reports.size(), total,
                               reports.back().problem), lineAdvice());
        return kExitFail;
    }
    if (static_cast<int>(reports.size()) < total) {
        out.result("series", kExitInterrupted, "interrupted",
                   fmt::format("stopped after {} of {} pulses ({} within the bound)", reports.size(), total, passed),
                   {});
        return kExitInterrupted;
    }
    if (passed == total && settings.timing == PulseTiming::ByMount) {
        out.result("series", kExitPass, "pass",
                   fmt::format("all {} mount-timed pulses were sent, each stop within the bound", total),
                   mountTimedAdvice());
        return kExitPass;
    }
    if (passed == total) {
        out.result("series", kExitPass, "pass",
                   fmt::format("all {} pulses were within the bound", total), {});
        return kExitPass;
    }
    out.result("series", kExitFail, "fail", fmt::format("{} of {} pulses were outside the bound", total - passed, total),
               outOfBoundAdvice());
    return kExitFail;
}

std::optional<PositionReading> Tester::readPosition(bool stayConnected, Handshake& outcome, bool interruptible)
{
    outcome = connect(interruptible);
    std::optional<PositionReading> reading;
    if (outcome == Handshake::Ready) reading = PositionReading::from(replies);
    if (!stayConnected || !reading) disconnect();
    return reading;
}

std::string Tester::runPulses(motion::Run& run)
{
    for (int i = 0; i < run.pulses; ++i) {
        const PulseReport report = runPulse(run.direction, run.lengthMs, run.timing);
        if (!report.measuredMs) return report.problem;
        // The line shows only when guide-link's stop of a mount-timed pulse went out.
        run.measuredMs += run.timing == PulseTiming::ByMount ? report.requestedMs : *report.measuredMs;
        run.lineMs += *report.measuredMs;
    }
    return {};
}

int Tester::positionUnread(Handshake outcome)
{
    if (outcome == Handshake::CommunicationError && replies.verdict() == HandshakeReplies::Verdict::ShortFormat) {
        std::vector<std::string> details = explainCommunicationError();
        details.insert(details.begin(), "Positions need the long format: it gives the right ascension to the second "
                                        "and the declination to the arcsecond; the short one, to 6 s and 1 arcminute, "
                                        "is too coarse to measure guide pulses.");
        out.result("motion", kExitFail, "fail", "the mount answers in the short format: no position to measure", details);
        return kExitFail;
    }
    if (outcome != Handshake::Ready) return handshakeFailed("motion", outcome);
    out.result("motion", kExitFail, "fail", "the handshake's replies gave no position", {});
    return kExitFail;
}

std::string Tester::runMotionStep(motion::Run& run, const motion::Baseline& baseline, int settleMs,
                                  Handshake& outcome)
{
    const std::string problem = runPulses(run);
    disconnect();
    if (!problem.empty()) return fmt::format("a {} pulse failed: {}", directionName(run.direction), problem);
    // Each reading keeps the port open, so that a mount it shows running away is halted at once
    // on the same link, not after a reconnect.
    const std::optional<PositionReading> after = readPosition(true, outcome);
    if (!after) return "the position could not be read after the pulses";
    run.after = *after;
    if (run.role == motion::Run::Role::Probe) return {};
    const motion::RunFigures figures = motion::figuresOf(run, baseline);
    // A mount beyond any guide rate is stopped at once, not watched.
    if (figures.tooFast) return {};
    disconnect();
    idle(motion::settleMsAfter(run, figures, baseline, settleMs));
    const std::optional<PositionReading> later = readPosition(true, outcome);
    if (!later) return "the position could not be read after the settling time";
    run.later = *later;
    return {};
}

bool Tester::motionRun(motion::Run run, const MotionPlan& plan, const motion::Baseline& baseline,
                       std::vector<motion::Run>& runs, std::string& problem, bool maySize)
{
    if (interrupt::requested()) return false;
    const int lengthMs = PulseLength::fromField(static_cast<unsigned>(plan.lengthMs)).ms;
    const motion::Run& last = motion::lastRunIn(runs, run.direction);
    const motion::RunSize size = motion::sizeRun(last, motion::figuresOf(last, baseline), plan.pulses, lengthMs);
    run.pulses = size.pulses;
    run.lengthMs = size.lengthMs;
    run.mostArcsec = size.mostArcsec;
    run.before = runs.back().later.value_or(runs.back().after);
    Handshake outcome = Handshake::Ready;
    problem = runMotionStep(run, baseline, plan.settleMs, outcome);
    if (!problem.empty()) return false;
    // A run cut short by a rough rate sizes a longer one, which then stands for its direction.
    if (run.role == motion::Run::Role::Judged && size.cut && maySize) {
        const motion::RunSize next = motion::sizeRun(run, motion::figuresOf(run, baseline), plan.pulses, lengthMs);
        if (next.pulses * next.lengthMs > run.pulses * run.lengthMs) run.role = motion::Run::Role::Sizing;
    }
    return keepRun(run, baseline, runs);
}

bool Tester::mountTimedRun(Direction direction, const MotionPlan& plan, const motion::Baseline& baseline,
                           std::vector<motion::Run>& runs, std::string& problem)
{
    if (interrupt::requested()) return false;
    const auto judged = std::find_if(runs.rbegin(), runs.rend(), [direction](const motion::Run& each) {
        return each.direction == direction && each.judged();
    });
    if (judged == runs.rend()) return true;
    motion::Run run;
    run.direction = direction;
    run.role = motion::Run::Role::MountTimed;
    run.timing = PulseTiming::ByMount;
    run.pulses = judged->pulses;
    run.lengthMs = judged->lengthMs;
    // A mount that does not time :Mg moves on until the late stop.
    run.mostArcsec = judged->mostArcsec * MountProtocol::lateStopTicks(run.lengthMs) * kTickMs / run.lengthMs;
    run.before = runs.back().later.value_or(runs.back().after);
    Handshake outcome = Handshake::Ready;
    problem = runMotionStep(run, baseline, plan.settleMs, outcome);
    return problem.empty() && keepRun(run, baseline, runs);
}

bool Tester::keepRun(const motion::Run& run, const motion::Baseline& baseline, std::vector<motion::Run>& runs)
{
    runs.push_back(run);
    const motion::RunFigures figures = motion::figuresOf(run, baseline);
    out.motionRun(run, figures, static_cast<int>(runs.size()));
    // A mount that does not stop, or moves at a slew rate, must not be sent more pulses.
    return !figures.runaway && !figures.tooFast;
}

std::vector<std::string> Tester::haltMount(const motion::Baseline& baseline, const PositionReading& start, int waitMs,
                                          std::optional<PositionReading>& afterHalt)
{
    Handshake outcome = Handshake::Ready;
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
    bool halted = false;
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
    const std::string sent = halted ? "motion sent the halt (:Q#) and every direction's stop (:Qn# :Qs# :Qe# :Qw#)."
                                    : "motion could not send the halt (:Q#) and the stops: the line failed.";
    const std::optional<PositionReading> first = readPosition(false, outcome, false);
    afterHalt = first;
    // Only a second interrupt cuts this wait short: after the first, it is what tells whether
    // the mount stopped.
    if (first) takeFor(std::chrono::milliseconds(motion::haltWaitMs(*first, baseline, waitMs)), interrupt::insisted);
    const std::optional<PositionReading> second = first ? readPosition(false, outcome, false) : std::nullopt;
    if (!second) {
        out.motionHalt(halted, std::nullopt, 0);
        return {sent + " The position could not be read afterwards: look at the mount, and if it moves, stop it "
                       "with its handset or switch it off."};
    }
    const bool stopped = motion::stoodStill(*first, *second, baseline);
    const double away = motion::distanceArcsec(start, *second, baseline);
    const double apartSeconds =
        std::chrono::duration<double>(second->declinationAt - first->declinationAt).count();
    const bool cutShort = apartSeconds * 1000 < motion::haltWaitMs(*first, baseline, 0);
    // Standing still over too short a wait says nothing of a slow drift.
    out.motionHalt(halted, stopped && cutShort ? std::nullopt : std::optional<bool>(stopped), away);
    const std::string where = fmt::format("{:.1f} arcminutes from where motion began", away / 60);
    if (stopped && cutShort) {
        return {fmt::format("{} Two readings only {:.1f} s apart afterwards, the wait cut short, show no motion, {}; "
                            "too soon to tell whether a slow drift goes on: look at the mount.", sent, apartSeconds,
                            where)};
    }
    if (stopped) {
        return {fmt::format("{} Two readings {:.1f} s apart afterwards show the mount standing still, {}.", sent,
                            apartSeconds, where)};
    }
    return {fmt::format("{} Two readings {:.1f} s apart afterwards show it STILL MOVING, now {}: stop it with its "
                        "handset or switch it off now.", sent, apartSeconds, where)};
}

int Tester::motion(const MotionPlan& plan)
{
    using Role = motion::Run::Role;
    out.motionPlan(plan.pulses, PulseLength::fromField(static_cast<unsigned>(plan.lengthMs)).ms, plan.timing,
                   plan.compareMountTimed);

    // Readings of the mount left alone: its creep, its noise, and where it points.
    constexpr int kBaselineReadings = 4;
    std::vector<PositionReading> still;
    Handshake outcome = Handshake::Ready;
    for (int i = 0; i < kBaselineReadings; ++i) {
        if (i > 0) idle(plan.baselineMs / (kBaselineReadings - 1));
        if (interrupt::requested()) {
            out.result("motion", kExitInterrupted, "interrupted", "stopped before any pulse was sent", {});
            return kExitInterrupted;
        }
        const std::optional<PositionReading> reading = readPosition(i + 1 == kBaselineReadings, outcome);
        if (!reading) return positionUnread(outcome);
        still.push_back(*reading);
    }
    motion::Baseline baseline = motion::baselineOf(still);
    out.motionBaseline(baseline);

    std::vector<motion::Run> runs;
    std::string problem;
    // A probe: one short pulse, and a look at how far it went, before any run in its direction.
    const auto probe = [&](Direction direction) {
        if (interrupt::requested()) return false;
        motion::Run run;
        run.direction = direction;
        run.role = Role::Probe;
        run.timing = plan.timing;
        run.pulses = 1;
        run.lengthMs = motion::kProbeMs;
        run.before = runs.empty() ? still.back() : runs.back().later.value_or(runs.back().after);
        problem = runMotionStep(run, baseline, 0, outcome);
        return problem.empty() && keepRun(run, baseline, runs);
    };
    const auto runOf = [&plan](Direction direction, Role role) {
        motion::Run run;
        run.direction = direction;
        run.role = role;
        run.timing = plan.timing;
        return run;
    };
    // Runs that a rough rate cut short size longer ones, until one stands for the direction.
    const auto judged = [&](Direction direction) {
        constexpr int kMostRuns = 4;
        for (int i = 1; i <= kMostRuns; ++i) {
            if (!motionRun(runOf(direction, Role::Judged), plan, baseline, runs, problem, i < kMostRuns)) return false;
            if (runs.back().role == Role::Judged) break;
        }
        return true;
    };
    // The right ascension did not move in the declination runs: over them its creep is finer.
    const auto measureCreep = [&] {
        const PositionReading& last = runs.back().later.value_or(runs.back().after);
        baseline = motion::withCreepBetween(baseline, still.front(), last);
        out.motionCreep(baseline, std::chrono::duration<double>(last.rightAscensionAt - still.front().rightAscensionAt).count());
        return true;
    };
    // Each axis first in the direction it last moved, so only the second of each meets a reversal.
    const auto mountTimedRuns = [&] {
        for (const Direction direction : {Direction::North, Direction::South, Direction::West, Direction::East}) {
            if (!mountTimedRun(direction, plan, baseline, runs, problem)) return false;
        }
        return true;
    };
    // South twice, so the second starts with the slack taken up; north after south shows the
    // backlash, north after north the clean motion.
    const bool completed = probe(Direction::South) && probe(Direction::North) &&
                           motionRun(runOf(Direction::South, Role::TakesUpSlack), plan, baseline, runs, problem) &&
                           judged(Direction::South) &&
                           motionRun(runOf(Direction::North, Role::AfterReversal), plan, baseline, runs, problem) &&
                           judged(Direction::North) && measureCreep() && probe(Direction::East) &&
                           judged(Direction::East) &&
                           probe(Direction::West) && judged(Direction::West) &&
                           (!plan.compareMountTimed || mountTimedRuns());
    // Otherwise the halt goes out on the link still open, if it is.
    if (completed) disconnect();

    std::vector<std::string> halted;
    std::vector<motion::Finding> findings = motion::findingsOf(baseline, runs);
    if (!completed) {
        const int settled = runs.empty() ? plan.settleMs
                                         : motion::settleMsAfter(runs.back(), motion::figuresOf(runs.back(), baseline),
                                                                 baseline, plan.settleMs);
        std::optional<PositionReading> afterHalt;
        halted = haltMount(baseline, still.front(), settled, afterHalt);
        // A probe that seemed beyond any guide rate, whose mount moved on until the halt, had
        // lost its stop: the pulse's motion went on until the reading.
        const PositionReading lastSeen = runs.empty() ? still.back() : runs.back().later.value_or(runs.back().after);
        if (afterHalt && !motion::stoodStill(lastSeen, *afterHalt, baseline)) {
            for (motion::Finding& finding : findings) {
                if (finding.kind != motion::Finding::Kind::TooFast) continue;
                finding.kind = motion::Finding::Kind::Runaway;
                finding.value = motion::distanceArcsec(lastSeen, *afterHalt, baseline);
            }
        }
    }
    out.motionTable(runs, baseline, motion::backlashOf(runs, baseline));
    const bool interrupted = interrupt::requested();
    motion::Verdict verdict = motion::verdictOf(findings, baseline, runs, interrupted);
    if (!problem.empty() && !interrupted) verdict = {kExitFail, "fail", problem, lineAdvice()};
    verdict.details.insert(verdict.details.end(), halted.begin(), halted.end());
    out.result("motion", verdict.exitCode, verdict.outcome, verdict.summary, verdict.details);
    return verdict.exitCode;
}
