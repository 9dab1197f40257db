#pragma once

#include "link/TelescopeListener.h"
#include "platform/lock.h"

class TelescopeControlDlgCallback;

// Hands status codes from the link's thread to the dialog's: onStatus keeps the latest code and
// posts a message to the dialog; when the dialog thread handles it, deliverPending shows whatever
// code is latest by then. Earlier codes that the dialog thread had no time for are never shown.
class AppModel final : public TelescopeListener {
public:
    // The dialog posts this message id (the wParam of its WM_USER) to ask for the pending status.
    static constexpr int kStatusPending = 1000;

    // Before the dialog runs: no status can arrive earlier.
    void setListener(TelescopeControlDlgCallback* dialogListener) { listener = dialogListener; }

    // Any thread; never waits for the dialog.
    void onStatus(int code) override;

    // Dialog thread only: shows the latest code if messageId is kStatusPending and one has arrived.
    void deliverPending(int messageId);

private:
    enum PendingKind { Nothing = 0, Status = 1 };

    platform::Lock lock;
    int pendingKind = Nothing;
    int pendingCode = 0;
    TelescopeControlDlgCallback* listener = nullptr;
};
