#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bench/Statistics.h"

// Numbers as the report writes them.
namespace bench::report {

std::string fixed(double value, int decimals);
std::string signedFixed(double value, int decimals);
// 1234567 as "1,234,567".
std::string grouped(double value);
// "-" when whole is 0.
std::string percent(std::size_t part, std::size_t whole);
// "39/40 (98 %)".
std::string partOf(std::size_t part, std::size_t whole);
std::string ratio(double measured, double bound, int decimals = 2);
// "min 1.0, median 2.0, p95 3.0, max 4.0 ms".
std::string spread(const Summary& summary, int decimals, const std::string& unit);
std::string signedSpread(const Summary& summary, int decimals, const std::string& unit);
// "25.0 /s (24.9 to 25.0 over 3 x 20 s)": the median, then the range over what over names.
std::string medianRange(const std::vector<double>& values, int decimals, const std::string& unit,
                        const std::string& over);

}  // namespace bench::report
