#include "indi/IndiTelescope.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace indi {
namespace {

// DRIVER_INFO's DRIVER_INTERFACE is a set of bits; this one says "a telescope".
constexpr long kTelescopeInterface = 1;

const char* const kCoordinates = "EQUATORIAL_EOD_COORD";
const char* const kGuideNorthSouth = "TELESCOPE_TIMED_GUIDE_NS";
const char* const kGuideWestEast = "TELESCOPE_TIMED_GUIDE_WE";
// LX200 drivers name their pulse-command choice so, not by the standard's upper-case style.
const char* const kPulseCommands = "Use Pulse Cmd";

bool saysTelescope(const IndiModel& model, const std::string& device)
{
    const IndiElement* interface = model.element(device, "DRIVER_INFO", "DRIVER_INTERFACE");
    if (!interface) return false;
    char* end = nullptr;
    const long bits = std::strtol(interface->text.c_str(), &end, 10);
    return end != interface->text.c_str() && (bits & kTelescopeInterface) != 0;
}

std::string stateSentence(const IndiProperty& property)
{
    std::string sentence = property.name + " went " + stateName(property.state);
    if (!property.message.empty()) sentence += " (" + property.message + ")";
    return sentence;
}

}  // namespace

std::vector<std::string> IndiTelescope::telescopes(const IndiModel& model)
{
    std::vector<std::string> found;
    for (const std::string& device : model.devices()) {
        if (model.find(device, kCoordinates) || model.find(device, kGuideNorthSouth) || saysTelescope(model, device)) {
            found.push_back(device);
        }
    }
    return found;
}

IndiTelescope::IndiTelescope(IndiClient& client, std::string device) : client_(client), device_(std::move(device)) {}

const IndiProperty* IndiTelescope::find(const IndiModel& model, const char* name) const
{
    return model.find(device_, name);
}

std::optional<std::string> IndiTelescope::text(const char* property, const char* element) const
{
    std::optional<std::string> value;
    client_.inspect([&](const IndiModel& model) {
        if (const IndiElement* member = model.element(device_, property, element)) value = member->text;
    });
    return value;
}

std::optional<double> IndiTelescope::number(const char* property, const char* element) const
{
    std::optional<double> value;
    client_.inspect([&](const IndiModel& model) {
        const IndiElement* member = model.element(device_, property, element);
        if (member && std::isfinite(member->number)) value = member->number;
    });
    return value;
}

std::optional<std::string> IndiTelescope::onSwitch(const char* property) const
{
    std::optional<std::string> value;
    client_.inspect([&](const IndiModel& model) {
        const IndiProperty* found = find(model, property);
        if (!found) return;
        value = std::string();
        for (const IndiElement& member : found->elements) {
            if (member.isOn()) value = member.name;
        }
    });
    return value;
}

bool IndiTelescope::isConnected() const { return onSwitch("CONNECTION").value_or("") == "CONNECT"; }

std::optional<IndiTelescope::DriverInfo> IndiTelescope::driverInfo() const
{
    std::optional<DriverInfo> info;
    client_.inspect([&](const IndiModel& model) {
        const IndiProperty* found = find(model, "DRIVER_INFO");
        if (!found) return;
        auto value = [found](const char* name) {
            const IndiElement* member = found->element(name);
            return member ? member->text : std::string();
        };
        info = DriverInfo{value("DRIVER_NAME"), value("DRIVER_EXEC"), value("DRIVER_VERSION"), value("DRIVER_INTERFACE")};
    });
    return info;
}

std::string IndiTelescope::port() const { return text("DEVICE_PORT", "PORT").value_or(""); }

std::string IndiTelescope::address() const
{
    const auto host = text("DEVICE_ADDRESS", "ADDRESS");
    if (!host) return "";
    const auto port = text("DEVICE_ADDRESS", "PORT");
    return port ? *host + ":" + *port : *host;
}

std::string IndiTelescope::connectionMode() const { return onSwitch("CONNECTION_MODE").value_or(""); }

bool IndiTelescope::takesTimedGuides() const
{
    bool both = false;
    client_.inspect([&](const IndiModel& model) {
        both = find(model, kGuideNorthSouth) != nullptr && find(model, kGuideWestEast) != nullptr;
    });
    return both;
}

