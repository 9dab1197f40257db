#include "cli/Interrupt.h"

#include <csignal>
#include <cstdlib>

namespace interrupt {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onSignal(int signal)
{
    if (stopRequested) std::_Exit(128 + signal);
    stopRequested = 1;
    // Some systems reset the handler when it runs.
    std::signal(signal, onSignal);
}

}  // namespace

void install()
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
}

bool requested() { return stopRequested != 0; }

}  // namespace interrupt
