#pragma once

// Shows the link's status codes; the dialog is the one implementation. Called on the dialog's
// thread only, by the status relay.
class TelescopeControlDlgCallback {
public:
    virtual void showStatus(int code) = 0;

protected:
    ~TelescopeControlDlgCallback() = default;
};