std::optional<bool> IndiTelescope::tracking() const
{
    const auto on = onSwitch("TELESCOPE_TRACK_STATE");
    if (!on || on->empty()) return std::nullopt;
    return *on == "TRACK_ON";
}

std::optional<IndiTelescope::GuideRate> IndiTelescope::guideRate() const
{
    const auto westEast = number("GUIDE_RATE", "GUIDE_RATE_WE");
    const auto northSouth = number("GUIDE_RATE", "GUIDE_RATE_NS");
    if (!westEast || !northSouth) return std::nullopt;
    return GuideRate{*westEast, *northSouth};
}

std::optional<IndiTelescope::Position> IndiTelescope::position() const
{
    std::optional<Position> position;
    client_.inspect([&](const IndiModel& model) {
        const IndiProperty* found = find(model, kCoordinates);
        const IndiElement* ra = found ? found->element("RA") : nullptr;
        const IndiElement* dec = found ? found->element("DEC") : nullptr;
        if (!ra || !dec || !std::isfinite(ra->number) || !std::isfinite(dec->number)) return;
        position = Position{ra->number, dec->number, found->state, found->updatedAt};
    });
    return position;
}

std::optional<bool> IndiTelescope::pulseCommands() const
{
    const auto on = onSwitch(kPulseCommands);
    if (!on) return std::nullopt;
    return *on == "On";
}

bool IndiTelescope::setPulseCommands(bool on, int timeoutMs, std::string& error)
{
    return switchTo(kPulseCommands, on ? "On" : "Off", timeoutMs, error);
}

bool IndiTelescope::connectDevice(int timeoutMs, std::string& error)
{
    if (isConnected()) return true;
    if (!switchTo("CONNECTION", "CONNECT", timeoutMs, error)) return false;
    connectedHere_ = true;
    return true;
}

bool IndiTelescope::disconnectDevice(int timeoutMs, std::string& error)
{
    if (!switchTo("CONNECTION", "DISCONNECT", timeoutMs, error)) return false;
    connectedHere_ = false;
    return true;
}

bool IndiTelescope::switchTo(const char* property, const char* element, int timeoutMs, std::string& error)
{
    const std::uint64_t before = client_.revision();
    if (!client_.sendSwitches(device_, property, {{element, true}}, error) ||
        !awaitAnswer(property, before, timeoutMs, error)) {
        return false;
    }
    if (onSwitch(property).value_or("") == element) return true;
    error = std::string(property) + " answered without " + element + " on";
    return false;
}

// Done once the driver has answered with a state other than Busy; an answer of Alert is a
// refusal.
bool IndiTelescope::awaitAnswer(const char* property, std::uint64_t before, int timeoutMs, std::string& error)
{
    const auto outcome = client_.waitUntil(
        [&](const IndiModel& model) {
            const IndiProperty* found = find(model, property);
            if (!found || found->setRevision <= before || found->state == PropertyState::Busy) return false;
            error = found->state == PropertyState::Alert ? stateSentence(*found) : "";
            return true;
        },
        timeoutMs);
    if (outcome == IndiClient::WaitOutcome::Closed) {
        error = "the connection ended: " + client_.closeReason();
    } else if (outcome == IndiClient::WaitOutcome::TimedOut) {
        error = device_ + " did not answer " + property + " within " + std::to_string(timeoutMs) + " ms";
    }
    return outcome == IndiClient::WaitOutcome::Held && error.empty();
}

IndiTelescope::Motion IndiTelescope::guidePulse(GuideDirection direction, int milliseconds, int timeoutMs,
                                                const std::function<bool()>& stopAsked)
{
    const bool northSouth = direction == GuideDirection::North || direction == GuideDirection::South;
    const char* property = northSouth ? kGuideNorthSouth : kGuideWestEast;
    const double length = milliseconds;
    IndiCommand::Numbers values;
    switch (direction) {
    case GuideDirection::North: values = {{"TIMED_GUIDE_N", length}, {"TIMED_GUIDE_S", 0}}; break;
    case GuideDirection::South: values = {{"TIMED_GUIDE_N", 0}, {"TIMED_GUIDE_S", length}}; break;
    case GuideDirection::West: values = {{"TIMED_GUIDE_W", length}, {"TIMED_GUIDE_E", 0}}; break;
    case GuideDirection::East: values = {{"TIMED_GUIDE_W", 0}, {"TIMED_GUIDE_E", length}}; break;
    }
    const std::uint64_t before = client_.revision();
    const Clock::time_point sentAt = Clock::now();
    Motion motion;
    if (!client_.sendNumbers(device_, property, values, motion.error)) return motion;
    return awaitMotion(property, before, sentAt, timeoutMs, stopAsked);
}

