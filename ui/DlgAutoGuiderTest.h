#pragma once

#include <windows.h>

#include <atomic>

#include "link/Direction.h"
#include "ui/TelescopeControlDlgCallback.h"

class AppModel;
class iTelescopeControl;

// The tester's whole user interface: a modal dialog with the port list, Connect and Disconnect,
// the status line, the pulse-length field and four arrow buttons. Button presses become calls on
// the link, which only queue a request, so the dialog never waits for the mount.
// Everything runs on the dialog's thread, except post.
class DlgAutoGuiderTest : public TelescopeControlDlgCallback {
public:
    // The dialog message whose wParam says what the link has for the dialog.
    static constexpr UINT kLinkMessage = WM_USER;
    // A wParam the dialog accepts besides the status relay's; it delivers nothing.
    static constexpr int kNothingPending = 1001;

    // Makes itself the model's listener. instance holds the dialog template and the bitmaps.
    DlgAutoGuiderTest(HINSTANCE instance, iTelescopeControl* control, AppModel* model);
    virtual ~DlgAutoGuiderTest() = default;
    DlgAutoGuiderTest(const DlgAutoGuiderTest&) = delete;
    DlgAutoGuiderTest& operator=(const DlgAutoGuiderTest&) = delete;

    // Shows the dialog and returns once the user has ended it.
    void run();

    // Posts kLinkMessage to the dialog window; any thread, never blocks. Lost while the dialog
    // has no window yet, or no longer.
    void post(int wParam, int lParam);

    // Shows the text of code in the status line; codes without a text change nothing.
    void showStatus(int code) override;

private:
    static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL initialise(HWND dialog);
    bool handleCommand(int id);
    void sendCorrection(Direction direction);

    HINSTANCE instance;
    // Read by post on other threads.
    std::atomic<HWND> window{nullptr};
    iTelescopeControl* control;
    AppModel* model;
};
