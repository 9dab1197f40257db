#include "bench/report/PulseLengthFigures.h"

#include <algorithm>

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

}  // namespace

PulseErrors pulseErrors(const BuildResults& build, int lengthMs)
{
    PulseErrors figures;
    std::vector<double> errors;
    for (const Pulse& pulse : pulsesOf(build, lengthMs)) {
        errors.push_back(pulse.errorMs());
        if (design::pulseBound(lengthMs).holds(pulse.lengthMs())) ++figures.inside;
        if (pulse.errorMs() > design::pulseErrorHighMs(lengthMs)) ++figures.over;
    }
    figures.count = errors.size();
    figures.under = figures.count - figures.inside - figures.over;
    figures.errors = summarise(errors);
    return figures;
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
