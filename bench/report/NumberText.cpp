#include "bench/report/NumberText.h"

#include <cmath>
#include <cstdio>

namespace bench::report {
namespace {

std::string printed(const char* format, double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, format, decimals, value);
    return text;
}

std::string spreadIn(std::string (*number)(double, int), const Summary& summary, int decimals,
                     const std::string& unit)
{
    return "min " + number(summary.min, decimals) + ", median " + number(summary.median, decimals) + ", p95 " +
           number(summary.p95, decimals) + ", max " + number(summary.max, decimals) + " " + unit;
}

}  // namespace

std::string fixed(double value, int decimals) { return printed("%.*f", value, decimals); }

std::string signedFixed(double value, int decimals) { return printed("%+.*f", value, decimals); }

std::string grouped(double value)
{
    std::string digits = fixed(std::round(value), 0);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

std::string percent(std::size_t part, std::size_t whole)
{
    return whole ? fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 0) + " %" : "-";
}

std::string partOf(std::size_t part, std::size_t whole)
{
    return std::to_string(part) + "/" + std::to_string(whole) + " (" + percent(part, whole) + ")";
}

std::string ratio(double measured, double bound, int decimals) { return fixed(measured / bound, decimals); }

std::string spread(const Summary& summary, int decimals, const std::string& unit)
{
    return spreadIn(fixed, summary, decimals, unit);
}

std::string signedSpread(const Summary& summary, int decimals, const std::string& unit)
{
    return spreadIn(signedFixed, summary, decimals, unit);
}

std::string medianRange(const std::vector<double>& values, int decimals, const std::string& unit,
                        const std::string& over)
{
    const Summary summary = summarise(values);
    return fixed(summary.median, decimals) + " " + unit + " (" + fixed(summary.min, decimals) + " to " +
           fixed(summary.max, decimals) + " over " + over + ")";
}

}  // namespace bench::report
