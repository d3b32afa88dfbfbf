#include "gui/win32/win32control.h"

#include "gui/gadget.h"
#include "gui/win32/kvmenu.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"

void Win32Control::createControl(const wchar_t* className, const char* title, DWORD windowStyle, DWORD exStyle,
                                 int id) {
    HWND parent = group ? reinterpret_cast<HWND>(group->query(QUERY_HWND_CLIENT)) : GetDesktopWindow();
    HWND window = CreateWindowExW(exStyle, className, L"", windowStyle, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), GetModuleHandleW(nullptr),
                                  nullptr);
    if (!window) RuntimeError("The control could not be created");
    if (title[0]) SetWindowTextA(window, title);
    control.bind(window, this, this);
}

uintptr_t Win32Control::query(int kind) {
    return kind == QUERY_HWND || kind == QUERY_HWND_CLIENT ? reinterpret_cast<uintptr_t>(control.hwnd) : 0;
}

void Win32Control::setFont(uintptr_t newFont) {
    SendMessageW(control.hwnd, WM_SETFONT, static_cast<WPARAM>(newFont), TRUE);
    KVGadget::setFont(newFont);
}

void Win32Control::setText(String* newText) {
    SetWindowTextA(control.hwnd, NativeText(newText).c_str());
    KVGadget::setText(newText);
}

void Win32Control::setShape(int newX, int newY, int w, int h) {
    MoveWindow(control.hwnd, newX, newY, w, h, TRUE);
    KVGadget::setShape(newX, newY, w, h);
}

void Win32Control::setShow(bool show) {
    ShowWindow(control.hwnd, show ? SW_SHOW : SW_HIDE);
    visible = show;
}

void Win32Control::setEnabled(bool enable) {
    EnableWindow(control.hwnd, enable);
    enabled = enable;
}

int Win32Control::activate(int command) {
    HWND window = control.hwnd;
    switch (command) {
    case ACTIVATE_FOCUS:
        FocusWindow(window);
        break;
    // WM_NEXTDLGCTL with wParam 0 moves to the next control, 1 to the previous one.
    case ACTIVATE_BACK: SendMessageW(window, WM_NEXTDLGCTL, 0, FALSE); break;
    case ACTIVATE_FORWARD: SendMessageW(window, WM_NEXTDLGCTL, 1, FALSE); break;
    case ACTIVATE_REDRAW: InvalidateRect(window, nullptr, FALSE); break;
    default: break;
    }
    return 0;
}

void Win32Control::popupMenu(KVMenu* menu) {
    menu->popUp(control.hwnd);
}

LRESULT Win32Control::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}
