#include "mount_simulator/MountSite.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>

#include "lx200/PositionText.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// count digits of text from at, as a number; nothing unless all are there.
std::optional<int> digitsAt(const std::string& text, std::size_t at, std::size_t count)
{
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// "sDD*MM", "DDD*MM" or either with ":SS" after, as handsets and drivers write a site; in
// minutes of arc. The degree mark is '*' or the byte 0xDF many mounts use.
std::optional<double> readAngle(const std::string& text, int largestDegrees)
{
    std::size_t at = 0;
    double sign = 1;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        sign = text[0] == '-' ? -1 : 1;
        at = 1;
    }
    std::size_t mark = at;
    while (mark < text.size() && isDigit(text[mark])) ++mark;
    if (mark == at || mark - at > 3 || mark >= text.size()) return std::nullopt;
    if (text[mark] != '*' && static_cast<unsigned char>(text[mark]) != 0xDF) return std::nullopt;
    const std::optional<int> degrees = digitsAt(text, at, mark - at);
    const std::optional<int> minutes = digitsAt(text, mark + 1, 2);
    std::optional<int> seconds = 0;
    const std::size_t end = mark + 3;
    if (text.size() == end + 3 && text[end] == ':') {
        seconds = digitsAt(text, end + 1, 2);
    } else if (text.size() != end) {
        return std::nullopt;
    }
    if (!degrees || !minutes || !seconds || *minutes > 59 || *seconds > 59) return std::nullopt;
    const double size = *degrees * 60.0 + *minutes + *seconds / 60.0;
    if (size > largestDegrees * 60.0) return std::nullopt;
    return sign * size;
}

// "sDDD*MM" or "sDD*MM" from minutes of arc, cut down to whole minutes as a handset shows them.
std::string angleText(double minutes, int degreeDigits)
{
    const long whole = static_cast<long>(std::floor(std::fabs(minutes)));
    char text[24];
    std::snprintf(text, sizeof text, "%c%0*ld*%02ld#", minutes < 0 ? '-' : '+', degreeDigits, whole / 60, whole % 60);
    return text;
}

// Days since 1970-01-01 of a date of the Gregorian calendar, and back (H. Hinnant's algorithms).
long daysFromCivil(long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

struct CivilDate {
    long year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(long days)
{
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shifted = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
    return {static_cast<long>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

long dayOf(double localSeconds) { return static_cast<long>(std::floor(localSeconds / kSecondsPerDay)); }

}  // namespace

MountSite MountSite::onHostClock()
{
    const std::time_t now = std::time(nullptr);
    // Copied at once: the structures are shared by every caller of gmtime and localtime.
    const std::tm utc = *std::gmtime(&now);
    const std::tm local = *std::localtime(&now);
    const auto secondsOf = [](const std::tm& t) {
        return daysFromCivil(t.tm_year + 1900L, static_cast<unsigned>(t.tm_mon + 1), static_cast<unsigned>(t.tm_mday)) *
                   kSecondsPerDay +
               t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec;
    };
    const double localSeconds = secondsOf(local);
    return MountSite(localSeconds, (localSeconds - secondsOf(utc)) / 3600.0);
}

MountSite::MountSite(double localSecondsAtZero, double utcOffsetHours)
    : localSecondsAtZero_(localSecondsAtZero), utcOffsetHours_(utcOffsetHours)
{
}

std::string MountSite::latitude() const { return angleText(latitudeMinutes_, 2); }

std::string MountSite::longitude() const { return angleText(longitudeMinutes_, 3); }

std::string MountSite::utcOffset() const
{
    // The LX200 counts the other way from a time zone: what to add to local time to get UTC.
    const double hours = -utcOffsetHours_;
    char text[16];
    if (hours == std::floor(hours)) {
        std::snprintf(text, sizeof text, "%+03d#", static_cast<int>(hours));
    } else {
        std::snprintf(text, sizeof text, "%+05.1f#", hours);
    }
    return text;
}

std::string MountSite::localTime(double at) const
{
    const double seconds = localSecondsAtZero_ + at;
    return sky::longTime(seconds - dayOf(seconds) * kSecondsPerDay);
}

std::string MountSite::date(double at) const
{
    const CivilDate today = civilFromDays(dayOf(localSecondsAtZero_ + at));
    char text[16];
    std::snprintf(text, sizeof text, "%02u/%02u/%02ld#", today.month, today.day, today.year % 100);
    return text;
}

bool MountSite::setLatitude(const std::string& value)
{
    const std::optional<double> minutes = readAngle(value, 90);
    if (minutes) latitudeMinutes_ = *minutes;
    return minutes.has_value();
}

bool MountSite::setLongitude(const std::string& value)
{
    // Handsets take 0 to 360 degrees westward as well as -180 to 180.
    std::optional<double> minutes = readAngle(value, 360);
    if (!minutes) return false;
    if (*minutes > 180 * 60) *minutes -= 360 * 60;
    longitudeMinutes_ = *minutes;
    return true;
}

bool MountSite::setUtcOffset(const std::string& value)
{
    // "sH", "sHH", "sH.H" or "sHH.H", the sign required: handsets write two digits, drivers often one.
    if (value.size() < 2 || (value[0] != '+' && value[0] != '-')) return false;
    const std::size_t point = value.find('.');
    const std::size_t hourDigits = (point == std::string::npos ? value.size() : point) - 1;
    if (hourDigits < 1 || hourDigits > 2) return false;
    if (point != std::string::npos && value.size() != point + 2) return false;
    const std::optional<int> hours = digitsAt(value, 1, hourDigits);
    const std::optional<int> tenths = point == std::string::npos ? std::optional<int>(0) : digitsAt(value, point + 1, 1);
    if (!hours || !tenths || *hours > 24) return false;
    const double offset = (*hours + *tenths / 10.0) * (value[0] == '-' ? -1 : 1);
    // Local time stays as it was: the offset says where UTC lies from it.
    utcOffsetHours_ = -offset;
    return true;
}

bool MountSite::setLocalTime(const std::string& value, double at)
{
    const std::optional<double> time = sky::readLongTime(value);
    if (!time) return false;
    const double now = localSecondsAtZero_ + at;
    localSecondsAtZero_ = dayOf(now) * kSecondsPerDay + *time - at;
    return true;
}

bool MountSite::setDate(const std::string& value, double at)
{
    if (value.size() != 8 || value[2] != '/' || value[5] != '/') return false;
    const std::optional<int> month = digitsAt(value, 0, 2);
    const std::optional<int> day = digitsAt(value, 3, 2);
    const std::optional<int> year = digitsAt(value, 6, 2);
    if (!month || !day || !year || *month < 1 || *month > 12 || *day < 1) return false;
    // Two-digit years as handsets take them: 1950 to 2049.
    const long fullYear = *year < 50 ? 2000 + *year : 1900 + *year;
    const auto monthNumber = static_cast<unsigned>(*month);
    const long first = daysFromCivil(fullYear, monthNumber, 1);
    const long next = monthNumber == 12 ? daysFromCivil(fullYear + 1, 1, 1) : daysFromCivil(fullYear, monthNumber + 1, 1);
    if (*day > next - first) return false;
    const double now = localSecondsAtZero_ + at;
    const double timeOfDay = now - dayOf(now) * kSecondsPerDay;
    localSecondsAtZero_ = (first + *day - 1) * kSecondsPerDay + timeOfDay - at;
    return true;
}
