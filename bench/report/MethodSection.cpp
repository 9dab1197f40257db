#include "bench/report/MethodSection.h"

#include <sstream>

#include "bench/WineBench.h"
#include "bench/Workload.h"
#include "bench/report/NumberText.h"
#include "bench/report/PulseLengthFigures.h"

namespace bench::report {

std::string MethodSection::pulseCounts() const
{
    const BuildResults& native = builds_.native;
    const BuildResults& wine = builds_.wine;
    std::ostringstream doc;
    if (native.present) {
        const int rounds = roundCount(native);
        doc << " Native: " << pulsesPerLengthOnEachAxis(native) << " pulses per length on each axis, in " << rounds
            << (rounds == 1 ? " round" : " rounds") << ", each with a link and heartbeat of its own.";
    }
    if (wine.present) {
        const int rounds = roundCount(wine);
        doc << " Under Wine: " << pulsesPerLengthOnEachAxis(wine) << " per length on each axis, in " << rounds
            << (rounds == 1 ? " round" : " rounds") << ", the tester started afresh for each";
        if (native.present && pulsesPerLengthOnEachAxis(wine) < pulsesPerLengthOnEachAxis(native)) {
            doc << " (fewer than natively: each Wine pulse is worked through the dialog, and the "
                   "run is kept to its time)";
        }
        doc << ".";
    }
    return doc.str();
}

std::string MethodSection::text() const
{
    std::ostringstream doc;
    doc << "## How the figures are taken\n\n"
        << "- **Pulse length**: lengths 200, 500, 1000, 2000 and 5000 ms, taken in pairs: a north or "
           "south pulse, then an east or west one asked for a random part of a tick later, so both axes "
           "run at once and the requests fall anywhere in the tick. The lengths are shuffled in each "
           "round. The simulated "
           "mount reads its end of the line the moment bytes arrive and notes the time of every read, "
           "which gives each command's first and last byte."
        << pulseCounts() << "\n"
        << "- **Command latency**: from the call to `sendCorrection` (native), or from the click command "
           "going to the dialog driver (Wine), to the first byte of the move command at the mount.\n"
        << "- **Handshake**: the mount answers at once. Timed from the connect call or click to status 7 "
           "(Ready); under Wine the status line is read every " << kStatusPollGapMs
        << " ms, so the times shown there are up to that much late.\n"
        << "- **Throughput**: from the mount's end, a flood of well-formed replies (`" << kFloodUnit
        << "`, which a connected link with no handshake running ignores), at rising rates for a couple "
           "of seconds each, then a marker reply (`" << kMarker
        << "`), which the link reports as status 5. A rate is carried if the mount could send at that "
           "rate and the marker was handled within " << fixed(kMarkerPromptMs, 0)
        << " ms (two ticks). A pseudo-terminal is not held to 9600 baud, so the flood "
           "can go far past what a real line carries. The last step floods as fast as the line takes "
           "bytes; that flood's bytes divided by the time until its marker was handled is the drain rate.\n"
        << "- **Idle cost**: the link connected and left alone; native in a child process of its own "
           "(`guide-link-bench idle-link`), under Wine the tester's process and its wineserver.\n"
        << "- **Launch**: from starting `cmake/wine-run.sh PREFIX guide-link-tester.exe`, with the "
           "prefix's wineserver already running, to the driver finding the dialog on screen (it looks "
           "every 20 ms).\n\n";
    return doc.str();
}

}  // namespace bench::report
