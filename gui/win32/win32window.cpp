#include "gui/win32/win32window.h"

#include <shellapi.h>

#include <string>

#include "gui/gadget.h"
#include "gui/win32/kvmenu.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "system/event.h"

namespace {

constexpr DWORD kTitledStyle = 0x06C80000;     // clip siblings and children, caption, system menu
constexpr DWORD kResizableStyle = 0x06CB0000;  // the same with the minimise and maximise boxes
constexpr DWORD kPopupStyle = 0x86000000;      // pop-up, clip siblings and children
constexpr DWORD kClientWindowStyle = 0x56000000;
constexpr int kMaxNativeText = 4095;

HWND ParentHandle(KVGroup* group) {
    if (!group) return GetDesktopWindow();
    return reinterpret_cast<HWND>(group->query(QUERY_HWND_CLIENT));
}

}  // namespace

std::string NativeText(String* text) {
    char* bytes = text->ToCString();
    std::string copy(bytes);
    MemFreeBlock(bytes);
    if (copy.size() > kMaxNativeText) copy.resize(kMaxNativeText);
    return copy;
}

Win32Window::Win32Window(KVGroup* parent, int windowStyle) : KVWindow(parent, windowStyle) {
    HMENU menu = nullptr;
    if (style & WINDOW_MENU) {
        menu = CreateMenu();
        AppendMenuW(menu, MF_STRING, 0, L"");
    }
    HWND parentWindow = ParentHandle(group);  // the desktop window for a top-level window
    HWND window = CreateWindowExW(FrameExStyle(), LayerWindowClass(), L"", FrameStyle(), 0, 0, 0, 0, parentWindow,
                                  menu, GetModuleHandleW(nullptr), nullptr);
    if (!window) RuntimeError("The window could not be created");
    frame.bind(window, this, this);
    if (style & WINDOW_STATUS) {
        statusBar = CreateWindowExW(0, L"msctls_statusbar32", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
        HWND inner = CreateWindowExW(0, LayerWindowClass(), L"", kClientWindowStyle, 0, 0, 0, 0, window, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        client.bind(inner, this, this);
    }
    if (style & WINDOW_ACCEPTFILES) DragAcceptFiles(window, TRUE);
}

DWORD Win32Window::FrameStyle() const {
    DWORD frameStyle = kPopupStyle;
    if (style & WINDOW_TITLEBAR) frameStyle = (style & WINDOW_RESIZABLE) ? kResizableStyle : kTitledStyle;
    if (style & WINDOW_RESIZABLE) frameStyle |= WS_THICKFRAME;
    if (style & WINDOW_CHILD) frameStyle = (frameStyle & ~WS_POPUP) | WS_CHILD;
    return frameStyle;
}

DWORD Win32Window::FrameExStyle() const {
    return (style & WINDOW_TOOL) ? WS_EX_CONTROLPARENT | WS_EX_TOOLWINDOW : WS_EX_CONTROLPARENT;
}

int Win32Window::StatusHeight() const {
    if (!statusBar) return 0;
    RECT r;
    GetWindowRect(statusBar, &r);
    return r.bottom - r.top;
}

uintptr_t Win32Window::query(int kind) {
    if (kind == QUERY_HWND) return reinterpret_cast<uintptr_t>(frame.hwnd);
    if (kind == QUERY_HWND_CLIENT) return reinterpret_cast<uintptr_t>(client.hwnd ? client.hwnd : frame.hwnd);
    return 0;
}

void Win32Window::setText(String* newText) {
    KVGadget::setText(newText);
    SetWindowTextA(frame.hwnd, NativeText(newText).c_str());
}

void Win32Window::setFont(uintptr_t newFont) {
    KVGadget::setFont(newFont);
    SendMessageW(frame.hwnd, WM_SETFONT, static_cast<WPARAM>(newFont), TRUE);
}

// With client coordinates the rectangle is the client area: the status bar
// and the frame's borders, caption and menu are added around it.
void Win32Window::setShape(int newX, int newY, int w, int h) {
    RECT r{newX, newY, newX + w, newY + h};
    if (style & WINDOW_CLIENTCOORDS) {
        r.bottom += StatusHeight();
        AdjustWindowRectEx(&r, FrameStyle(), GetMenu(frame.hwnd) != nullptr, FrameExStyle());
    }
    MoveWindow(frame.hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    FitClientWindow();
    KVGroup::setShape(newX, newY, w, h);
}

void Win32Window::setShow(bool show) {
    visible = show;
    ShowWindow(frame.hwnd, show ? SW_SHOW : SW_HIDE);
}

void Win32Window::setEnabled(bool enable) {
    enabled = enable;
    EnableWindow(frame.hwnd, enable);
}

int Win32Window::activate(int command) {
    switch (command) {
    case ACTIVATE_FOCUS:
        FocusWindow(frame.hwnd);
        break;
    case ACTIVATE_BACK: SendMessageW(frame.hwnd, WM_NEXTDLGCTL, 0, FALSE); break;
    case ACTIVATE_FORWARD: SendMessageW(frame.hwnd, WM_NEXTDLGCTL, 1, FALSE); break;
    case ACTIVATE_REDRAW: InvalidateRect(frame.hwnd, nullptr, FALSE); break;
    default: break;
    }
    return 0;
}

void Win32Window::clientRect(int& cx, int& cy, int& w, int& h) {
    RECT r;
    GetClientRect(client.hwnd ? client.hwnd : frame.hwnd, &r);
    cx = r.left;
    cy = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
}

// A chosen item comes back as the frame's WM_COMMAND.
void Win32Window::popupMenu(KVMenu* menu) {
    menu->popUp(frame.hwnd);
}

void Win32Window::updateMenu() {
    HMENU old = GetMenu(frame.hwnd);
    SetMenu(frame.hwnd, rootMenu->build(true));
    if (old) DestroyMenu(old);
    DrawMenuBar(frame.hwnd);
}

void Win32Window::activateFirst() {
    HWND first = GetWindow(client.hwnd ? client.hwnd : frame.hwnd, GW_CHILD);
    SetFocus(first ? first : frame.hwnd);
}

void Win32Window::setMinSize(int w, int h) {
    RECT r{0, 0, w, h};
    if (style & WINDOW_CLIENTCOORDS) {
        r.bottom += StatusHeight();
        AdjustWindowRectEx(&r, FrameStyle(), GetMenu(frame.hwnd) != nullptr, FrameExStyle());
    }
    minWidth = r.right - r.left;
    minHeight = r.bottom - r.top;
}

void Win32Window::setStatusText(String* statusText) {
    if (statusBar) SendMessageA(statusBar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(NativeText(statusText).c_str()));
}

void Win32Window::minimize() {
    minimized = true;
    ShowWindow(frame.hwnd, SW_MINIMIZE);
}

void Win32Window::maximize() {
    maximized = true;
    ShowWindow(frame.hwnd, SW_SHOWMAXIMIZED);
}

void Win32Window::restore() {
    minimized = maximized = false;
    ShowWindow(frame.hwnd, SW_RESTORE);
}

// The client window fills the frame's client area above the status bar.
void Win32Window::FitClientWindow() {
    if (!client.hwnd) return;
    RECT r;
    GetClientRect(frame.hwnd, &r);
    MoveWindow(client.hwnd, 0, 0, r.right, r.bottom - StatusHeight(), TRUE);
}

// The shape as the frame now has it: in the parent's client coordinates, or
// with client coordinates the client area's position and size.
void Win32Window::ReadShape() {
    RECT r;
    GetWindowRect(frame.hwnd, &r);
    if (style & WINDOW_CLIENTCOORDS) {
        RECT c;
        GetClientRect(frame.hwnd, &c);
        POINT origin{0, 0};
        ClientToScreen(frame.hwnd, &origin);
        r = RECT{origin.x, origin.y, origin.x + c.right, origin.y + c.bottom - StatusHeight()};
    }
    HWND parent = GetParent(frame.hwnd);
    if (parent && (GetWindowLongW(frame.hwnd, GWL_STYLE) & WS_CHILD)) {
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    KVGroup::setShape(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

LRESULT Win32Window::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE) {
            NativeEventSink(EVENT_WINDOWACTIVATE, this, 0, 0, 0, 0, NullObject());
        }
        return 0;
    case WM_MOVE:
        if (hwnd != frame.hwnd || IsIconic(hwnd)) return 0;
        ReadShape();
        NativeEventSink(EVENT_WINDOWMOVE, this, 0, 0, x, y, NullObject());
        return 0;
    case WM_SIZE:
        if (hwnd != frame.hwnd) return 0;
        if (statusBar) SendMessageW(statusBar, WM_SIZE, 0, 0);
        minimized = wParam == SIZE_MINIMIZED;
        maximized = wParam == SIZE_MAXIMIZED;
        if (minimized) return 0;
        FitClientWindow();
        ReadShape();
        NativeEventSink(EVENT_WINDOWSIZE, this, 0, 0, width, height, NullObject());
        return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = minWidth;
        info->ptMinTrackSize.y = minHeight;
        return 0;
    }
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        POINT at{0, 0};
        DragQueryPoint(drop, &at);
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            wchar_t path[MAX_PATH + 1];
            DragQueryFileW(drop, i, path, MAX_PATH);
            NativeEventSink(EVENT_WINDOWACCEPT, this, 0, 0, at.x, at.y,
                            String::FromWString(reinterpret_cast<const char16_t*>(path)));
        }
        DragFinish(drop);
        return CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
    case WM_CLOSE:
        // The application decides whether the window closes.
        NativeEventSink(EVENT_WINDOWCLOSE, this, 0, 0, 0, 0, NullObject());
        return 0;
    default: return CallWindowProcW(previous, hwnd, message, wParam, lParam);
    }
}
