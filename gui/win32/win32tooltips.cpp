#include "gui/win32/win32tooltips.h"

#include "gui/win32/win32window.h"

#include <commctrl.h>

namespace {

constexpr int kMaxTipWidth = 300;

TTTOOLINFOA ToolOf(HWND control, UINT_PTR id) {
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = control;
    tool.uId = id;
    return tool;
}

}  // namespace

Win32Tooltips::~Win32Tooltips() {
    if (window && IsWindow(window)) DestroyWindow(window);
}

void Win32Tooltips::create(HWND control) {
    control_ = control;
    window = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (window) SendMessageW(window, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
}

void Win32Tooltips::setTool(UINT_PTR id, const RECT& area, String* tip) {
    if (!window) return;
    removeTool(id);
    if (tip->length == 0) return;
    std::string text = NativeText(tip);
    TTTOOLINFOA tool = ToolOf(control_, id);
    tool.uFlags = TTF_SUBCLASS;
    tool.rect = area;
    tool.lpszText = text.data();
    SendMessageA(window, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Tooltips::moveTool(UINT_PTR id, const RECT& area) {
    if (!window) return;
    TTTOOLINFOA tool = ToolOf(control_, id);
    tool.rect = area;
    SendMessageA(window, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Tooltips::removeTool(UINT_PTR id) {
    if (!window) return;
    TTTOOLINFOA tool = ToolOf(control_, id);
    SendMessageA(window, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Tooltips::removeAll() {
    while (window && count() > 0) {
        TTTOOLINFOA tool{};
        tool.cbSize = sizeof tool;
        if (!SendMessageA(window, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool))) break;
        SendMessageA(window, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

int Win32Tooltips::count() const {
    return window ? static_cast<int>(SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0)) : 0;
}
