#include "bench/report/PulseLengthSection.h"

#include <cmath>
#include <sstream>

#include "bench/DesignFigures.h"
#include "bench/Workload.h"
#include "bench/report/LoopPeriodFigures.h"
#include "bench/report/NumberText.h"
#include "bench/report/PulseLengthFigures.h"

namespace bench::report {
namespace {

std::string whereMeasured(const Builds& builds, const BuildResults& build)
{
    return builds.isWine(build) ? "under Wine" : "natively";
}

std::string shareByRound(const BuildResults& build)
{
    const auto rounds = fullLengthByRound(build);
    std::string text;
    for (const auto& round : rounds) {
        if (!text.empty()) text += ", ";
        text += percent(static_cast<std::size_t>(round.second.first), static_cast<std::size_t>(round.second.second));
    }
    if (!rounds.empty()) text += " (" + std::to_string(rounds.begin()->second.second) + " pulses a round)";
    return text;
}

std::string clusterLine(const BuildResults& build)
{
    std::string text = "| " + build.name + " |";
    for (const int lengthMs : kPulseLengthsMs) {
        const auto medians = clusterMedians(build, lengthMs);
        text += " " + (std::isnan(medians.first) ? std::string("-") : signedFixed(medians.first, 1)) + " / " +
                (std::isnan(medians.second) ? std::string("-") : signedFixed(medians.second, 1)) + " |";
    }
    return text + "\n";
}

// How far the frame reader's period overran, build by build: per period, then over a 5000 ms pulse.
std::string overrunText(const Builds& builds)
{
    std::string perPeriod;
    std::string perPulse;
    for (const BuildResults* build : builds.measured) {
        const double period = readerPeriodMs(*build);
        if (period <= 0) continue;
        if (!perPeriod.empty()) {
            perPeriod += " and ";
            perPulse += " and ";
        }
        perPeriod += fixed(period - design::kPollMs, 2) + " ms a period " + whereMeasured(builds, *build);
        perPulse += signedFixed((period - design::kPollMs) * 50, 0) + " ms";
    }
    return perPeriod + ": " + perPulse + " over the 50 ticks of a 5000 ms pulse";
}

void addMisses(const BuildResults& build, int lengthMs, const PulseErrors& pulses, Misses& misses)
{
    const Summary& summary = pulses.errors;
    std::string text = build.name + ", " + std::to_string(lengthMs) + " ms pulses: ";
    if (pulses.over > 0) {
        text += std::to_string(pulses.over) + " of " + std::to_string(pulses.count) +
                " lasted longer than asked plus a command's " + fixed(design::kCommandWireMs, 1) +
                " ms on the wire (up to " + signedFixed(summary.max, 1) + " ms)";
    }
    if (pulses.under > 0) {
        text += std::string(pulses.over > 0 ? "; " : "") + std::to_string(pulses.under) + " of " +
                std::to_string(pulses.count) + " fell short by more than a tick (down to " +
                signedFixed(summary.min, 1) + " ms)";
    }
    // Below the bound by a little is timing noise; by a good part of a tick, a lost tick.
    const std::string shortKind = summary.min < design::pulseErrorLowMs(lengthMs) - 20 ? "lost tick" : "just short";
    misses.push_back({build.name, pulses.over > 0 ? "pulse" : shortKind, text + "."});
    // Further entries without text of their own, for the explanations they call for.
    if (pulses.over > 0 && pulses.under > 0) misses.push_back({build.name, shortKind, ""});
    if (summary.max > design::pulseErrorHighMs(lengthMs) + design::kHeartBeatMs / 2) {
        misses.push_back({build.name, "extra tick", ""});
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
                   build.name, signedSpread(pulses.errors, 1, "ms"),
                   signedFixed(design::pulseErrorLowMs(lengthMs), 0) + " to " +
                       signedFixed(design::pulseErrorHighMs(lengthMs), 1) + " ms",
                   "-", partOf(pulses.inside, pulses.count)});
        if (pulses.inside < pulses.count) addMisses(build, lengthMs, pulses, misses);
    }
}

std::string PulseLengthSection::explainMisses(const Misses& misses) const
{
    std::ostringstream doc;
    if (missed(misses, "pulse")) {
        doc << "**Long pulses run over: the frame reader's period is not kept to 100 ms.** "
               "`TelescopeControl::readFrames` sleeps `kEmptyPipePollMs` (100 ms) from whenever it "
               "finds the control pipe empty, not until the next 100 ms mark. A pulse is a whole "
               "number of those periods, so each period's overrun (the platform's sleep coming back "
               "late, plus the time to handle what was waiting) adds up tick by tick. Here the overrun "
               "was "
            << overrunText(builds_) << ", against the " << fixed(design::kCommandWireMs, 1)
            << " ms the design allows beyond the length asked for. Only the full-length group "
               "runs over; the one-tick-short group sits 100 ms lower and stays inside. Sleeping "
               "until a deadline that advances by exactly 100 ms each period would remove the creep. "
               "The heartbeat has the same habit (`HeartBeatTimer::tickUntilStopped` waits a fresh "
               "`kTickMs` after each tick), but that only moves its ticks against the frame "
               "reader's wake-ups.\n\n";
    }
    if (missed(misses, "extra tick")) {
        doc << "**A pulse a whole tick too long.** For a pulse to last N + 1 frame reader periods, "
               "the tick that ends it must reach the frame reader just after the wake-up that would "
               "normally have counted it. That happens when a tick and a wake-up fall within a hair "
               "of each other (their offset goes round the whole tick as a run goes on, see above) and "
               "the tick is the later of the two by a little, or when the busy machine held the "
               "heartbeat up. The records cannot tell which.\n\n";
    }
    if (missed(misses, "just short")) {
        doc << "**Pulses just over a tick short.** These miss the bound by a little: a "
               "one-tick-short pulse lasts N - 1 frame reader periods, and if the move leaves a little "
               "late after its wake-up (its thread scheduled late on a busy machine) while the stop "
               "leaves on time, or a period in between runs a little short, the pulse comes out just "
               "under N - 1 whole ticks.\n\n";
    }
    if (missed(misses, "lost tick")) {
        doc << "**Pulses a whole tick further short.** A pulse loses a second tick only if the frame "
               "reader was held up long enough for two ticks to be counted at the wake-up that sends "
               "the move, or if the heartbeat's ticks gained a whole period on the frame reader's "
               "wake-ups during the pulse. Both point to a machine too busy to run the link's threads "
               "on time during that pulse.\n\n";
    }
    return doc.str();
}

