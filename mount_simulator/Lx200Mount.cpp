#include "mount_simulator/Lx200Mount.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "lx200/PositionText.h"
#include "lx200/ReplyShape.h"

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

// The settings this mount takes, each a command of two letters and a value.
constexpr const char* kSettings[] = {"Sr", "Sd", "St", "Sg", "SG", "SL", "SC"};

// The value of a setting such as ":Sr12:34:56#" (or ":Sr 12:34:56#", as some drivers write it):
// "12:34:56". Nothing for any other command.
std::optional<std::string> settingValue(const std::string& command, const char* letters)
{
    if (command.size() < 5 || command[0] != ':' || command.compare(1, 2, letters) != 0 || command.back() != '#') {
        return std::nullopt;
    }
    const std::size_t from = command[3] == ' ' ? 4 : 3;
    return command.substr(from, command.size() - 1 - from);
}

int digit(char c) { return c - '0'; }

// A target's right ascension in either format, in seconds of time.
std::optional<double> readTime(const std::string& text)
{
    if (shapeOfReply(text.data(), static_cast<int>(text.size())) == ReplyShape::ShortTime) {
        return (digit(text[0]) * 10 + digit(text[1])) * 3600.0 + (digit(text[3]) * 10 + digit(text[4])) * 60.0 +
               digit(text[6]) * 6.0;
    }
    return sky::readLongTime(text);
}

// A target's declination in either format, in arcseconds.
std::optional<double> readDeclination(const std::string& text)
{
    if (shapeOfReply(text.data(), static_cast<int>(text.size())) == ReplyShape::ShortDeclination) {
        return sky::readLongDeclination(text + ":00");
    }
    return sky::readLongDeclination(text);
}

std::string yesOrNo(bool done) { return done ? "1" : "0"; }

// The tracking frequency as an LX200 gives it, TT.T in hertz: 60.1 for the sidereal rate.
std::string trackingFrequency(double timesSidereal)
{
    constexpr double kSiderealHertz = 60.1643;
    const double tenths = std::trunc(kSiderealHertz * timesSidereal * 10);
    char text[16];
    std::snprintf(text, sizeof text, "%04.1f#", tenths / 10);
    return text;
}

}  // namespace

