#include "tools/dialog_driver/DialogDriver.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 20;
// Long enough for a dialog brought to the front to have painted itself.
constexpr DWORD kPaintSettleMs = 200;
// Long enough for a dialog that is idle to have taken a queued key off its queue.
constexpr DWORD kKeySettleMs = 50;

std::wstring toUtf16(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                            length);
    }
    return wide;
}

std::string toUtf8(const std::wstring& wide)
{
    if (wide.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                            length, nullptr, nullptr);
    }
    return text;
}

// Sends a message and waits for the answer, at most DialogDriver::kReplyTimeoutMs. False if the
// window hung or is gone. Messages that carry text are marshalled by the system. No
// SMTO_ABORTIFHUNG: Wine takes a dialog that has merely been idle for five seconds as hung.
bool ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr)
{
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL,
                                             DialogDriver::kReplyTimeoutMs, &answer);
    if (result) {
        *result = static_cast<LRESULT>(answer);
    }
    return sent != 0;
}

// Whether the thread of the window takes messages: it has handled everything sent to it before
// and is back in a message loop, its own or a nested one such as a message box's. A window that
// went away meanwhile counts as answering: it was closed by what it was sent, not hung.
bool answers(HWND window)
{
    return ask(window, WM_NULL, 0, 0) || !IsWindow(window);
}

// Sends a message that carries no pointer and returns once the window has handled it or has
// gone into a nested message loop while handling it, which is what a dialog does when it opens
// a message box. Waiting for the answer itself would wait for the message box to close.
bool deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        SendMessageW(window, message, wParam, lParam);
        return true;
    }
    // The window's thread handles sent messages in the order they were sent, so the probe is
    // answered only after this one has been handled or has started a nested loop.
    return SendNotifyMessageW(window, message, wParam, lParam) && answers(window);
}

