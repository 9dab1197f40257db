#include "bench/report/HandshakeSection.h"

#include <sstream>

#include "bench/DesignFigures.h"
#include "bench/report/HandshakeFigures.h"
#include "bench/report/NumberText.h"

namespace bench::report {

void HandshakeSection::addRows(FigureTable& table, Misses& misses) const
{
    for (const BuildResults* build : builds_.measured) addRowsOf(*build, builds_.isWine(*build), table, misses);
}

void HandshakeSection::addRowsOf(const BuildResults& build, bool clicked, FigureTable& table, Misses& misses) const
{
    if (build.handshakes.empty()) return;
    const HandshakeFigures handshakes = handshakeFigures(build);
    const std::string n = std::to_string(handshakes.count);
    const std::string shown = clicked ? " shown" : "";
    struct Variant {
        std::string what;
        const HandshakeTiming& timing;
        double bound;
        std::string boundText;
    };
    const Variant variants[] = {
        {std::string("Handshake, ") + (clicked ? "Connect click" : "connect call") + " to status 7" + shown +
             " (n=" + n + ")",
         handshakes.fromCall, design::handshakeBoundMs(),
         "<= " + fixed(design::handshakeBoundMs(), 1) + " ms (one poll + 500 ms pause + 3 polls + " +
             fixed(design::handshakeWireMs(), 1) + " ms wire)"},
        {"Handshake, status 1" + shown + " to status 7" + shown + " (n=" + n + ")", handshakes.fromOpen,
         design::handshakeAfterOpenBoundMs(),
         "<= " + fixed(design::handshakeAfterOpenBoundMs(), 1) + " ms (500 ms pause + 3 polls + " +
             fixed(design::handshakeWireMs(), 1) + " ms wire)"},
    };
    for (const Variant& variant : variants) {
        const Summary& summary = variant.timing.ms;
        table.add({variant.what, build.name,
                   "min " + fixed(summary.min, 1) + ", median " + fixed(summary.median, 1) + ", max " +
                       fixed(summary.max, 1) + " ms",
                   variant.boundText, ratio(summary.max, variant.bound),
                   std::to_string(variant.timing.within) + "/" + n});
        if (variant.timing.within < handshakes.count) {
            misses.push_back({build.name, "handshake",
                              build.name + ", " + variant.what + ": up to " + fixed(summary.max, 1) + " ms against " +
                                  fixed(variant.bound, 1) + " ms."});
        }
    }
}

std::string HandshakeSection::explainMisses(const Misses& misses) const
{
    if (!missed(misses, "handshake")) return {};
    return "**Handshake.** Its time is the 500 ms pause, then one frame reader period for each of "
           "the three answers, so it runs over by three periods' overrun, plus any hold-up on a "
           "busy machine.\n\n";
}

std::string HandshakeSection::text() const
{
    const HandshakeFigures native = handshakeFigures(builds_.native);
    if (native.count == 0) return {};
    std::ostringstream doc;
    doc << "## Handshake\n\n"
        << "Natively the handshake takes a median " << fixed(native.fromOpen.ms.median, 1)
        << " ms from status 1 (the port is open) to status 7: the pause (the first question reached the "
           "mount a median "
        << fixed(native.pauseMs.median, 1)
        << " ms after status 1), then one poll period for each of the three answers. Right after "
           "sending a question the frame reader finds its pipe empty, because no mount answers within "
           "microseconds, so it sleeps a whole period before it picks the answer up. Counted from the "
           "connect call, the request itself first waits for the frame reader's next wake-up: a median "
        << fixed(native.pickUpMs.median, 1) << " ms here, at most one poll period.";
    const HandshakeFigures wine = handshakeFigures(builds_.wine);
    if (wine.count > 0 && wine.fromOpen.ms.min < design::handshakeAfterOpenBoundMs() - 120) {
        doc << " Under Wine some handshakes are a poll period shorter (down to " << fixed(wine.fromOpen.ms.min, 0)
            << " ms). After the pause, the frame reader first works through the ticks that piled up "
               "during it, a byte at a time and each byte two round trips to wineserver. When that takes "
               "longer than the mount needs to answer, it finds the first answer already waiting and "
               "does not sleep.";
    }
    doc << "\n\n";
    return doc.str();
}

}  // namespace bench::report
