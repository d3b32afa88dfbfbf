// Tooltips of the native gadgets that show tips for their items (list box,
// tabber, tool bar): one "tooltips_class32" window per control, tips at most
// 300 pixels wide, one tool per item with a tip, each over a rectangle of the
// control that the owner keeps up to date.
#pragma once
#include <string>

#include "runtime/string.h"
#include "runtime/win32.h"

class Win32Tooltips {
public:
    Win32Tooltips() = default;
    Win32Tooltips(const Win32Tooltips&) = delete;
    Win32Tooltips& operator=(const Win32Tooltips&) = delete;
    ~Win32Tooltips();

    // Makes the tooltip window for `control`.
    void create(HWND control);
    // Adds (or replaces) the tool `id` over `area` of the control; an empty
    // tip removes it.
    void setTool(UINT_PTR id, const RECT& area, String* tip);
    void moveTool(UINT_PTR id, const RECT& area);
    void removeTool(UINT_PTR id);
    void removeAll();
    int count() const;

    HWND window = nullptr;

private:
    HWND control_ = nullptr;
};
