#include "bench/report/ThroughputSection.h"

#include <sstream>

#include "bench/DesignFigures.h"
#include "bench/report/NumberText.h"
#include "bench/report/ThroughputFigures.h"

namespace bench::report {

void ThroughputSection::addRows(FigureTable& table, Misses& misses) const
{
    for (const BuildResults* build : builds_.measured) addRowsOf(*build, table, misses);
}

void ThroughputSection::addRowsOf(const BuildResults& build, FigureTable& table, Misses& misses) const
{
    const FloodLadder ladder = floodLadder(build);
    const Flood* highest = ladder.highestCarried;
    const Flood* failed = ladder.firstFellBehind;
    const double line = design::kLineBytesPerSecond;
    if (highest || failed) {
        std::string measured;
        if (highest) {
            measured = (failed ? "" : ">= ") + grouped(highest->askedBytesPerSecond) + " B/s (marker handled after " +
                       fixed(highest->markerLatencyMs, 0) + " ms)";
        } else {
            measured = "none of the rates tried";
        }
        if (failed) {
            measured += "; " + grouped(failed->askedBytesPerSecond) + " B/s fell behind (carried " +
                        grouped(failed->carriedBytesPerSecond) + " B/s, marker after " +
                        fixed(failed->markerLatencyMs, 0) + " ms)";
        }
        const bool within = highest && highest->askedBytesPerSecond >= line;
        table.add({"Incoming bytes carried without falling behind", build.name, measured,
                   ">= " + grouped(line) + " B/s (9600 baud, 8N1)",
                   highest ? fixed(highest->askedBytesPerSecond / line, 0) + "x" : "-", within ? "yes" : "no"});
        if (!within) {
            misses.push_back(
                {build.name, "throughput", build.name + ": the link fell behind a flood at the line's own rate."});
        }
    }
    const Summary drained = drainRate(build);
    if (drained.count > 0) {
        table.add({"Drain rate, line flooded flat out", build.name,
                   grouped(drained.median) + " B/s (" + grouped(drained.min) + " to " + grouped(drained.max) +
                       " over " + std::to_string(drained.count) + " floods)",
                   ">= " + grouped(line) + " B/s", fixed(drained.min / line, 0) + "x",
                   drained.min >= line ? "yes" : "no"});
    }
}

std::string ThroughputSection::explainMisses(const Misses& misses) const
{
    if (!missed(misses, "throughput")) return {};
    return "**Throughput at the line's own rate.** Every byte received is taken out of the control "
           "pipe on its own, with a look at what is waiting and a one-byte read "
           "(`TelescopeControl::readFrames`). Under Wine both are wineserver round trips, so on a "
           "machine this busy the frame reader could not keep up even with a flood no faster than "
           "a real line. Reading whatever is waiting in one go would take the round trips per "
           "byte down to a fraction.\n\n";
}

std::string ThroughputSection::text() const
{
    std::ostringstream doc;
    doc << "## Throughput\n\n"
        << "At 9600 baud a mount can send at most " << grouped(design::kLineBytesPerSecond)
        << " bytes a second. Every byte received goes from the serial reader into the control pipe as "
           "part of a data frame, and the frame reader takes it out again a byte at a time, each byte "
           "with a look at how much is waiting (`ControlPipe::available`) and a one-byte read "
           "(`ControlPipe::readByte`). Natively those are two cheap system calls";
    const Summary nativeDrained = drainRate(builds_.native);
    if (nativeDrained.count > 0) {
        doc << ", and the link drains a flooded line at a median " << grouped(nativeDrained.median)
            << " bytes a second";
    }
    doc << ".";
    const auto reader = busyPercent(builds_.wine, "tester", 2);
    const auto server = busyPercent(builds_.wine, "wineserver", 1);
    if (reader && server) {
        doc << " Under Wine each of them is a round trip to wineserver. While the line was flooded "
               "flat out, the frame reader kept a median "
            << fixed(*reader, 0) << " % of a processor busy and wineserver " << fixed(*server, 0)
            << " %. The two take turns, one waiting while the other works, so every byte costs two "
               "hand-overs between processes, and the rate depends on how soon the machine gets round to "
               "each of them. It spreads widely from flood to flood and from run to run on a shared "
               "machine.";
    }
    const Summary wineDrained = drainRate(builds_.wine);
    if (wineDrained.count > 0) {
        doc << " In this run the Wine build drained " << grouped(wineDrained.min) << " to "
            << grouped(wineDrained.max) << " bytes a second, "
            << fixed(wineDrained.min / design::kLineBytesPerSecond, 0) << " to "
            << fixed(wineDrained.max / design::kLineBytesPerSecond, 0) << " times what the line can bring.";
    }
    doc << "\n\n";
    return doc.str();
}

}  // namespace bench::report
