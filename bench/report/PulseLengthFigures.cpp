#include "bench/report/PulseLengthFigures.h"

#include <algorithm>
#include <cmath>

#include "bench/DesignFigures.h"
#include "bench/Workload.h"

namespace bench::report {
namespace {

std::vector<Pulse> pulsesOf(const BuildResults& build, int requestedMs)
{
    std::vector<Pulse> chosen;
    for (const Pulse& pulse : build.pulses) {
        if (pulse.requestedMs == requestedMs) chosen.push_back(pulse);
    }
    return chosen;
}

bool insidePulseBound(const Pulse& pulse)
{
    return pulse.errorMs() >= design::pulseErrorLowMs(pulse.requestedMs) &&
           pulse.errorMs() <= design::pulseErrorHighMs(pulse.requestedMs);
}

bool isFullLength(const Pulse& pulse) { return pulse.periods() >= design::ticksFor(pulse.requestedMs); }

}  // namespace

PulseErrors pulseErrors(const BuildResults& build, int lengthMs)
{
    PulseErrors figures;
    std::vector<double> errors;
    for (const Pulse& pulse : pulsesOf(build, lengthMs)) {
        errors.push_back(pulse.errorMs());
        if (insidePulseBound(pulse)) ++figures.inside;
        if (pulse.errorMs() > design::pulseErrorHighMs(lengthMs)) ++figures.over;
    }
    figures.count = errors.size();
    figures.under = figures.count - figures.inside - figures.over;
    figures.errors = summarise(errors);
    return figures;
}

std::map<int, std::pair<int, int>> fullLengthByRound(const BuildResults& build)
{
    std::map<int, std::pair<int, int>> rounds;
    for (const Pulse& pulse : build.pulses) {
        auto& counts = rounds[pulse.round];
        if (isFullLength(pulse)) ++counts.first;
        ++counts.second;
    }
    return rounds;
}

std::pair<double, double> clusterMedians(const BuildResults& build, int lengthMs)
{
    std::vector<double> full;
    std::vector<double> shortOnes;
    for (const Pulse& pulse : pulsesOf(build, lengthMs)) {
        (isFullLength(pulse) ? full : shortOnes).push_back(pulse.errorMs());
    }
    return {full.empty() ? NAN : summarise(full).median, shortOnes.empty() ? NAN : summarise(shortOnes).median};
}

std::size_t pulsesPerLengthOnEachAxis(const BuildResults& build)
{
    std::size_t count = 0;
    for (const Pulse& pulse : pulsesOf(build, kPulseLengthsMs[0])) {
        if (pulse.direction == "north" || pulse.direction == "south") ++count;
    }
    return count;
}

int roundCount(const BuildResults& build)
{
    int most = 0;
    for (const Pulse& pulse : build.pulses) most = std::max(most, pulse.round);
    return most;
}

}  // namespace bench::report
