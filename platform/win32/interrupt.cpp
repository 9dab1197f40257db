// The Windows handler of the stop requests: the console's control events.
#include <windows.h>

#include "platform/interrupt.h"

namespace interrupt {
namespace {

// Once a close, log-off or shutdown handler returns, Windows ends the process at once; it ends
// it anyway some 5 s after the event. Holding the handler keeps the program running its own
// way out (the stops, then closing the port) within that time.
constexpr DWORD kHoldForTheWayOutMs = 10000;

BOOL WINAPI onControlEvent(DWORD event)
{
    record();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(kHoldForTheWayOutMs);
    }
    return TRUE;
}

}  // namespace

void install() { SetConsoleCtrlHandler(onControlEvent, TRUE); }

}  // namespace interrupt
