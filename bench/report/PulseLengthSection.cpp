#include "bench/report/PulseLengthSection.h"

#include <cmath>
#include <sstream>

#include "bench/DesignFigures.h"
#include "bench/Workload.h"
#include "bench/report/CommandLatencyFigures.h"
#include "bench/report/HeartbeatPeriodFigures.h"
#include "bench/report/NumberText.h"
#include "bench/report/PulseLengthFigures.h"

namespace bench::report {
namespace {

std::string whereMeasured(const Builds& builds, const BuildResults& build)
{
    return builds.isWine(build) ? "under Wine" : "natively";
}

std::string boundText(int lengthMs)
{
    return signedFixed(design::pulseErrorLowMs(lengthMs), 0) + " to " +
           signedFixed(design::pulseErrorHighMs(lengthMs), 0) + " ms";
}

// The median command latency per build, as " (median ... natively and ... under Wine)".
std::string medianLatencies(const Builds& builds)
{
    std::string text;
    for (const BuildResults* build : builds.measured) {
        if (build->pulses.empty()) continue;
        text += (text.empty() ? " (median " : " and ") + fixed(commandLatency(*build).fromCall.median, 1) + " ms " +
                whereMeasured(builds, *build);
    }
    return text.empty() ? text : text + ")";
}

// What a drift of ms comes to, as "+0.3 ms", or "less than 0.05 ms either way".
std::string driftText(double ms)
{
    return std::fabs(ms) < 0.05 ? "less than 0.05 ms either way" : signedFixed(ms, 1) + " ms";
}

// Which explanation a pulse beyond its bound calls for; null for a pulse within it. Off by less
// than half a tick is a command late on the line; by more, a whole tick or more.
const char* missKind(const Pulse& pulse)
{
    const double halfTick = design::kHeartBeatMs / 2;
    const double high = design::pulseErrorHighMs(pulse.requestedMs);
    const double low = design::pulseErrorLowMs(pulse.requestedMs);
    if (pulse.errorMs() > high + halfTick) return "tick long";
    if (pulse.errorMs() > high) return "late stop";
    // A move that reached the line over a tick after the request was surely taken.
    if (pulse.errorMs() < low - halfTick) {
        return pulse.latencyFromAcknowledgementMs() > design::kCommandLatencyBoundMs ? "held-up move" : "tick short";
    }
    if (pulse.errorMs() < low) return "late move";
    return nullptr;
}

void addMisses(const BuildResults& build, int lengthMs, const PulseErrors& pulses, Misses& misses)
{
    const Summary& summary = pulses.errors;
    const std::string of = " of " + std::to_string(pulses.count);
    std::string text = build.name + ", " + std::to_string(lengthMs) + " ms pulses, against " + boundText(lengthMs) +
                       ": ";
    if (pulses.over > 0) {
        text += std::to_string(pulses.over) + of + " too long (up to " + signedFixed(summary.max, 1) + " ms)";
    }
    if (pulses.under > 0) {
        text += std::string(pulses.over > 0 ? "; " : "") + std::to_string(pulses.under) + of + " too short (down to " +
                signedFixed(summary.min, 1) + " ms)";
    }
    misses.push_back({build.name, "pulse", text + "."});
    // Entries without text of their own, for the explanations the pulses beyond the bound call for.
    for (const Pulse& pulse : build.pulses) {
        if (pulse.requestedMs == lengthMs) {
            if (const char* kind = missKind(pulse)) misses.push_back({build.name, kind, ""});
        }
    }
}

}  // namespace

void PulseLengthSection::addRows(FigureTable& table, Misses& misses) const
{
    for (const BuildResults* build : builds_.measured) addRowsOf(*build, table, misses);
}

void PulseLengthSection::addRowsOf(const BuildResults& build, FigureTable& table, Misses& misses) const
{
    for (const int lengthMs : kPulseLengthsMs) {
        const PulseErrors pulses = pulseErrors(build, lengthMs);
        if (pulses.count == 0) continue;
        table.add({"Pulse length error, " + std::to_string(lengthMs) + " ms asked (n=" + std::to_string(pulses.count) +
                       ")",
                   build.name, signedSpread(pulses.errors, 1, "ms"), boundText(lengthMs), "-",
                   partOf(pulses.inside, pulses.count)});
        if (pulses.inside < pulses.count) addMisses(build, lengthMs, pulses, misses);
    }
}

std::string PulseLengthSection::lateTickText() const
{
    if (builds_.native.heartbeats.empty()) return {};
    const double behindMs = heartbeatPeriods(builds_.native).longestMs - design::kHeartBeatMs;
    if (behindMs < -design::pulseErrorLowMs(kPulseLengthsMs[0])) return {};
    return " Natively, the listener on the heartbeat saw ticks up to " + fixed(behindMs + design::kHeartBeatMs, 1) +
           " ms apart, a tick at least " + fixed(behindMs, 1) + " ms behind its mark.";
}

std::string PulseLengthSection::heldUpHeartbeatText() const
{
    if (builds_.native.heartbeats.empty()) return {};
    const double longestMs = heartbeatPeriods(builds_.native).longestMs;
    return " Natively, the listener on the heartbeat saw ticks at most " + fixed(longestMs, 1) + " ms apart" +
           (longestMs < 2 * design::kHeartBeatMs ? ", so there no tick was skipped." : ".");
}

std::string PulseLengthSection::explainMisses(const Misses& misses) const
{
    std::ostringstream doc;
    if (missed(misses, "late stop")) {
        doc << "**Pulses over by less than a tick.** The stop reached the line later after its 100 ms "
               "mark than the move did after its own: the tick came late against its mark, or the frame "
               "reader that writes the stop was scheduled late on the busy machine."
            << lateTickText() << "\n\n";
    }
    if (missed(misses, "late move")) {
        doc << "**Pulses short by less than a tick.** The move reached the line later after its 100 ms "
               "mark than the stop did after its own, for the same reasons (and the move follows `:RG#`, so "
               "it takes two writes).\n\n";
    }
    if (missed(misses, "tick long")) {
        doc << "**Pulses more than half a tick too long.** The stop went out that much later after its "
               "mark than the move did after its own. Three things can do it: the frame reader held up "
               "that long with the tick waiting in its pipe; a heartbeat held up by a whole period or "
               "more, which starts its marks afresh rather than tick in a burst, so the ticks it missed "
               "are missing from the pulse's count as well; or a link that let a tick of the pulse go by, which is a fault. "
               "A stop a whole tick late that still lies on the heartbeat's marks, from a heartbeat "
               "that was not held up, can only be the last."
            << heldUpHeartbeatText() << "\n\n";
    }
    if (missed(misses, "held-up move")) {
        doc << "**Pulses a whole tick or more too short, their move late.** The move reached the line "
               "more than a tick after the request was taken, while the stop kept to the heartbeat's "
               "marks: the frame reader was held up for a tick or more, the ticks written meanwhile "
               "waited in its pipe, and it handled them in one go, so the pulse's first ticks were "
               "counted with the move already late.\n\n";
    }
    if (missed(misses, "tick short")) {
        doc << "**Pulses a whole tick or more too short, their move on time.** The link ended the "
               "pulse on a tick that was not its own: a fault, whatever the machine's load.\n\n";
    }
    return doc.str();
}

std::string PulseLengthSection::text(const std::string& imageLink) const
{
    std::ostringstream doc;
    doc << "## Pulse length\n\n"
        << "![Pulse length error per length asked for](" << imageLink << ")\n\n"
        << "Each point is one pulse: the time from the end of `:Mx#` to the start of `:Qx#` on the line, "
           "less the length asked for. The shaded band is the bound: the pulse's ticks of "
        << fixed(design::kHeartBeatMs, 0) << " ms, from " << fixed(-design::pulseErrorLowMs(kPulseLengthsMs[0]), 0)
        << " ms short to " << fixed(design::pulseErrorHighMs(kPulseLengthsMs[0]), 0)
        << " ms over, the band `guide-link` judges a pulse by.\n\n"
        << "A correction is reported (status 8) at once, and its move (`:RG#`, then `:Mx#`) leaves on "
           "the heartbeat's next tick; the stop leaves on the Nth tick after that, N being the length "
           "asked for in ticks. Both leave on ticks of the same heartbeat, so a pulse lasts N ticks "
           "whatever part of a tick the request fell in. The same wait for the next tick makes the "
           "command latency, from the request to the move on the line, anything from nothing to one "
           "tick, half a tick on average, by design"
        << medianLatencies(builds_)
        << ". The heartbeat ticks on every 100 ms mark from its start, each wait running to the next "
           "mark, so its ticks do not drift and a long pulse runs no longer than a short one. What is "
           "left of the error is how late each of the two commands reached the line after its tick, "
           "and how late those ticks came against their marks.";
    {
        bool first = true;
        for (const BuildResults* build : builds_.measured) {
            const HeartbeatPeriods heartbeat = heartbeatPeriodsOnLine(*build);
            if (heartbeat.ticks <= 0) continue;
            const int ticks = design::ticksFor(kPulseLengthsMs.back());
            doc << (first ? " Measured from the moves and stops on the line, the heartbeat's mean period was "
                          : " and ")
                << fixed(heartbeat.meanMs, 3) << " ms " << whereMeasured(builds_, *build) << " ("
                << driftText((heartbeat.meanMs - design::kHeartBeatMs) * ticks) << " over " << ticks << " ticks)";
            first = false;
        }
        if (!first) doc << ".";
    }
    doc << "\n\n";
    return doc.str();
}

}  // namespace bench::report
