#pragma once

#include <optional>
#include <string>

// Right ascension and declination as an LX200 mount writes them. Right ascension is kept in
// seconds of time (0 to 86400), declination in arcseconds (-324000 to +324000). A mount shows
// the whole seconds it has passed, so written positions are cut down, never rounded up.
namespace sky {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kArcsecondsPerDegree = 3600.0;
// The sky turns 15.04 arcseconds per second: a little over one second of right ascension.
constexpr double kSiderealArcsecondsPerSecond = 15.041;
constexpr double kArcsecondsPerSecondOfTime = 15.0;
constexpr double kSiderealSecondsPerSecond = kSiderealArcsecondsPerSecond / kArcsecondsPerSecondOfTime;

// A time in the long format, HH:MM:SS, with or without its '#'; nothing for anything else.
std::optional<double> readLongTime(const std::string& text);
// A declination in the long format, sDD*MM'SS with any degree and minutes mark the link takes,
// with or without its '#'; nothing for anything else.
std::optional<double> readLongDeclination(const std::string& text);

// "HH:MM:SS#" and the short "HH:MM.T#"; any number of seconds, brought into one day.
std::string longTime(double seconds);
std::string shortTime(double seconds);
// "sDD*MM'SS#" and the short "sDD*MM#"; held within the poles.
std::string longDeclination(double arcseconds);
std::string shortDeclination(double arcseconds);

// The way from one right ascension to another, across midnight if that is shorter: -43200 to 43200.
double timeBetween(double fromSeconds, double toSeconds);

}  // namespace sky
