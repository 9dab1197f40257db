#include "ui/DlgAutoGuiderTest.h"

#include "link/iTelescopeControl.h"
#include "ui/AppModel.h"
#include "link/PulseLength.h"
#include "ui/ResourceIds.h"
#include "link/StatusText.h"

namespace {

constexpr int kPortCount = 256;
constexpr UINT kInitialPulseMs = 1000;

struct ArrowButton {
    int buttonId;
    int bitmapId;
    Direction direction;
};

// East is on the left of the pulse field and west on the right, as on a map of the sky.
constexpr ArrowButton kArrows[] = {
    {IDC_NORTH, IDB_ARROW_UP, Direction::North},
    {IDC_SOUTH, IDB_ARROW_DOWN, Direction::South},
    {IDC_EAST, IDB_ARROW_LEFT, Direction::East},
    {IDC_WEST, IDB_ARROW_RIGHT, Direction::West},
};

}  // namespace

DlgAutoGuiderTest::DlgAutoGuiderTest(HINSTANCE instance, iTelescopeControl* control, AppModel* model)
    : instance(instance), control(control), model(model)
{
    model->setListener(this);
}

void DlgAutoGuiderTest::run()
{
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_AUTOGUIDER_TEST), nullptr, dialogProcedure,
                    reinterpret_cast<LPARAM>(this));
}

void DlgAutoGuiderTest::post(int wParam, int lParam)
{
    PostMessageA(window.load(), kLinkMessage, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

void DlgAutoGuiderTest::showStatus(int code)
{
    const char16_t* text = statusText(code);
    if (text) SetWindowTextW(GetDlgItem(window.load(), IDC_STATUS), reinterpret_cast<const wchar_t*>(text));
}

INT_PTR CALLBACK DlgAutoGuiderTest::dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The object lives in the window's user data. The Ptr forms are SetWindowLongA and
    // GetWindowLongA in a 32-bit build, and keep the whole pointer in a 64-bit one.
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, GWLP_USERDATA, static_cast<LONG_PTR>(lParam));
        return reinterpret_cast<DlgAutoGuiderTest*>(lParam)->initialise(dialog);
    }
    auto* self = reinterpret_cast<DlgAutoGuiderTest*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    // Messages before WM_INITDIALOG (such as WM_SETFONT) find no object yet.
    if (!self) return FALSE;
    switch (message) {
    case WM_COMMAND:
        return self->handleCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case kLinkMessage:
        if (wParam == AppModel::kStatusPending || wParam == kNothingPending) {
            self->model->deliverPending(static_cast<int>(wParam));
        }
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL DlgAutoGuiderTest::initialise(HWND dialog)
{
    window = dialog;
    for (int port = 1; port <= kPortCount; ++port) {
        char name[16];
        wsprintfA(name, "COM%d", port);
        SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, 0, 0);
    for (const ArrowButton& arrow : kArrows) {
        HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(arrow.bitmapId));
        SendDlgItemMessageA(dialog, arrow.buttonId, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }
    SetDlgItemInt(dialog, IDC_PULSE_MS, kInitialPulseMs, FALSE);
    CheckRadioButton(dialog, IDC_ENGLISH, IDC_MAGYAR, IDC_ENGLISH);
    SetFocus(GetDlgItem(dialog, IDC_PORT_LIST));
    // The focus is set here, so the dialog manager must not set its own.
    return FALSE;
}

bool DlgAutoGuiderTest::handleCommand(int id)
{
    switch (id) {
    case IDOK:  // Enter while no push button has the focus
        EndDialog(window.load(), 1);
        return true;
    case IDCANCEL:  // Esc or the close box
        EndDialog(window.load(), 0);
        return true;
    case IDC_CONNECT: {
        const LRESULT index = SendDlgItemMessageA(window.load(), IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
        control->connect(static_cast<int>(index) + 1);
        return true;
    }
    case IDC_DISCONNECT:
        control->disconnect();
        return true;
    case IDC_ENGLISH:
    case IDC_MAGYAR:
        // Only the check mark moves: the status texts are English either way.
        CheckRadioButton(window.load(), IDC_ENGLISH, IDC_MAGYAR, id);
        return true;
    default:
        for (const ArrowButton& arrow : kArrows) {
            if (arrow.buttonId == id) {
                sendCorrection(arrow.direction);
                return true;
            }
        }
        return false;
    }
}

void DlgAutoGuiderTest::sendCorrection(Direction direction)
{
    const PulseLength pulse = PulseLength::fromField(GetDlgItemInt(window.load(), IDC_PULSE_MS, nullptr, FALSE));
    if (pulse.corrected) SetDlgItemInt(window.load(), IDC_PULSE_MS, static_cast<UINT>(pulse.ms), FALSE);
    control->sendCorrection(static_cast<int>(direction), pulse.ticks());
}
