// The common part of the native gadgets that are one Win32 control (buttons,
// labels, text fields): the control's binding and the operations they share.
// Each control is made at 0, 0, 0 x 0 in its group's client window; the
// native create sequence then gives it its font, shape, text and visibility.
#pragma once
#include "gui/win32/kvgadget.h"
#include "gui/win32/win32hwnd.h"

class Win32Control : public KVGadget, public Win32WndProc {
public:
    Win32Hwnd control;

    uintptr_t query(int kind) override;
    void setFont(uintptr_t font) override;
    void setText(String* text) override;
    void setShape(int x, int y, int w, int h) override;
    void setShow(bool show) override;
    void setEnabled(bool enabled) override;
    int activate(int command) override;
    void popupMenu(KVMenu* menu) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

protected:
    Win32Control(KVGroup* group, int style) : KVGadget(group, style) {}
    // Makes the control window of `className` and binds it to this gadget.
    void createControl(const wchar_t* className, const char* title, DWORD style, DWORD exStyle, int id);
};
