#include "bench/report/ReproducingSection.h"

namespace bench::report {

std::string ReproducingSection::text() const
{
    return "## Reproducing\n\n"
           "    tools/run-benchmark.sh            # the full run, about 12 minutes\n"
           "    tools/run-benchmark.sh --quick    # a short run, about 3 minutes, fewer samples\n\n"
           "It installs what is missing (the project's packages and gnuplot-nox), builds the Windows "
           "program and the benchmark in trees of their own (`build/bench/windows` and "
           "`build/bench/native`, both Release), makes the serial line and the display, "
           "runs both builds and rewrites this file and `docs/" +
           imageLink_ + "`. The raw records are left in `build/bench/run/`.\n";
}

}  // namespace bench::report