std::vector<std::string> Lx200Mount::receive(const unsigned char* bytes, std::size_t count)
{
    std::vector<std::string> completed;
    for (std::size_t i = 0; i < count; ++i) {
        const char byte = static_cast<char>(bytes[i]);
        if (pending_.empty() && byte == kAlignmentQuery) {
            completed.emplace_back(1, byte);
            continue;
        }
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
    std::string answer = obey(command, behaviour, seconds);
    if (behaviour.answers == MountBehaviour::Answers::Replaced && isGetCommand(command)) return behaviour.replacement;
    return answer;
}

std::string Lx200Mount::obey(const std::string& command, const MountBehaviour& behaviour, double seconds)
{
    if (const char direction = directionOf(command, 'M')) motion_.move(direction, seconds, behaviour.motion);
    if (const char direction = directionOf(command, 'Q')) motion_.stop(direction, seconds, behaviour.motion);
    if (const TimedPulse pulse = timedPulseOf(command); pulse.direction) {
        motion_.timedMove(pulse.direction, pulse.ms, seconds, behaviour.motion);
    }
    if (command == ":Q#" && behaviour.motion.obeysHalt) {
        motion_.stopAll(seconds, behaviour.motion);
        stopSlew(seconds);
    }
    if (command == ":U#") formatSwitched_ = !formatSwitched_;

    // A German equatorial mount is aligned on the pole.
    if (command.size() == 1 && command[0] == kAlignmentQuery) return "P";
    if (command == ":GS#") return behaviour.siderealTime;
    if (command == ":GR#") return rightAscension(behaviour, seconds, readingNoise(behaviour));
    if (command == ":GD#") return declination(behaviour, seconds, readingNoise(behaviour));
    if (command == ":Gc#") return "24#";
    if (command == ":GM#" || command == ":GN#" || command == ":GO#" || command == ":GP#") return "Home#";
    if (command == ":GT#") return trackingFrequency(behaviour.motion.trackingRate);
    if (command == ":Gt#") return site_.latitude();
    if (command == ":Gg#") return site_.longitude();
    if (command == ":GG#") return site_.utcOffset();
    if (command == ":GL#") return site_.localTime(seconds);
    if (command == ":GC#") return site_.date(seconds);
    // A bar while a goto is under way, as Autostars answer; nothing once it has arrived.
    if (command == ":D#") return slewing(seconds) ? "\x7F#" : "#";
    if (command == ":MS#") {
        slewToTarget(behaviour, seconds);
        return "0";
    }
    if (command == ":CM#") {
        syncToTarget(behaviour, seconds);
        return " M31 EX GAL MAG 3.5 SZ178.0'#";
    }
    if (const auto value = settingValue(command, "Sr")) {
        const std::optional<double> time = readTime(*value);
        if (time) targetRightAscension_ = time;
        return yesOrNo(time.has_value());
    }
    if (const auto value = settingValue(command, "Sd")) {
        const std::optional<double> angle = readDeclination(*value);
        if (angle) targetDeclination_ = angle;
        return yesOrNo(angle.has_value());
    }
    if (const auto value = settingValue(command, "St")) return yesOrNo(site_.setLatitude(*value));
    if (const auto value = settingValue(command, "Sg")) return yesOrNo(site_.setLongitude(*value));
    if (const auto value = settingValue(command, "SG")) return yesOrNo(site_.setUtcOffset(*value));
    if (const auto value = settingValue(command, "SL")) return yesOrNo(site_.setLocalTime(*value, seconds));
    if (const auto value = settingValue(command, "SC")) {
        // An accepted date is followed by two more answers: the handset's message, then a blank line.
        return site_.setDate(*value, seconds) ? "1Updating Planetary Data#" + std::string(30, ' ') + "#" : "0";
    }
    // Rates, movements, stops and everything unknown go unanswered, as on a real LX200.
    return {};
}

bool Lx200Mount::understands(const std::string& command)
{
    static const char* const kKnown[] = {
        ":GS#", ":GR#", ":GD#", ":Gc#", ":GM#", ":GN#", ":GO#", ":GP#", ":GT#", ":Gt#", ":Gg#", ":GG#", ":GL#",
        ":GC#", ":D#",  ":MS#", ":CM#", ":RG#", ":RC#", ":RM#", ":RS#", ":Q#",  ":U#",
    };
    if (command.size() == 1 && command[0] == kAlignmentQuery) return true;
    for (const char* known : kKnown) {
        if (command == known) return true;
    }
    for (const char* letters : kSettings) {
        if (settingValue(command, letters)) return true;
    }
    return directionOf(command, 'M') || directionOf(command, 'Q') || timedPulseOf(command).direction;
}

Lx200Mount::Shift Lx200Mount::shiftAt(double seconds) const
{
    if (seconds >= slew_.endAt) return slew_.to;
    // Also what keeps a slew of no length from dividing by it.
    if (seconds <= slew_.startAt) return slew_.from;
    const double share = (seconds - slew_.startAt) / (slew_.endAt - slew_.startAt);
    return {slew_.from.rightAscension + share * (slew_.to.rightAscension - slew_.from.rightAscension),
            slew_.from.declination + share * (slew_.to.declination - slew_.from.declination)};
}

double Lx200Mount::rightAscensionAt(const MountBehaviour& behaviour, double seconds) const
{
    return sky::readLongTime(behaviour.rightAscension).value_or(0) +
           motion_.rightAscensionOffset(seconds, behaviour.motion) + shiftAt(seconds).rightAscension;
}

double Lx200Mount::declinationAt(const MountBehaviour& behaviour, double seconds) const
{
    return sky::readLongDeclination(behaviour.declination).value_or(0) + motion_.declinationOffset(seconds) +
           shiftAt(seconds).declination;
}

void Lx200Mount::slewToTarget(const MountBehaviour& behaviour, double seconds)
{
    const Shift from = shiftAt(seconds);
    // A target not given is where the mount already points on that axis. The millionth of a
    // second keeps the arrival from reading one second short once the sums are rounded.
    const double rightAscension = targetRightAscension_
        ? sky::timeBetween(rightAscensionAt(behaviour, seconds), *targetRightAscension_) + 1e-6 : 0;
    const double declination = targetDeclination_ ? *targetDeclination_ - declinationAt(behaviour, seconds) + 1e-6 : 0;
    const double arcseconds = std::max(std::fabs(rightAscension) * sky::kArcsecondsPerSecondOfTime, std::fabs(declination));
    const double duration = arcseconds / (behaviour.motion.slewDegreesPerSecond * sky::kArcsecondsPerDegree);
    slew_ = {seconds, seconds + duration, from, {from.rightAscension + rightAscension, from.declination + declination}};
}

void Lx200Mount::syncToTarget(const MountBehaviour& behaviour, double seconds)
{
    slewToTarget(behaviour, seconds);
    slew_.endAt = seconds;
}

void Lx200Mount::stopSlew(double seconds)
{
    const Shift here = shiftAt(seconds);
    slew_ = {seconds, seconds, here, here};
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
    double offset = motion_.rightAscensionOffset(seconds, behaviour.motion) + shiftAt(seconds).rightAscension;
    if (noiseArcsec != 0) {
        constexpr double kRadiansPerArcsecond = 3.14159265358979323846 / (180.0 * sky::kArcsecondsPerDegree);
        const double cosine = std::cos(declinationAt(behaviour, seconds) * kRadiansPerArcsecond);
        offset += noiseArcsec / (sky::kArcsecondsPerSecondOfTime * std::max(cosine, 0.01));
    }
    if (shortFormat(behaviour)) return sky::shortTime(*start + offset);
    return offset == 0 ? behaviour.rightAscension : sky::longTime(*start + offset);
}

std::string Lx200Mount::declination(const MountBehaviour& behaviour, double seconds, double noiseArcsec) const
{
    const std::optional<double> start = sky::readLongDeclination(behaviour.declination);
    const double offset = motion_.declinationOffset(seconds) + shiftAt(seconds).declination + noiseArcsec;
    if (!start) return behaviour.declination;
    if (shortFormat(behaviour)) return sky::shortDeclination(*start + offset);
    return offset == 0 ? behaviour.declination : sky::longDeclination(*start + offset);
}
