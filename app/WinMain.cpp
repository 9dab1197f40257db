// The tester's entry: creates the four long-lived objects, wires them, runs the dialog until the
// user closes it, and takes everything down again. On the way out the mount receives only the
// stop of a pulse still running, and every wait has a limit.
#include <windows.h>

#include "heartbeat/HeartBeatTimer.h"
#include "link/TelescopeControl.h"
#include "ui/AppModel.h"
#include "ui/DialogPointer.h"
#include "ui/DlgAutoGuiderTest.h"

namespace {

HINSTANCE theInstance = nullptr;
HeartBeatTimer* theHeartBeat = nullptr;
AppModel* theModel = nullptr;
TelescopeControl* theLink = nullptr;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/)
{
    theInstance = instance;
    theHeartBeat = new HeartBeatTimer();
    theModel = new AppModel();
    // The link's frame reader runs from here on.
    theLink = new TelescopeControl(theModel);
    theHeartBeat->attach(theLink);
    theHeartBeat->start();
    theDialog = new DlgAutoGuiderTest(theInstance, theLink, theModel);

    theDialog.load()->run();

    // The heartbeat lets go of the link first, while the frame reader still empties the control
    // pipe: a tick blocked on a full pipe is then soon written, and none follows. Then the link's
    // threads come down, a running pulse's stop going out before the port closes, so none of
    // them reports to the dialog or the model once those are gone.
    theHeartBeat->detach();
    const bool linkCameDown = theLink->shutDown();
    DlgAutoGuiderTest* dialog = theDialog.exchange(nullptr);
    theHeartBeat->stop();
    // A link thread that did not come down in time still uses the link, the model and, through
    // them, the dialog: those end with the process instead.
    if (linkCameDown) {
        delete dialog;
        delete theLink;
        delete theModel;
    }
    delete theHeartBeat;
    return 0;
}