// A picture of the screen, or of one window, in a bitmap of this process.
class Capture {
public:
    Capture(int width, int height)
        : width_(width), height_(height), screen_(GetDC(nullptr)),
          memory_(CreateCompatibleDC(screen_)),
          bitmap_(CreateCompatibleBitmap(screen_, width, height))
    {
    }
    ~Capture()
    {
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        ReleaseDC(nullptr, screen_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool valid() const { return screen_ && memory_ && bitmap_; }

    bool copyScreen(int left, int top)
    {
        const HGDIOBJ previous = SelectObject(memory_, bitmap_);
        const bool copied = BitBlt(memory_, 0, 0, width_, height_, screen_, left, top,
                                   SRCCOPY | CAPTUREBLT) != 0;
        SelectObject(memory_, previous);
        return copied;
    }

    // Has the window draw itself into the bitmap, for when the screen shows nothing of it.
    bool printWindow(HWND window)
    {
        const HGDIOBJ previous = SelectObject(memory_, bitmap_);
        const bool printed = PrintWindow(window, memory_, 0) != 0;
        SelectObject(memory_, previous);
        return printed;
    }

    // The pixels as a 24-bit bottom-up DIB, rows padded to 4 bytes; empty on failure.
    std::vector<std::uint8_t> pixels(BITMAPINFOHEADER& header) const
    {
        header = BITMAPINFOHEADER{};
        header.biSize = sizeof header;
        header.biWidth = width_;
        header.biHeight = height_;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(rowBytes() * height_);
        std::vector<std::uint8_t> data(header.biSizeImage);
        BITMAPINFO info{};
        info.bmiHeader = header;
        if (GetDIBits(memory_, bitmap_, 0, static_cast<UINT>(height_), data.data(), &info,
                      DIB_RGB_COLORS) != height_) {
            data.clear();
        }
        return data;
    }

private:
    int rowBytes() const { return (width_ * 3 + 3) & ~3; }

    int width_;
    int height_;
    HDC screen_;
    HDC memory_;
    HBITMAP bitmap_;
};

bool allBlack(const std::vector<std::uint8_t>& pixels)
{
    return std::all_of(pixels.begin(), pixels.end(), [](std::uint8_t byte) { return byte == 0; });
}

bool writeBitmapFile(const std::string& path, const BITMAPINFOHEADER& header,
                     const std::vector<std::uint8_t>& pixels)
{
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());

    const HANDLE out = CreateFileW(toUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    auto put = [out](const void* data, std::size_t size) {
        DWORD written = 0;
        return WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    };
    const bool complete = put(&file, sizeof file) && put(&header, sizeof header) &&
                          put(pixels.data(), pixels.size());
    const bool closed = CloseHandle(out) != 0;
    if (!complete || !closed) {
        DeleteFileW(toUtf16(path).c_str());
        return false;
    }
    return true;
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK matchChildId(HWND window, LPARAM search)
{
    auto* wanted = reinterpret_cast<ChildSearch*>(search);
    if (GetDlgCtrlID(window) == wanted->id) {
        wanted->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool DialogDriver::waitForDialog(int timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
        const HWND window = FindWindowA(nullptr, kCaption);
        if (window && IsWindowVisible(window)) {
            dialog_ = window;
            return true;
        }
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kPollMs);
    }
}

bool DialogDriver::exists() const
{
    return dialog_ && IsWindow(dialog_);
}

bool DialogDriver::waitUntilGone(int timeoutMs) const
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    while (exists()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

HWND DialogDriver::control(int controlId) const
{
    if (!exists()) {
        return nullptr;
    }
    if (const HWND direct = GetDlgItem(dialog_, controlId)) {
        return direct;
    }
    // Controls grouped on a child panel are not the dialog's own children.
    ChildSearch search{controlId, nullptr};
    EnumChildWindows(dialog_, matchChildId, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool DialogDriver::usable(HWND window) const
{
    return window && IsWindowVisible(window) && IsWindowEnabled(window) &&
           IsWindowEnabled(dialog_);
}

bool DialogDriver::hasControl(int controlId) const
{
    return control(controlId) != nullptr;
}

bool DialogDriver::isVisible(int controlId) const
{
    const HWND window = control(controlId);
    return window && IsWindowVisible(window);
}

bool DialogDriver::isEnabled(int controlId) const
{
    const HWND window = control(controlId);
    return window && IsWindowEnabled(window) && IsWindowEnabled(dialog_);
}

int DialogDriver::itemCount(int comboId) const
{
    const HWND combo = control(comboId);
    LRESULT count = CB_ERR;
    if (!combo || !ask(combo, CB_GETCOUNT, 0, 0, &count)) {
        return -1;
    }
    return count < 0 ? -1 : static_cast<int>(count);
}

std::string DialogDriver::itemText(int comboId, int index) const
{
    const HWND combo = control(comboId);
    LRESULT length = CB_ERR;
    if (!combo || index < 0 ||
        !ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0, &length) || length < 0) {
        return {};
    }
    // The item may have grown since its length was asked for; the buffer must hold it whole.
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = CB_ERR;
    if (!ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item[0]),
             &copied) ||
        copied < 0) {
        return {};
    }
    item.resize(std::min(static_cast<std::size_t>(copied), item.size() - 1));
    return toUtf8(item);
}

int DialogDriver::selectedIndex(int comboId) const
{
    const HWND combo = control(comboId);
    LRESULT index = CB_ERR;
    if (!combo || !ask(combo, CB_GETCURSEL, 0, 0, &index)) {
        return -1;
    }
    return index < 0 ? -1 : static_cast<int>(index);
}

bool DialogDriver::select(int comboId, int index)
{
    const HWND combo = control(comboId);
    // Out of range, CB_SETCURSEL would clear the selection, which no choice from the list does.
    if (!usable(combo) || index < 0 || index >= itemCount(comboId)) {
        return false;
    }
    LRESULT selected = CB_ERR;
    if (!ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &selected) || selected != index) {
        return false;
    }
    // The combo box tells its parent of a choice only when the choice comes from the user.
    const WPARAM command = MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(combo)), CBN_SELCHANGE);
    return deliver(GetParent(combo), WM_COMMAND, command, reinterpret_cast<LPARAM>(combo));
}

