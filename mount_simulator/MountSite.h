#pragma once

#include <string>

// Where and when the simulated mount believes it is, as its handset was told: the site's
// latitude and longitude, and a clock of local civil time with its offset from UTC. Times are
// seconds on the simulator's clock; the civil clock runs on from what it was set to. Answers and
// settings are in the LX200 text forms, '#' included in answers and left off in settings.
class MountSite {
public:
    // The host's own clock and time zone at the simulator's second zero.
    static MountSite onHostClock();
    // localSecondsAtZero: local civil time at second zero, in seconds since 1970-01-01 00:00.
    MountSite(double localSecondsAtZero, double utcOffsetHours);

    std::string latitude() const;      // "+48*51#"
    std::string longitude() const;     // "-002*21#", west positive as the LX200 counts it
    std::string utcOffset() const;     // "+05#" or "-05.5#": hours added to local time give UTC
    std::string localTime(double at) const;  // "HH:MM:SS#", on a 24 hour clock
    std::string date(double at) const;       // "MM/DD/YY#"

    // Each takes the value after the command's two letters (":St+48*51#" gives "+48*51");
    // false, and nothing changed, for a value out of range or of another shape.
    bool setLatitude(const std::string& value);
    bool setLongitude(const std::string& value);
    bool setUtcOffset(const std::string& value);
    bool setLocalTime(const std::string& value, double at);
    bool setDate(const std::string& value, double at);

private:
    double latitudeMinutes_ = 48 * 60 + 51;
    double longitudeMinutes_ = -(2 * 60 + 21);  // east of Greenwich
    double localSecondsAtZero_;
    double utcOffsetHours_;
};
