// The value gadgets: sliders (a scroll bar, a trackbar or an up-down
// control, chosen by style / 4) and progress bars. A slider's scroll raises
// GadgetAction with its value; a progress bar shows a value of 0..1.
#pragma once
#include "gui/win32/win32control.h"

class Win32Slider : public Win32Control {
public:
    enum Kind { kScrollBar = 0, kTrackBar = 1, kUpDown = 2 };
    Kind kind;
    bool horizontal;

    Win32Slider(KVGroup* group, int style);

    void setRange(int visible, int total);
    void setValue(int value);
    int value();

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    void scrollBy(int code);
};

class Win32ProgBar : public Win32Control {
public:
    float progress = 0;

    Win32ProgBar(KVGroup* group, int style);
    // PBM_SETPOS with value x 100 rounded, in the control's 0..100.
    void setProgress(float value);
};
