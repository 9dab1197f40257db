#include "bench/report/BeyondBoundSection.h"

namespace bench::report {

std::string BeyondBoundSection::text() const
{
    const std::string heading = "## Figures beyond their bound\n\n";
    if (misses_.empty()) return heading + "None: every figure that has a bound is within it.\n\n";
    return heading + missList(misses_) + "\n" + explanations_;
}

}  // namespace bench::report
