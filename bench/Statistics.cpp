#include "bench/Statistics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace bench {
namespace {

double nearestRank(const std::vector<double>& sorted, double fraction)
{
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

}  // namespace

Summary summarise(std::vector<double> values)
{
    Summary summary;
    if (values.empty()) return summary;
    std::sort(values.begin(), values.end());
    summary.count = values.size();
    summary.min = values.front();
    summary.median = nearestRank(values, 0.5);
    summary.p95 = nearestRank(values, 0.95);
    summary.max = values.back();
    summary.mean = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    return summary;
}

std::size_t countWithin(const std::vector<double>& values, double low, double high)
{
    return static_cast<std::size_t>(
        std::count_if(values.begin(), values.end(), [&](double value) { return value >= low && value <= high; }));
}

}  // namespace bench
