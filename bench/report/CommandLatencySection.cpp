#include "bench/report/CommandLatencySection.h"

#include "bench/DesignFigures.h"
#include "bench/report/CommandLatencyFigures.h"
#include "bench/report/NumberText.h"

namespace bench::report {

void CommandLatencySection::addRows(FigureTable& table, Misses& misses) const
{
    for (const BuildResults* build : builds_.measured) addRowOf(*build, builds_.isWine(*build), table, misses);
}

void CommandLatencySection::addRowOf(const BuildResults& build, bool clicked, FigureTable& table,
                                     Misses& misses) const
{
    if (build.pulses.empty()) return;
    const CommandLatency latency = commandLatency(build);
    const std::string n = std::to_string(latency.count);
    const double bound = design::kCommandLatencyBoundMs;
    std::string measured = spread(latency.fromCall, 1, "ms");
    if (clicked) {
        measured += "; from the driver's word that the click was taken: max " +
                    fixed(latency.fromAcknowledgement.max, 1) + " ms";
    }
    table.add({std::string("Command latency, ") + (clicked ? "click" : "call") + " to first byte of :Mx# (n=" + n +
                   ")",
               build.name, measured, "<= " + fixed(bound, 1) + " ms (up to one 100 ms tick + one character)",
               ratio(latency.fromCall.max, bound),
               partOf(latency.withinFromCall, latency.count) +
                   (clicked ? "; from the acknowledgement " + std::to_string(latency.withinFromAcknowledgement) + "/" + n
                            : std::string())});
    if (latency.withinFromCall == latency.count) return;
    // Under Wine the click happened somewhere between the command to the driver and the driver's
    // answer; only a latency beyond the bound from the answer is surely the link's.
    const bool surelyTheLink = !clicked || latency.withinFromAcknowledgement < latency.count;
    misses.push_back({build.name, surelyTheLink ? "latency" : "latency, undecided",
                      build.name + ", command latency: " + std::to_string(latency.count - latency.withinFromCall) +
                          " of " + n + " beyond " + fixed(bound, 1) + " ms, up to " + fixed(latency.fromCall.max, 1) +
                          " ms" +
                          (clicked ? " counted from the click command sent to the driver (" +
                                         fixed(latency.fromAcknowledgement.max, 1) +
                                         " ms counted from the driver's word that the dialog took it)"
                                   : std::string()) +
                          "."});
}

std::string CommandLatencySection::explainMisses(const Misses& misses) const
{
    std::string doc;
    if (missed(misses, "latency")) {
        doc += "**Command latency beyond one tick.** A move waits for the heartbeat's next tick, so "
               "by design it reaches the line anything from nothing to 100 ms after the request. Beyond "
               "that, the tick came late against its mark, or the frame reader wrote the move late after "
               "it: on a busy machine, either thread can be scheduled late.\n\n";
    }
    if (missed(misses, "latency, undecided")) {
        doc += "**Command latency under Wine: within the driver's delivery.** Under Wine the click "
               "is timed from the moment the click command went into the dialog driver's pipe, so the "
               "figure also holds the driver's delivery of the click to the dialog. Counted from the "
               "driver's answer that the dialog had taken the click, every latency is within the "
               "bound. The click itself happened somewhere in between, so this run cannot tell "
               "whether the link missed.\n\n";
    }
    return doc;
}

}  // namespace bench::report
