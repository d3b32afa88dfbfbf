// Native text fields: a single-line "EDIT" control, optionally a password
// field. Typing raises GadgetAction, the program's own changes do not; keys
// pass the gadget's key filter first; losing the focus raises GadgetLostFocus.
#pragma once
#include "gui/win32/win32control.h"

class Win32TextField : public Win32Control {
public:
    Win32TextField(KVGroup* group, int style);

    // The text as the control has it now.
    String* currentText();
    void setText(String* text) override;
    int activate(int command) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;
};

// Asks the key filter of the gadget wrapping `native` about a key (KeyDown)
// or a character (KeyChar): 0 drops it.
int NativeKeyFilter(KVGadget* native, int id, int data, int mods);
