// The desktop as a native group: its shape is the virtual screen, its
// handle the desktop window's. Showing, enabling, fonts and text do nothing.
#pragma once
#include "gui/win32/kvgadget.h"
#include "runtime/win32.h"

class Win32Desktop : public KVGroup {
public:
    HWND hwnd;

    Win32Desktop();

    uintptr_t query(int kind) override;
    void setFont(uintptr_t) override {}
    void setText(String*) override {}
    void setShow(bool) override {}
    void setEnabled(bool) override {}
    int activate(int) override { return 0; }
    void clientRect(int& x, int& y, int& w, int& h) override;
};
