#include "bench/report/CommandLatencyFigures.h"

#include <vector>

#include "bench/DesignFigures.h"

namespace bench::report {

CommandLatency commandLatency(const BuildResults& build)
{
    std::vector<double> fromCall;
    std::vector<double> fromAcknowledgement;
    for (const Pulse& pulse : build.pulses) {
        fromCall.push_back(pulse.latencyMs());
        fromAcknowledgement.push_back(pulse.latencyFromAcknowledgementMs());
    }
    CommandLatency figures;
    figures.count = fromCall.size();
    figures.fromCall = summarise(fromCall);
    figures.fromAcknowledgement = summarise(fromAcknowledgement);
    figures.withinFromCall = countWithin(fromCall, 0, design::kCommandLatencyBoundMs);
    // Acknowledged after the command went out is early, not late.
    figures.withinFromAcknowledgement = countWithin(fromAcknowledgement, -1e9, design::kCommandLatencyBoundMs);
    return figures;
}

}  // namespace bench::report
