#include "bench/report/Miss.h"

#include <algorithm>

namespace bench::report {

bool missed(const Misses& misses, const std::string& kind)
{
    return std::any_of(misses.begin(), misses.end(), [&kind](const Miss& miss) { return miss.kind == kind; });
}

std::string missList(const Misses& misses)
{
    std::string list;
    for (const Miss& miss : misses) {
        if (!miss.text.empty()) list += "- " + miss.text + "\n";
    }
    return list;
}

}  // namespace bench::report
