#include "tester/IndiMount.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

#include <fmt/format.h>

#include "link/PulseLength.h"
#include "link/Tick.h"
#include "platform/interrupt.h"
#include "tester/ExitCode.h"
#include "tester/IndiCheckResult.h"
#include "tester/TestReport.h"

namespace {

using namespace std::chrono_literals;
using Clock = LinkEvent::Clock;

constexpr int kServerLimitMs = 5000;
// How long a driver may take to define its properties, to connect, to answer a request.
constexpr int kDefinitionsMs = 5000;
constexpr int kConnectMs = 15000;
constexpr int kAnswerMs = 3000;
// How much longer than asked a pulse may stay Busy before the driver counts as stuck.
constexpr int kPulseLimitMs = 10000;
// The driver's Busy and its Idle each cross the server and this machine's scheduling before they
// are seen here; and a driver that ends pulses on its polls (INDI's telescope simulator) reports
// them over up to a polling period early or late. The bound widens by both, both ways.
constexpr int kRelayMs = 100;
// Drivers report the position on their polling period (1 s unless set): a reading waits for the
// next report, so what it reads comes after whatever went before it.
constexpr int kDefaultPollMs = 1000;
constexpr int kPollSlackMs = 500;

indi::IndiTelescope::GuideDirection guideDirection(Direction direction)
{
    switch (direction) {
    case Direction::North:
        return indi::IndiTelescope::GuideDirection::North;
    case Direction::South:
        return indi::IndiTelescope::GuideDirection::South;
    case Direction::East:
        return indi::IndiTelescope::GuideDirection::East;
    case Direction::West:
        break;
    }
    return indi::IndiTelescope::GuideDirection::West;
}

// The local sidereal time, in seconds of time, at east longitude degrees, from this machine's clock.
double localSiderealSeconds(double longitudeDegrees)
{
    const double unixDays =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() / 86400.0;
    const double daysSinceJ2000 = unixDays - 10957.5;
    const double hours = 18.697374558 + 24.06570982441908 * daysSinceJ2000 + longitudeDegrees / 15.0;
    return std::fmod(std::fmod(hours, 24.0) + 24.0, 24.0) * 3600.0;
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "'" : ", '") + name + "'";
    return text;
}

}  // namespace

std::unique_ptr<MountUnderTest> MountUnderTest::behindIndi(const std::string& given, TestReport& report,
                                                           std::string& error)
{
    indi::IndiAddress address;
    if (!indi::IndiAddress::parse(given, address, error)) return nullptr;
    return std::make_unique<IndiMount>(address, report);
}

std::vector<std::string> MountUnderTest::indiTelescopesHere()
{
    constexpr int kLocalServerMs = 500;
    indi::IndiClient client;
    std::string error;
    indi::IndiAddress address;
    address.host = "127.0.0.1";
    if (!client.connect(address.host, address.port, kLocalServerMs, error)) return {};
    std::vector<std::string> telescopes;
    // The server lists its drivers' devices at once; each says what it is in its DRIVER_INFO.
    client.waitUntil(
        [&](const indi::IndiModel& model) {
            telescopes = indi::IndiTelescope::telescopes(model);
            return !telescopes.empty();
        },
        kDefinitionsMs / 5);
    std::vector<std::string> addresses;
    for (const std::string& device : telescopes) {
        address.device = device;
        addresses.push_back(address.text());
    }
    return addresses;
}

IndiMount::IndiMount(const indi::IndiAddress& address, TestReport& report) : address(address), report(report)
{
    client.setListener([this](const indi::IndiUpdate&, const std::string& line) {
        LinkEvent event;
        event.kind = LinkEvent::Kind::Received;
        event.at = Clock::now();
        event.bytes = line;
        const std::lock_guard<std::mutex> hold(pendingLock);
        pending.push_back(std::move(event));
    });
}

