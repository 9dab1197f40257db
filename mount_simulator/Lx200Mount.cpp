#include "mount_simulator/Lx200Mount.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "lx200/PositionText.h"

namespace {

bool isGetCommand(const std::string& command) { return command.compare(0, 2, ":G") == 0; }

// The direction of ":Mn#" or ":Qn#"; 0 for anything else.
char directionOf(const std::string& command, char kind)
{
    if (command.size() != 4 || command[1] != kind || command[3] != '#') return 0;
    const char direction = command[2];
    return direction == 'n' || direction == 's' || direction == 'e' || direction == 'w' ? direction : 0;
}

// The direction and milliseconds of ":Mgn1000#"; no direction for anything else.
struct TimedPulse {
    char direction = 0;
    int ms = 0;
};

TimedPulse timedPulseOf(const std::string& command)
{
    if (command.size() != 9 || command.compare(0, 3, ":Mg") != 0 || command[8] != '#') return {};
    const std::string digits = command.substr(4, 4);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return {};
    const char direction = directionOf(std::string(":M") + command[3] + "#", 'M');
    return direction ? TimedPulse{direction, std::stoi(digits)} : TimedPulse{};
}

std::string trimmedHash(std::string text)
{
    if (!text.empty() && text.back() == '#') text.pop_back();
    return text;
}

}  // namespace

std::vector<std::string> Lx200Mount::receive(const unsigned char* bytes, std::size_t count)
{
    std::vector<std::string> completed;
    for (std::size_t i = 0; i < count; ++i) {
        const char byte = static_cast<char>(bytes[i]);
        // A ':' inside a command belongs to it (":Sr 12:34:56#"), so only an idle mount starts on one.
        if (pending_.empty() && byte != ':') {
            stray_ += byte;
            continue;
        }
        pending_ += byte;
        if (byte == '#') {
            completed.push_back(std::move(pending_));
            pending_.clear();
        } else if (pending_.size() == kMaxCommandLength) {
            stray_ += pending_;
            pending_.clear();
        }
    }
    return completed;
}

std::string Lx200Mount::answerTo(const std::string& command, const MountBehaviour& behaviour, double seconds)
{
    // A mount that is switched off neither moves nor answers.
    if (behaviour.answers == MountBehaviour::Answers::Silent) return {};
    if (const char direction = directionOf(command, 'M')) motion_.move(direction, seconds, behaviour.motion);
    if (const char direction = directionOf(command, 'Q')) motion_.stop(direction, seconds, behaviour.motion);
    if (const TimedPulse pulse = timedPulseOf(command); pulse.direction) {
        motion_.timedMove(pulse.direction, pulse.ms, seconds, behaviour.motion);
    }
    if (command == ":Q#") motion_.stopAll(seconds, behaviour.motion);
    if (command == ":U#") formatSwitched_ = !formatSwitched_;

    if (behaviour.answers == MountBehaviour::Answers::Replaced) {
        return isGetCommand(command) ? behaviour.replacement : std::string();
    }
    if (command == ":GS#") return behaviour.siderealTime;
    if (command == ":GR#") return rightAscension(behaviour, seconds, readingNoise(behaviour));
    if (command == ":GD#") return declination(behaviour, seconds, readingNoise(behaviour));
    // Rates, movements, stops and everything unknown go unanswered, as on a real LX200.
    return {};
}

bool Lx200Mount::understands(const std::string& command)
{
    for (const char* known : {":GS#", ":GR#", ":GD#", ":RG#", ":Q#", ":U#"}) {
        if (command == known) return true;
    }
    return directionOf(command, 'M') || directionOf(command, 'Q') || timedPulseOf(command).direction;
}

std::string Lx200Mount::position(const MountBehaviour& behaviour, double seconds) const
{
    return "RA " + trimmedHash(rightAscension(behaviour, seconds)) + "  Dec " +
           trimmedHash(declination(behaviour, seconds));
}

double Lx200Mount::readingNoise(const MountBehaviour& behaviour)
{
    if (behaviour.readingNoiseArcsec <= 0) return 0;
    // The engine's output is fixed by the standard, unlike its distributions'.
    const double share = static_cast<double>(noise_()) / static_cast<double>(std::mt19937::max());
    return (2 * share - 1) * behaviour.readingNoiseArcsec;
}

std::string Lx200Mount::rightAscension(const MountBehaviour& behaviour, double seconds, double noiseArcsec) const
{
    const std::optional<double> start = sky::readLongTime(behaviour.rightAscension);
    if (!start) return behaviour.rightAscension;
    double offset = motion_.rightAscensionOffset(seconds, behaviour.motion);
    if (noiseArcsec != 0) {
        const std::optional<double> declination = sky::readLongDeclination(behaviour.declination);
        constexpr double kRadiansPerArcsecond = 3.14159265358979323846 / (180.0 * sky::kArcsecondsPerDegree);
        const double cosine = std::cos((declination.value_or(0) + motion_.declinationOffset(seconds)) * kRadiansPerArcsecond);
        offset += noiseArcsec / (sky::kArcsecondsPerSecondOfTime * std::max(cosine, 0.01));
    }
    if (shortFormat(behaviour)) return sky::shortTime(*start + offset);
    return offset == 0 ? behaviour.rightAscension : sky::longTime(*start + offset);
}

std::string Lx200Mount::declination(const MountBehaviour& behaviour, double seconds, double noiseArcsec) const
{
    const std::optional<double> start = sky::readLongDeclination(behaviour.declination);
    const double offset = motion_.declinationOffset(seconds) + noiseArcsec;
    if (!start) return behaviour.declination;
    if (shortFormat(behaviour)) return sky::shortDeclination(*start + offset);
    return offset == 0 ? behaviour.declination : sky::longDeclination(*start + offset);
}
