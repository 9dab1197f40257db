#include "ui/AppModel.h"

#include "ui/DialogPost.h"
#include "ui/TelescopeControlDlgCallback.h"

void AppModel::onStatus(int code)
{
    {
        platform::LockGuard hold(lock);
        pendingCode = code;
        pendingKind = Status;
    }
    postToDialog(kStatusPending, 0);
}

void AppModel::deliverPending(int messageId)
{
    if (messageId != kStatusPending) return;
    int kind;
    int code;
    {
        platform::LockGuard hold(lock);
        kind = pendingKind;
        code = pendingCode;
    }
    // Outside the lock: showing the status must never hold up the link's thread.
    if (kind == Status && listener) listener->showStatus(code);
}
