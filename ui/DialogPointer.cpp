#include "ui/DialogPointer.h"

#include "ui/DialogPost.h"
#include "ui/DlgAutoGuiderTest.h"

std::atomic<DlgAutoGuiderTest*> theDialog{nullptr};

void postToDialog(int wParam, int lParam)
{
    DlgAutoGuiderTest* dialog = theDialog.load();
    if (dialog) dialog->post(wParam, lParam);
}
