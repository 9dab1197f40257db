#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    std::size_t count = 0;
    double min = 0;
    double median = 0;
    double p95 = 0;
    double max = 0;
    double mean = 0;
};

// Percentiles by nearest rank: each is one of the values.
Summary summarise(std::vector<double> values);

// How many of values lie in [low, high].
std::size_t countWithin(const std::vector<double>& values, double low, double high);

}  // namespace bench
