#pragma once

#include <string>

struct HWND__;

// Works the running tester dialog as a person at the screen would: finds it by its caption and
// acts only through its real controls, with the messages those controls get from a mouse or a
// keyboard. Meant for another process (the system marshals the messages that carry text) or
// another thread of the tester's own process.
//
// No call waits for ever: a dialog that leaves a message unanswered for kReplyTimeoutMs counts
// as hung, and the call gives up. Calls made before waitForDialog() has found the dialog, or
// after it has gone, do nothing and answer as if the control were missing.
class DialogDriver {
public:
    static constexpr const char* kCaption = "Velkor Autoguider tester";
    // How long the dialog may take to answer one message before it counts as hung.
    static constexpr unsigned kReplyTimeoutMs = 5000;

    // Looks for a visible top-level window with kCaption every 20 ms, for up to timeoutMs, and
    // keeps the one it finds. False if none showed up in time.
    bool waitForDialog(int timeoutMs);
    // Whether the dialog found last is still there.
    bool exists() const;
    // Waits up to timeoutMs for the dialog found last to go away; false if it is still there.
    bool waitUntilGone(int timeoutMs) const;

    // Whether the dialog has a control with this id.
    bool hasControl(int controlId) const;
    // Whether a person could see the control: it and the dialog are shown.
    bool isVisible(int controlId) const;
    // Whether a person could operate the control: it is enabled, and so is the dialog (which
    // is not while a message box it owns is open).
    bool isEnabled(int controlId) const;

    // The combo box's items; -1 if it is missing or did not answer.
    int itemCount(int comboId) const;
    // The text of the combo box's item index, in UTF-8; empty if there is no such item.
    std::string itemText(int comboId, int index) const;
    // The selected item of the combo box, -1 if none.
    int selectedIndex(int comboId) const;
    // Chooses item index of the combo box and tells the dialog, as picking it from the list
    // does. False if the combo box is missing, hidden or disabled, has no such item, or the
    // dialog hung.
    bool select(int comboId, int index);

    // Replaces the text of the edit control (which tells the dialog it changed). False if the
    // control is missing, hidden or disabled, or the dialog hung.
    bool type(int editId, const std::string& text);
    // The text of any control, in UTF-8; empty if it is missing or did not answer.
    std::string text(int controlId) const;

    // Clicks the button. True once the dialog has taken the click and answers messages again,
    // which includes a message box the click opened; false if the button is missing, hidden or
    // disabled, or the dialog hung.
    bool click(int buttonId);
    bool isChecked(int buttonId) const;

    // Asks the dialog to close, as its close box does; returns without waiting for it to go.
    void close();
    // Presses the key on whichever control of the dialog has the keyboard focus (the dialog
    // itself if none has). The key is queued: an idle dialog has normally handled it by the time
    // this returns, but nothing confirms it, so a caller looking for its effect should poll
    // (waitUntilGone() for a key that should close the dialog).
    void pressEnter();
    void pressEscape();

    // Writes what the dialog looks like on the screen to a 24-bit .bmp file, after bringing it
    // to the front, with any message box of its own over it. False if there is no dialog,
    // nothing could be captured, or the file could not be written.
    bool saveScreenshot(const std::string& path);

private:
    HWND__* control(int controlId) const;
    bool usable(HWND__* window) const;
    void pressKey(unsigned virtualKey);

    HWND__* dialog_ = nullptr;
};
