#include "serve/PulseLedger.h"

#include <chrono>
#include <cmath>

#include "tester/PulseBound.h"

namespace {

using Json = nlohmann::json;

// The letter of a pulse's move or stop (":Mn#", ":Qn#"), or 0 for any other command.
char letterOf(const std::string& command, char kind)
{
    return command.size() == 4 && command[0] == ':' && command[1] == kind && command[3] == '#' ? command[2] : 0;
}

}  // namespace

void PulseLedger::asked(Direction direction, const PulseLength& length) { waiting.push_back({direction, length}); }

void PulseLedger::clear()
{
    waiting.clear();
    starting.reset();
    moving.clear();
}

PulseBound PulseLedger::boundOf(const Pulse& pulse)
{
    return PulseBound::forPulse(pulse.length.ticks(), PulseBound::kDefaultAllowanceMs, 0);
}

Json PulseLedger::report(const Pulse& pulse)
{
    const PulseLength& length = pulse.length;
    const PulseBound bound = boundOf(pulse);
    return {{"direction", directionName(pulse.direction)}, {"asked_ms", length.ms}, {"ticks", length.ticks()},
            {"lower_ms", bound.lowerMs}, {"upper_ms", bound.upperMs}};
}

std::optional<Json> PulseLedger::written(const std::string& command, bool ok, Clock::time_point at)
{
    if (command == ":RG#") {
        if (waiting.empty()) return std::nullopt;
        starting = waiting.front();
        waiting.pop_front();
        if (ok) return std::nullopt;
        // The link sends no move without its guide rate.
        Json failed = report(*starting);
        failed["unwritten"] = command;
        starting.reset();
        return failed;
    }
    if (const char letter = letterOf(command, 'M')) {
        if (!starting) return std::nullopt;
        const Pulse pulse = *starting;
        starting.reset();
        if (ok) {
            moving[letter] = {pulse, at};
            return std::nullopt;
        }
        Json failed = report(pulse);
        failed["unwritten"] = command;
        return failed;
    }
    const auto stopped = moving.find(letterOf(command, 'Q'));
    if (stopped == moving.end()) return std::nullopt;
    const Pulse& pulse = stopped->second.pulse;
    Json ended = report(pulse);
    if (ok) {
        const double measured = std::chrono::duration<double, std::milli>(at - stopped->second.movedAt).count();
        ended["measured_ms"] = std::round(measured * 10) / 10;
        ended["within"] = boundOf(pulse).holds(measured);
    } else {
        ended["unwritten"] = command;
    }
    moving.erase(stopped);
    return ended;
}
