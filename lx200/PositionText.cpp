#include "lx200/PositionText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lx200/ReplyShape.h"

namespace {

constexpr double kArcsecondsToPole = 90.0 * sky::kArcsecondsPerDegree;

std::string withoutHash(const std::string& text)
{
    return !text.empty() && text.back() == '#' ? text.substr(0, text.size() - 1) : text;
}

int number(const std::string& text, std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

double withinOneDay(double seconds)
{
    const double wrapped = std::fmod(seconds, sky::kSecondsPerDay);
    return wrapped < 0 ? wrapped + sky::kSecondsPerDay : wrapped;
}

double withinThePoles(double arcseconds) { return std::clamp(arcseconds, -kArcsecondsToPole, kArcsecondsToPole); }

}  // namespace

namespace sky {

std::optional<double> readLongTime(const std::string& text)
{
    const std::string time = withoutHash(text);
    if (shapeOfReply(time.data(), static_cast<int>(time.size())) != ReplyShape::LongTime) return std::nullopt;
    return number(time, 0) * 3600.0 + number(time, 3) * 60.0 + number(time, 6);
}

std::optional<double> readLongDeclination(const std::string& text)
{
    const std::string angle = withoutHash(text);
    if (shapeOfReply(angle.data(), static_cast<int>(angle.size())) != ReplyShape::LongDeclination) {
        return std::nullopt;
    }
    const double size = number(angle, 1) * kArcsecondsPerDegree + number(angle, 4) * 60.0 + number(angle, 7);
    return angle[0] == '-' ? -size : size;
}

std::string longTime(double seconds)
{
    const long whole = static_cast<long>(std::floor(withinOneDay(seconds)));
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld#", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string shortTime(double seconds)
{
    const long tenthsOfMinute = static_cast<long>(std::floor(withinOneDay(seconds) / 6.0));
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld.%ld#", tenthsOfMinute / 600, tenthsOfMinute / 10 % 60,
                  tenthsOfMinute % 10);
    return text;
}

std::string longDeclination(double arcseconds)
{
    const double held = withinThePoles(arcseconds);
    const long whole = static_cast<long>(std::floor(std::fabs(held)));
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld*%02ld'%02ld#", held < 0 ? '-' : '+', whole / 3600, whole / 60 % 60,
                  whole % 60);
    return text;
}

std::string shortDeclination(double arcseconds)
{
    const double held = withinThePoles(arcseconds);
    const long minutes = static_cast<long>(std::floor(std::fabs(held) / 60.0));
    char text[16];
    std::snprintf(text, sizeof text, "%c%02ld*%02ld#", held < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text;
}

double timeBetween(double fromSeconds, double toSeconds)
{
    double way = withinOneDay(toSeconds - fromSeconds);
    if (way >= kSecondsPerDay / 2) way -= kSecondsPerDay;
    return way;
}

}  // namespace sky
