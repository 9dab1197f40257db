#pragma once

#include <string>
#include <utility>

#include "bench/report/Miss.h"

namespace bench::report {

// The figures beyond their bound, then why, in the words of the sections they belong to.
class BeyondBoundSection {
public:
    BeyondBoundSection(const Misses& misses, std::string explanations)
        : misses_(misses), explanations_(std::move(explanations))
    {
    }

    std::string text() const;

private:
    const Misses& misses_;
    const std::string explanations_;
};

}  // namespace bench::report