bool DialogDriver::type(int editId, const std::string& text)
{
    const HWND edit = control(editId);
    if (!usable(edit)) {
        return false;
    }
    const std::wstring wide = toUtf16(text);
    // The edit control tells the dialog of the change itself, with EN_CHANGE. Should the dialog
    // open a message box in answer, the reply waits for that box to close.
    return ask(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())) || answers(edit);
}

std::string DialogDriver::text(int controlId) const
{
    // GetWindowText does not ask a window of another process for its text, only WM_GETTEXT does.
    const HWND window = control(controlId);
    LRESULT length = 0;
    if (!window || !ask(window, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    LRESULT copied = 0;
    if (!ask(window, WM_GETTEXT, static_cast<WPARAM>(wide.size()),
             reinterpret_cast<LPARAM>(&wide[0]), &copied) ||
        copied <= 0) {
        return {};
    }
    wide.resize(std::min(static_cast<std::size_t>(copied), wide.size() - 1));
    return toUtf8(wide);
}

bool DialogDriver::click(int buttonId)
{
    const HWND button = control(buttonId);
    return usable(button) && deliver(button, BM_CLICK, 0, 0);
}

bool DialogDriver::isChecked(int buttonId) const
{
    const HWND button = control(buttonId);
    LRESULT state = BST_UNCHECKED;
    return button && ask(button, BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
}

void DialogDriver::close()
{
    if (exists()) {
        PostMessageW(dialog_, WM_CLOSE, 0, 0);
    }
}

void DialogDriver::pressEnter()
{
    pressKey(VK_RETURN);
}

void DialogDriver::pressEscape()
{
    pressKey(VK_ESCAPE);
}

void DialogDriver::pressKey(unsigned virtualKey)
{
    if (!exists()) {
        return;
    }
    HWND target = dialog_;
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &focus) && focus.hwndFocus &&
        IsChild(dialog_, focus.hwndFocus)) {
        target = focus.hwndFocus;
    }
    // Repeat count 1 and the key's scan code; a release also has the previous-state and
    // transition bits set.
    const DWORD scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    const DWORD press = 1u | (scanCode << 16);
    const DWORD release = press | (1u << 30) | (1u << 31);
    PostMessageW(target, WM_KEYDOWN, virtualKey, static_cast<LPARAM>(press));
    PostMessageW(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(release));
    // Posted keys wait behind sent messages, so no message can confirm they were handled.
    Sleep(kKeySettleMs);
    answers(dialog_);
}

bool DialogDriver::saveScreenshot(const std::string& path)
{
    if (!exists()) {
        return false;
    }
    // While a message box of the dialog's is open, it is the one a person would bring to the
    // front, and it stays over the dialog; raising the dialog itself may hide it.
    SetForegroundWindow(GetLastActivePopup(dialog_));
    Sleep(kPaintSettleMs);
    if (!answers(dialog_) || !exists()) {
        return false;
    }
    RECT frame{};
    if (!GetWindowRect(dialog_, &frame)) {
        return false;
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) {
        return false;
    }
    Capture capture(width, height);
    if (!capture.valid()) {
        return false;
    }
    BITMAPINFOHEADER header{};
    std::vector<std::uint8_t> pixels;
    if (capture.copyScreen(frame.left, frame.top)) {
        pixels = capture.pixels(header);
    }
    if (allBlack(pixels) && capture.printWindow(dialog_)) {
        pixels = capture.pixels(header);
    }
    return !allBlack(pixels) && writeBitmapFile(path, header, pixels);
}
