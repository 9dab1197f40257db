#include "bench/report/PulseLengthPlot.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench/DesignFigures.h"
#include "bench/Workload.h"
#include "bench/report/NumberText.h"

namespace bench::report {

namespace {

// What went into the data file: the builds, one data set each, and the errors' range with margin.
struct PlottedPoints {
    std::vector<std::string> builds;
    double lowest = -20;
    double highest = 30;
};

PlottedPoints writePoints(const std::string& path, const std::vector<const BuildResults*>& measured)
{
    const std::vector<int>& lengths = kPulseLengthsMs;
    std::ofstream data(path);
    // Points spread sideways at random, the same way every time, so that equal errors stay apart.
    std::mt19937 jitter(7);
    std::uniform_real_distribution<double> spreadOut(-0.13, 0.13);
    PlottedPoints plotted;
    for (std::size_t b = 0; b < measured.size(); ++b) {
        if (measured[b]->pulses.empty()) continue;
        const double offset = measured.size() > 1 ? (b == 0 ? -0.2 : 0.2) : 0.0;
        data << "# " << measured[b]->name << "\n";
        for (const Pulse& pulse : measured[b]->pulses) {
            const auto at = std::find(lengths.begin(), lengths.end(), pulse.requestedMs);
            if (at == lengths.end()) continue;
            const double x = static_cast<double>(at - lengths.begin()) + offset + spreadOut(jitter);
            data << fixed(x, 3) << ' ' << fixed(pulse.errorMs(), 3) << '\n';
            plotted.lowest = std::min(plotted.lowest, pulse.errorMs() - 5);
            plotted.highest = std::max(plotted.highest, pulse.errorMs() + 5);
        }
        data << "\n\n";
        plotted.builds.push_back(measured[b]->name);
    }
    return plotted;
}

void writeScript(const ReportOptions& options, const PlottedPoints& plotted)
{
    const std::vector<int>& lengths = kPulseLengthsMs;
    std::ofstream script(options.plotScript);
    script << "# Draws the pulse length errors; written by guide-link-bench report.\n"
           << "set terminal pngcairo size 960,560 font 'DejaVu Sans,10'\n"
           << "set output '" << options.image << "'\n"
           << "set title 'Guide pulses on the line: length less the length asked for'\n"
           << "set xlabel 'pulse length asked for'\n"
           << "set ylabel 'error (ms)'\n"
           << "set xtics (";
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        script << (i ? ", " : "") << "'" << lengths[i] << " ms' " << i;
    }
    script << ")\n"
           << "set xrange [-0.6:" << lengths.size() - 0.4 << "]\n"
           << "set yrange [" << fixed(std::floor(plotted.lowest / 10) * 10, 0) << ":"
           << fixed(std::ceil(plotted.highest / 10) * 10, 0)
           << "]\n"
           << "set ytics 10\n"
           << "set grid ytics lc rgb '#dddddd'\n"
           << "set key outside bottom center horizontal\n"
           << "set bmargin 5\n"
           // Every length asked for is a whole number of ticks, so the band is the same for all.
           << "set object 1 rect from graph 0, first " << fixed(design::pulseErrorLowMs(lengths[0]), 2)
           << " to graph 1, first " << fixed(design::pulseErrorHighMs(lengths[0]), 2)
           << " fc rgb '#e6f2e6' fs solid 1.0 noborder behind\n"
           << "set arrow 1 from graph 0, first 0 to graph 1, first 0 nohead lc rgb '#888888' dt 2\n";
    const char* const colours[] = {"#1f5fa8", "#c0392b"};
    const char* const points[] = {"7", "5"};
    script << "plot NaN with boxes fs solid 1.0 fc rgb '#e6f2e6' title 'within the bound guide-link sets'";
    for (std::size_t i = 0; i < plotted.builds.size(); ++i) {
        script << ", \\\n     '" << options.plotData << "' index " << i << " using 1:2 with points pt " << points[i % 2]
               << " ps 0.7 lc rgb '" << colours[i % 2] << "' title '" << plotted.builds[i] << "'";
    }
    script << "\n";
}

}  // namespace

void writePulseLengthPlot(const ReportOptions& options, const Builds& builds)
{
    writeScript(options, writePoints(options.plotData, builds.measured));
}

}  // namespace bench::report
