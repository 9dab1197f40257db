// The POSIX handlers of the stop requests: SIGINT, SIGTERM and SIGHUP.
#include <signal.h>

#include <initializer_list>

#include "platform/interrupt.h"

namespace interrupt {
namespace {

extern "C" void onSignal(int) { record(); }

}  // namespace

void install()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    // Interrupted reads and writes of the link's threads carry on as if nothing had happened.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int stopSignal : {SIGINT, SIGTERM, SIGHUP}) sigaction(stopSignal, &action, nullptr);
    // Output that nobody reads any more (a closed pipe) must not end the program mid-pulse.
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace interrupt
