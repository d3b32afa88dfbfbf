#include "gui/win32/win32textfield.h"

#include <vector>

#include "gui/gadget.h"
#include "gui/win32/win32window.h"
#include "system/event.h"
#include "system/osevent.h"

namespace {

constexpr DWORD kFieldStyle = 0x44010080;  // WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL

// Set while the program itself replaces a field's text, so that change
// raises no GadgetAction.
bool settingText = false;

int CurrentMods() {
    UpdateModifierState();
    return ModifierState();
}

}  // namespace

Win32TextField::Win32TextField(KVGroup* parent, int fieldStyle) : Win32Control(parent, fieldStyle) {
    DWORD windowStyle = (style & TEXTFIELD_PASSWORD) ? kFieldStyle | ES_PASSWORD : kFieldStyle;
    createControl(L"EDIT", "", windowStyle, WS_EX_CLIENTEDGE, 0);
}

String* Win32TextField::currentText() {
    int length = static_cast<int>(SendMessageW(control.hwnd, WM_GETTEXTLENGTH, 0, 0));
    std::vector<wchar_t> buffer(length + 1);
    SendMessageW(control.hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer.data()));
    return String::FromShorts(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

// The selection is kept where the new text allows.
void Win32TextField::setText(String* newText) {
    settingText = true;
    DWORD start = 0, end = 0;
    SendMessageW(control.hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextA(control.hwnd, NativeText(newText).c_str());
    SendMessageW(control.hwnd, EM_SETSEL, start, end);
    KVGadget::setText(newText);
    settingText = false;
}

int Win32TextField::activate(int command) {
    if (command == ACTIVATE_FOCUS) SendMessageW(control.hwnd, EM_SETSEL, 0, -1);
    return Win32Control::activate(command);
}

LRESULT Win32TextField::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    switch (message) {
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) != control.hwnd) break;
        if (HIWORD(wParam) == EN_UPDATE && !settingText) {
            NativeEventSink(EVENT_GADGETACTION, this, 0, 0, 0, 0, NullObject());
        } else if (HIWORD(wParam) == EN_KILLFOCUS) {
            SendMessageW(control.hwnd, EM_SETSEL, 0, 0);
        }
        break;
    case WM_KEYDOWN:
        if (hwnd == control.hwnd && !NativeKeyFilter(this, EVENT_KEYDOWN, static_cast<int>(wParam), CurrentMods())) {
            return 1;
        }
        break;
    case WM_CHAR:
        if (hwnd == control.hwnd && !NativeKeyFilter(this, EVENT_KEYCHAR, static_cast<int>(wParam), CurrentMods())) {
            return 1;
        }
        break;
    case WM_KILLFOCUS:
        if (hwnd == control.hwnd) NativeEventSink(EVENT_GADGETLOSTFOCUS, this, 0, 0, 0, 0, NullObject());
        break;
    default: break;
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