std::string PulseLengthSection::text(const std::string& imageLink) const
{
    std::ostringstream doc;
    doc << "## Pulse length\n\n"
        << "![Pulse length error per length asked for](" << imageLink << ")\n\n"
        << "Each point is one pulse: the time from the end of `:Mx#` to the start of `:Qx#` on the line, "
           "less the length asked for. The shaded band is the design bound: from half a tick short of the "
           "length asked for to the length itself plus a command's time on the wire.\n\n"
        << "The pulses fall into two groups a tick apart. A pulse is the time between two wake-ups of "
           "the frame reader, which sleeps one poll period (100 ms) whenever it finds its pipe empty: "
           "the move command goes out at the first wake-up after the request, the stop at the first "
           "wake-up after the heartbeat's Nth tick since the request. Both leave at wake-ups of the "
           "same loop, so a pulse lasts a whole number of frame reader periods, N of them or N - 1, and "
           "nothing in between. Which one depends on where in the 100 ms cycle the request falls. The "
           "heartbeat's ticks and the frame reader's wake-ups are two free-running 100 ms loops with "
           "some offset between them. A request in the part of the cycle between a tick and the next "
           "wake-up is picked up at that wake-up, before the next tick, and the pulse gets its full N "
           "periods. A request after the wake-up waits for the next one, and a tick comes in meanwhile; "
           "it is counted at the same wake-up that sends the move, so the pulse lasts N - 1 periods. "
           "So the share of full-length pulses is the "
           "part of a tick by which the frame reader's wake-up trails the heartbeat's tick. That offset "
           "is set by when the two threads happened to start, and it moves as they run, because their "
           "periods differ a little";
    {
        const HeartbeatPeriods heartbeat = heartbeatPeriods(builds_.native);
        const double reader = readerPeriodMs(builds_.native);
        const double apart = heartbeat.ticks > 0 && reader > 0 ? std::fabs(reader - heartbeat.meanMs) : 0;
        if (apart > 0.005) {
            doc << " (natively by " << fixed(apart, 2) << " ms, so the offset goes once round the whole tick "
                << "about every " << fixed(design::kPollMs / apart * design::kPollMs / 1000, 0) << " s)";
        }
    }
    doc << ". So the share changes from one start of the link to the next, and within a run as well. Each "
           "round starts the link afresh. The share of full-length pulses per round was:";
    {
        bool first = true;
        for (const BuildResults* build : builds_.measured) {
            if (build->pulses.empty()) continue;
            doc << (first ? " " : "; ") << build->name << " " << shareByRound(*build);
            first = false;
        }
    }
    doc << ".\n\n"
        << "Median error of the full-length / one-tick-short pulses, per length asked for (ms):\n\n"
        << "| Build |";
    for (const int lengthMs : kPulseLengthsMs) doc << " " << lengthMs << " ms |";
    doc << "\n|---|";
    for (std::size_t i = 0; i < kPulseLengthsMs.size(); ++i) doc << "---|";
    doc << "\n";
    for (const BuildResults* build : builds_.measured) {
        if (!build->pulses.empty()) doc << clusterLine(*build);
    }
    doc << "\nBoth groups creep upwards with the length. Neither loop keeps time against a fixed "
           "schedule: the frame reader sleeps 100 ms from whenever it found its pipe empty "
           "(`TelescopeControl::readFrames`), and the heartbeat waits 100 ms from the end of each tick "
           "(`HeartBeatTimer::tickUntilStopped`). So every period is 100 ms plus however long the "
           "sleep overran, plus the work done in between, and the frame reader's periods add up over a "
           "pulse. Measured from the pulses themselves (each lasted a whole number of periods), the "
           "frame reader's period is";
    {
        bool first = true;
        for (const BuildResults* build : builds_.measured) {
            const double period = readerPeriodMs(*build);
            if (period <= 0) continue;
            doc << (first ? " " : " and ") << fixed(period, 2) << " ms " << whereMeasured(builds_, *build) << " ("
                << signedFixed((period - design::kPollMs) * 50, 0) << " ms over 50 ticks)";
            first = false;
        }
    }
    doc << ". The heartbeat's own overrun moves its ticks against the frame reader's wake-ups, which can "
           "shift a pulse between the two groups, but it does not add to a pulse's length.\n\n";
    return doc.str();
}

}  // namespace bench::report
