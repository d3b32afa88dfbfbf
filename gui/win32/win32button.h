// Native buttons: push buttons (also the dialog's OK and Cancel buttons and
// the default button), check boxes and radio buttons, one "BUTTON" control.
// A click raises GadgetAction with data 1 when the button is checked after it.
#pragma once
#include "gui/win32/win32control.h"

class Win32Button : public Win32Control {
public:
    Win32Button(KVGroup* group, int style);

    bool checked();
    void setChecked(bool checked);

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;
};