IndiTelescope::Motion IndiTelescope::slewTo(double rightAscensionHours, double declinationDegrees, int timeoutMs)
{
    Motion motion;
    // The driver takes the two requests in the order sent, so the coordinates find TRACK chosen.
    if (!client_.sendSwitches(device_, "ON_COORD_SET", {{"TRACK", true}}, motion.error)) return motion;
    const std::uint64_t before = client_.revision();
    const Clock::time_point sentAt = Clock::now();
    if (!client_.sendNumbers(device_, kCoordinates, {{"RA", rightAscensionHours}, {"DEC", declinationDegrees}},
                             motion.error)) {
        return motion;
    }
    return awaitMotion(kCoordinates, before, sentAt, timeoutMs);
}

bool IndiTelescope::abortMotion(int timeoutMs, std::string& error)
{
    bool northSouth = false;
    bool westEast = false;
    client_.inspect([&](const IndiModel& model) {
        northSouth = find(model, kGuideNorthSouth) != nullptr;
        westEast = find(model, kGuideWestEast) != nullptr;
    });
    const std::uint64_t before = client_.revision();
    // All three go out before any answer is awaited: stopping must not wait on the driver.
    const bool sent =
        client_.sendSwitches(device_, "TELESCOPE_ABORT_MOTION", {{"ABORT", true}}, error) &&
        (!northSouth || client_.sendNumbers(device_, kGuideNorthSouth, {{"TIMED_GUIDE_N", 0}, {"TIMED_GUIDE_S", 0}}, error)) &&
        (!westEast || client_.sendNumbers(device_, kGuideWestEast, {{"TIMED_GUIDE_W", 0}, {"TIMED_GUIDE_E", 0}}, error));
    return sent && awaitAnswer("TELESCOPE_ABORT_MOTION", before, timeoutMs, error);
}

// Done once the property left Busy after the request, or went Alert without ever being Busy
// (the driver refused).
IndiTelescope::Motion IndiTelescope::awaitMotion(const char* property, std::uint64_t before, Clock::time_point sentAt,
                                                 int timeoutMs, const std::function<bool()>& stopAsked)
{
    Motion motion;
    motion.sentAt = sentAt;
    const auto holds = [&](const IndiModel& model) {
        const IndiProperty* found = find(model, property);
        if (!found) return false;
        motion.sawBusy = found->busyRevision > before;
        if (motion.sawBusy) motion.busyAt = found->busyAt;
        const bool settled = found->settledRevision > before;
        const bool refused = found->setRevision > before && found->state == PropertyState::Alert;
        motion.done = settled || refused;
        motion.endState = found->state;
        motion.endedAt = settled ? found->settledAt : found->updatedAt;
        if (motion.done && found->state == PropertyState::Alert) motion.error = stateSentence(*found);
        return motion.done;
    };
    // In slices, so a stop asked for is seen within one.
    constexpr int kSliceMs = 10;
    const Clock::time_point until = sentAt + std::chrono::milliseconds(timeoutMs);
    IndiClient::WaitOutcome outcome = IndiClient::WaitOutcome::TimedOut;
    for (Clock::time_point now = Clock::now(); now < until; now = Clock::now()) {
        if (stopAsked && stopAsked()) {
            motion.stopped = true;
            motion.error = "stopped before the driver ended it";
            return motion;
        }
        const int left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
        outcome = client_.waitUntil(holds, stopAsked ? std::min(kSliceMs, left) : left);
        if (outcome != IndiClient::WaitOutcome::TimedOut) break;
    }
    if (outcome == IndiClient::WaitOutcome::Closed) {
        motion.done = false;
        motion.error = "the connection ended: " + client_.closeReason();
    } else if (outcome == IndiClient::WaitOutcome::TimedOut) {
        motion.error = std::string(property) + (motion.sawBusy ? " still Busy" : " not answered") + " after " +
                       std::to_string(timeoutMs) + " ms";
    }
    return motion;
}

}  // namespace indi
