#include "bench/report/IntroductionSection.h"

#include <ctime>
#include <sstream>

namespace bench::report {
namespace {

std::string durationText(long seconds)
{
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

}  // namespace

std::string IntroductionSection::text() const
{
    char date[64];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
    const long took = options_.startedEpoch > 0 ? static_cast<long>(now - options_.startedEpoch) : -1;

    std::ostringstream doc;
    doc << "# Performance\n\n"
        << "How fast the guide link works and what it costs, measured by `tools/run-benchmark.sh`"
        << (options_.quick ? " in its quick mode" : "") << " on " << date;
    if (took >= 0) doc << " (the whole run, build included, took " << durationText(took) << ")";
    doc << ".";
    if (!options_.machine.empty()) doc << " Machine: " << options_.machine << ".";
    doc << " The machine is shared with other work, so every figure comes with its spread over repeated "
           "runs, and figures move a little from one run of the benchmark to the next.\n\n"
        << "Two builds are measured against a simulated LX200 mount at the far end of a real serial "
           "line, a pair of pseudo-terminals joined by socat:\n\n"
        << "- **native**: the link built for Linux (Release), `TelescopeControl` and `HeartBeatTimer` "
           "wired as the program wires them and driven through `iTelescopeControl`;\n"
        << "- **Wine**: the real `guide-link-tester.exe` (Release) under Wine on an Xvfb display, its "
           "dialog worked by `dialog-driver.exe` through a pipe, the line shown to it as COM1.\n\n"
        << "Each figure stands beside the bound the link is designed to. Ratio is the figure over its "
           "bound (for a spread, its maximum over the bound). A pseudo-terminal carries bytes at once, "
           "with none of the 1.04 ms a character takes at 9600 baud, so the times here hold no wire time "
           "while the bounds allow for it.\n\n";
    return doc.str();
}

}  // namespace bench::report
