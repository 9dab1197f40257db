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
    const double bound = design::handshakeBoundMs();
    const std::string boundText = "<= " + fixed(bound, 1) + " ms (500 ms pause + " +
                                  fixed(design::handshakeWireMs(), 1) + " ms wire + " +
                                  fixed(design::kSchedulingAllowanceMs, 0) + " ms scheduling)";
    struct Variant {
        std::string what;
        const HandshakeTiming& timing;
    };
    const Variant variants[] = {
        {std::string("Handshake, ") + (clicked ? "Connect click" : "connect call") + " to status 7" + shown +
             " (n=" + n + ")",
         handshakes.fromCall},
        {"Handshake, status 1" + shown + " to status 7" + shown + " (n=" + n + ")", handshakes.fromOpen},
    };
    for (const Variant& variant : variants) {
        const Summary& summary = variant.timing.ms;
        table.add({variant.what, build.name,
                   "min " + fixed(summary.min, 1) + ", median " + fixed(summary.median, 1) + ", max " +
                       fixed(summary.max, 1) + " ms",
                   boundText, ratio(summary.max, bound),
                   std::to_string(variant.timing.within) + "/" + n});
        if (variant.timing.within < handshakes.count) {
            misses.push_back({build.name, "handshake",
                              build.name + ", " + variant.what + ": up to " + fixed(summary.max, 1) + " ms against " +
                                  fixed(bound, 1) + " ms."});
        }
    }
}

std::string HandshakeSection::explainMisses(const Misses& misses) const
{
    if (!missed(misses, "handshake")) return {};
    return "**Handshake.** Its time is the 500 ms pause, then the three exchanges, each answer "
           "handled as soon as it arrives; beyond that is the opening of the port, counted from the "
           "request, and any hold-up of the link's threads on a busy machine.\n\n";
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
        << " ms after status 1), then the three exchanges, each answer handled as soon as the serial "
           "reader passes it on, since every frame written to the control pipe wakes the frame reader. "
           "Counted from the connect call, the request is picked up at once and the port opened: a "
           "median "
        << fixed(native.pickUpMs.median, 1) << " ms here from the call to status 1.";
    const HandshakeFigures wine = handshakeFigures(builds_.wine);
    if (wine.count > 0) {
        doc << " Under Wine, a median " << fixed(wine.fromOpen.ms.median, 1) << " ms from status 1 to status 7 "
            << "and " << fixed(wine.pickUpMs.median, 1) << " ms from the click to status 1, as the dialog "
            << "shows them.";
    }
    doc << "\n\n";
    return doc.str();
}

}  // namespace bench::report
