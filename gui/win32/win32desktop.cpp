#include "gui/win32/win32desktop.h"

#include "gui/gadget.h"

Win32Desktop::Win32Desktop() : KVGroup(nullptr, 0), hwnd(GetDesktopWindow()) {
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    if (width != 0) {
        setShape(GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), width,
                 GetSystemMetrics(SM_CYVIRTUALSCREEN));
    } else {
        RECT r;
        GetWindowRect(hwnd, &r);
        setShape(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    lockLayout();
}

uintptr_t Win32Desktop::query(int kind) {
    return kind == QUERY_HWND || kind == QUERY_HWND_CLIENT ? reinterpret_cast<uintptr_t>(hwnd) : 0;
}

void Win32Desktop::clientRect(int& x, int& y, int& w, int& h) {
    RECT r;
    GetClientRect(hwnd, &r);
    x = r.left;
    y = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
}
