#include "gui/win32/win32button.h"

#include "system/event.h"

namespace {

constexpr DWORD kPushButton = 0x40010000;   // WS_CHILD | WS_TABSTOP, BS_PUSHBUTTON
constexpr DWORD kCheckBox = 0x40010003;     // BS_AUTOCHECKBOX
constexpr DWORD kRadioButton = 0x40010009;  // BS_AUTORADIOBUTTON
constexpr int kDefaultButtonStyle = 8;

}  // namespace

Win32Button::Win32Button(KVGroup* parent, int buttonStyle) : Win32Control(parent, buttonStyle) {
    DWORD windowStyle = kPushButton;
    int id = 0;
    switch (style & 7) {
    case 2: windowStyle = kCheckBox; break;
    case 3: windowStyle = kRadioButton; break;
    case 4: id = IDOK; break;
    case 5: id = IDCANCEL; break;
    default: break;
    }
    if (style & kDefaultButtonStyle) windowStyle += 1;  // BS_DEFPUSHBUTTON for a push button
    createControl(L"BUTTON", "", windowStyle, 0, id);
}

bool Win32Button::checked() { return SendMessageW(control.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Win32Button::setChecked(bool check) {
    SendMessageW(control.hwnd, BM_SETCHECK, check ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Clicks reach the button as its parent's WM_COMMAND.
LRESULT Win32Button::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == control.hwnd && HIWORD(wParam) == BN_CLICKED) {
        NativeEventSink(EVENT_GADGETACTION, this, checked() ? 1 : 0, 0, 0, 0, NullObject());
        return 0;
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