IndiMount::~IndiMount()
{
    // The driver is left as it was found.
    std::string error;
    if (telescope && telescope->connectedHere() && client.isOpen()) {
        sent("disconnect " + telescope->device());
        telescope->disconnectDevice(kAnswerMs, error);
    }
    client.close();
}

std::string IndiMount::where() const { return fmt::format("the INDI server at {}:{}", address.host, address.port); }

void IndiMount::show()
{
    std::deque<LinkEvent> taken;
    {
        const std::lock_guard<std::mutex> hold(pendingLock);
        taken.swap(pending);
    }
    for (const LinkEvent& event : taken) report.event(event);
}

void IndiMount::sent(const std::string& request)
{
    show();
    LinkEvent event;
    event.kind = LinkEvent::Kind::Sent;
    event.at = event.startedAt = Clock::now();
    event.bytes = request;
    report.event(event);
}

bool IndiMount::reachDevice()
{
    if (!serverReached) {
        std::string error;
        if (!client.connect(address.host, address.port, kServerLimitMs, error)) {
            failure = "Cannot reach " + where() + ": " + error;
            return false;
        }
        serverReached = true;
    }
    if (!client.isOpen()) {
        failure = where() + " ended the connection: " + client.closeReason();
        return false;
    }
    if (!telescope) {
        // The server sends its devices' definitions in answer to the client's first request.
        std::vector<std::string> telescopes;
        const std::string& wanted = address.device;
        client.waitUntil(
            [&](const indi::IndiModel& model) {
                telescopes = indi::IndiTelescope::telescopes(model);
                if (!wanted.empty()) return model.find(wanted, "CONNECTION") != nullptr;
                return !telescopes.empty();
            },
            kDefinitionsMs);
        show();
        std::string device = wanted;
        if (device.empty() && telescopes.size() == 1) device = telescopes.front();
        bool known = false;
        client.inspect([&](const indi::IndiModel& model) { known = !device.empty() && model.find(device, "CONNECTION"); });
        if (!known) {
            const std::string has = telescopes.empty() ? "no telescope" : "the telescopes " + joined(telescopes);
            failure = wanted.empty() && telescopes.size() > 1
                          ? fmt::format("{} has {}: name one, as in indi://{}:{}/{}", where(), has, address.host,
                                        address.port, telescopes.front())
                          : fmt::format("{} has no device '{}'; it has {}", where(), device, has);
            return false;
        }
        telescope = std::make_unique<indi::IndiTelescope>(client, device);
    }
    if (!telescope->isConnected()) {
        sent("connect " + telescope->device());
        std::string error;
        if (!telescope->connectDevice(kConnectMs, error)) {
            failure = fmt::format("The driver of '{}' could not connect to the mount: {}", telescope->device(), error);
            return false;
        }
        report.note(fmt::format("guide-link connected the driver of '{}' to its mount, and disconnects it again at "
                                "the end.", telescope->device()));
    }
    // A driver defines its telescope's properties once it has connected; a telescope that cannot
    // be guided never defines the guide pulses.
    const std::string& device = telescope->device();
    client.waitUntil(
        [&](const indi::IndiModel& model) {
            return model.find(device, "EQUATORIAL_EOD_COORD") && model.find(device, "TELESCOPE_TIMED_GUIDE_NS") &&
                   model.find(device, "TELESCOPE_TIMED_GUIDE_WE");
        },
        kDefinitionsMs);
    show();
    return true;
}

MountUnderTest::Connection IndiMount::connect(bool interruptible)
{
    if (interruptible && interrupt::requested()) return Connection::Interrupted;
    if (reachDevice()) return Connection::Ready;
    return serverReached && client.isOpen() && telescope ? Connection::CommunicationError : Connection::CannotOpen;
}

void IndiMount::disconnect() { show(); }

