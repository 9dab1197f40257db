#include "bench/Report.h"

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/report/BeyondBoundSection.h"
#include "bench/report/BuildResults.h"
#include "bench/report/CommandLatencySection.h"
#include "bench/report/FigureTable.h"
#include "bench/report/HandshakeSection.h"
#include "bench/report/HeartbeatPeriodSection.h"
#include "bench/report/IdleCostSection.h"
#include "bench/report/IntroductionSection.h"
#include "bench/report/MethodSection.h"
#include "bench/report/Miss.h"
#include "bench/report/PulseLengthPlot.h"
#include "bench/report/PulseLengthSection.h"
#include "bench/report/ReproducingSection.h"
#include "bench/report/ThroughputSection.h"
#include "bench/report/WineProgramSection.h"

namespace bench {

int writeReport(const ReportOptions& options)
{
    using namespace report;
    const Builds builds(options.nativeResults, options.wineResults);
    if (builds.measured.empty()) {
        std::fprintf(stderr, "no results to report\n");
        return 1;
    }
    const PulseLengthSection pulseLength(builds);
    const CommandLatencySection commandLatency(builds);
    const HandshakeSection handshake(builds);
    const HeartbeatPeriodSection heartbeatPeriod(builds);
    const ThroughputSection throughput(builds);
    const IdleCostSection idleCost(builds);

    FigureTable table;
    Misses misses;
    pulseLength.addRows(table, misses);
    commandLatency.addRows(table, misses);
    handshake.addRows(table, misses);
    heartbeatPeriod.addRows(table);
    throughput.addRows(table, misses);
    idleCost.addRows(table);
    WineProgramSection(builds).addRows(table);

    writePulseLengthPlot(options, builds);

    const std::string explanations = pulseLength.explainMisses(misses) + commandLatency.explainMisses(misses) +
                                     throughput.explainMisses(misses) + handshake.explainMisses(misses);
    const std::string doc = IntroductionSection(options).text() + table.section() +
                            pulseLength.text(options.imageLink) + BeyondBoundSection(misses, explanations).text() +
                            idleCost.text() + handshake.text() + throughput.text() + MethodSection(builds).text() +
                            ReproducingSection(options.imageLink).text();
    std::ofstream out(options.markdown);
    out << doc;
    if (!out.good()) {
        std::fprintf(stderr, "cannot write %s\n", options.markdown.c_str());
        return 1;
    }
    std::fputs(table.markdown().c_str(), stdout);
    if (!misses.empty()) {
        std::fputs("\nBeyond their bound:\n", stdout);
        std::fputs(missList(misses).c_str(), stdout);
    }
    return 0;
}

}  // namespace bench
