// Native labels: static text left, right or centre aligned, with a border
// or sunken, or an etched separator line that is always 4 pixels high.
#pragma once
#include "gui/win32/win32control.h"

class Win32Label : public Win32Control {
public:
    Win32Label(KVGroup* group, int style);

    void setShape(int x, int y, int w, int h) override;
};