CheckResult IndiMount::connectFailed(Connection outcome, bool forPosition) const
{
    if (outcome == Connection::Interrupted) {
        return {kExitInterrupted, "interrupted", "stopped before the mount was reached", {}, ""};
    }
    if (outcome == Connection::Ready && forPosition) {
        return {kExitFail, "fail", "the driver reports no position (EQUATORIAL_EOD_COORD)", {}, ""};
    }
    const bool cannotStart = outcome == Connection::CannotOpen;
    return {cannotStart ? kExitCannotStart : kExitFail, cannotStart ? "error" : "fail", failure,
            {"Check that indiserver runs with the mount's driver (indiserver indi_lx200generic, or the driver "
             "for your mount), and that the address and the device name are right: 'guide-link ports' lists "
             "the telescopes of an INDI server on this machine."},
            cannotStart ? "indi" : ""};
}

CheckResult IndiMount::checked()
{
    // Read first: the wait for a fresh position gives a driver just connected the time to define
    // the rest of its properties.
    Connection outcome = Connection::Ready;
    const std::optional<PositionReading> position = readPosition(true, outcome);
    show();
    return indiCheckResult(*telescope, position);
}

std::vector<std::string> IndiMount::pulseAdvice(bool measured) const
{
    if (measured) {
        return {"The driver times each pulse and reports it Busy, then Idle: a pulse that ends far from its time, "
                "or at once, is the driver's fault or its mount's. Try 'guide-link motion' to see how far pulses "
                "move the mount."};
    }
    return {"The request could not be carried out through INDI. If the mount is still moving, stop it with its "
            "handset or with the abort of any INDI client, then run 'guide-link check' on the same address."};
}

std::vector<std::string> IndiMount::pulseNotes() const
{
    return {"The time is from the driver's Busy to its Idle, as INDI shows them; what crossed the wire to the mount "
            "is not visible over INDI."};
}

std::optional<double> IndiMount::reportedGuideRate(bool declination) const
{
    const auto rate = telescope ? telescope->guideRate() : std::nullopt;
    if (!rate) return std::nullopt;
    return declination ? rate->northSouth : rate->westEast;
}

PulseReport IndiMount::pulse(Direction direction, int askedMs, PulseTiming timing, int allowanceMs, int slackMs)
{
    const PulseLength length = PulseLength::fromField(static_cast<unsigned>(askedMs));
    PulseReport pulse;
    pulse.direction = direction;
    pulse.askedMs = askedMs;
    pulse.requestedMs = length.ms;
    pulse.timing = timing;
    pulse.bound = PulseBound::forLength(length.ms, allowanceMs, slackMs + kRelayMs + pollingPeriodMs());
    // A driver that reports a pulse over long before its time does not wait for it: a known fault.
    pulse.bound.lowerMs = std::max(pulse.bound.lowerMs, length.ms / 2.0);
    if (timing == PulseTiming::ByMount) {
        pulse.problem = "through INDI the driver chooses how pulses are timed (its 'Use Pulse Cmd'): --timed-by "
                        "mount is for serial and tcp:// mounts";
        return pulse;
    }
    if (interrupt::requested()) {
        pulse.interrupted = true;
        pulse.problem = "interrupted before it was sent";
        return pulse;
    }
    const bool northSouth = direction == Direction::North || direction == Direction::South;
    sent(fmt::format("new {} {}={}", northSouth ? "TELESCOPE_TIMED_GUIDE_NS" : "TELESCOPE_TIMED_GUIDE_WE",
                     std::string("TIMED_GUIDE_") + static_cast<char>(std::toupper(directionName(direction)[0])),
                     length.ms));
    const indi::IndiTelescope::Motion motion =
        telescope->guidePulse(guideDirection(direction), length.ms, length.ms + kPulseLimitMs, [this] {
            show();
            return interrupt::requested();
        });
    show();
    if (motion.stopped) {
        std::string error;
        pulse.interrupted = true;
        pulse.problem = abort(error) ? "interrupted: the driver's abort was sent and answered"
                                     : "interrupted: the abort failed (" + error + "): the mount may still be moving";
        return pulse;
    }
    if (!motion.done) {
        std::string error;
        const bool aborted = client.isOpen() && abort(error);
        pulse.problem = motion.error + (aborted ? "; the abort was sent and answered"
                                                : "; the abort could not be sent: the mount may still be moving");
        return pulse;
    }
    if (motion.endState == indi::PropertyState::Alert) {
        pulse.problem = "the driver refused the pulse: " + motion.error;
        return pulse;
    }
    const Clock::time_point began = motion.sawBusy ? motion.busyAt : motion.sentAt;
    pulse.measuredMs = std::chrono::duration<double, std::milli>(motion.endedAt - began).count();
    pulse.passed = pulse.bound.holds(*pulse.measuredMs);
    if (*pulse.measuredMs < length.ms / 2.0) pulse.problem = "the driver reported it over before half its time";
    return pulse;
}

