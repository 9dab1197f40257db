// The tester's entry: creates the four long-lived objects, wires them, runs the dialog until the
// user closes it, and takes everything down again. Nothing is sent to the mount on the way out.
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

    // The link's threads come down first, so none of them can report to the dialog or the model
    // once those are gone. A port still open is closed without a word to the mount: a running
    // pulse gets no stop command, as when the process ends.
    theLink->shutDown();
    delete theDialog.exchange(nullptr);
    theHeartBeat->detach();
    theHeartBeat->stop();
    delete theLink;
    delete theHeartBeat;
    delete theModel;
    return 0;
}
