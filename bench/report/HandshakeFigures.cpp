#include "bench/report/HandshakeFigures.h"

#include <vector>

#include "bench/DesignFigures.h"

namespace bench::report {

HandshakeFigures handshakeFigures(const BuildResults& build)
{
    std::vector<double> fromCall;
    std::vector<double> fromOpen;
    std::vector<double> pause;
    std::vector<double> pickUp;
    for (const Handshake& handshake : build.handshakes) {
        fromCall.push_back(handshake.readyMs - handshake.callMs);
        fromOpen.push_back(handshake.readyMs - handshake.connectingMs);
        pause.push_back(handshake.firstQuestionMs - handshake.connectingMs);
        pickUp.push_back(handshake.connectingMs - handshake.callMs);
    }
    HandshakeFigures figures;
    figures.count = fromCall.size();
    figures.fromCall = {summarise(fromCall), countWithin(fromCall, 0, design::handshakeBoundMs())};
    figures.fromOpen = {summarise(fromOpen), countWithin(fromOpen, 0, design::handshakeBoundMs())};
    figures.pauseMs = summarise(pause);
    figures.pickUpMs = summarise(pickUp);
    return figures;
}

}  // namespace bench::report