std::optional<PositionReading> IndiMount::readPosition(bool, Connection& outcome, bool interruptible)
{
    outcome = connect(interruptible);
    if (outcome != Connection::Ready) return std::nullopt;
    const std::string& device = telescope->device();
    const int pollMs = pollingPeriodMs();
    double longitude = 0;
    client.inspect([&](const indi::IndiModel& model) {
        if (const indi::IndiElement* east = model.element(device, "GEOGRAPHIC_COORD", "LONG")) {
            if (std::isfinite(east->number)) longitude = east->number;
        }
    });
    // A position the driver reports after this moment, or, a polling period on, the one it last
    // reported, which it would have updated had the mount moved.
    const Clock::time_point asked = Clock::now();
    const Clock::time_point until = asked + std::chrono::milliseconds(pollMs + kPollSlackMs);
    const auto reportedSince = [&] {
        const auto latest = telescope->position();
        return latest && latest->receivedAt > asked;
    };
    while (Clock::now() < until && client.isOpen() && !(interruptible && interrupt::requested()) &&
           !reportedSince()) {
        client.waitUntil([](const indi::IndiModel&) { return false; }, 20);
        show();
    }
    show();
    const std::optional<indi::IndiTelescope::Position> position = telescope->position();
    if (!client.isOpen()) {
        failure = where() + " ended the connection: " + client.closeReason();
        outcome = Connection::CommunicationError;
        return std::nullopt;
    }
    if (!position) return std::nullopt;
    PositionReading reading;
    reading.rightAscension = position->rightAscensionHours * 3600;
    reading.declination = position->declinationDegrees * 3600;
    reading.rightAscensionAt = reading.declinationAt = position->receivedAt > asked ? position->receivedAt : Clock::now();
    reading.siderealTime = localSiderealSeconds(longitude);
    return reading;
}

int IndiMount::pollingPeriodMs() const
{
    int pollMs = kDefaultPollMs;
    client.inspect([&](const indi::IndiModel& model) {
        const indi::IndiElement* period = model.element(telescope->device(), "POLLING_PERIOD", "PERIOD_MS");
        if (period && std::isfinite(period->number) && period->number > 0) pollMs = static_cast<int>(period->number);
    });
    return pollMs;
}

bool IndiMount::abort(std::string& error)
{
    sent("new TELESCOPE_ABORT_MOTION ABORT=On, timed guide pulses 0");
    const bool answered = telescope->abortMotion(kAnswerMs, error);
    show();
    return answered;
}

std::string IndiMount::halt(bool& halted)
{
    std::string error;
    halted = telescope && client.isOpen() && abort(error);
    if (halted) return "motion sent the driver's abort (TELESCOPE_ABORT_MOTION) and set its timed guide pulses to 0.";
    return "motion could not send the driver's abort: " + (telescope && client.isOpen() ? error : failure) + ".";
}

void IndiMount::wait(std::chrono::milliseconds span, bool (*cutShort)())
{
    const Clock::time_point until = Clock::now() + span;
    while (Clock::now() < until && !cutShort()) {
        std::this_thread::sleep_for(std::min<Clock::duration>(20ms, until - Clock::now()));
        show();
    }
}
