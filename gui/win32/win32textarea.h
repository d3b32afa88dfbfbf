// Native text areas: a multi-line rich edit control for larger texts with
// colour and style per range. Positions and lengths go in characters (units
// 1) or lines (units 2); a line break counts as one character and reads as
// "\n". Typing raises GadgetAction, a new selection GadgetSelect and a right
// click GadgetMenu. While locked (nested) the area neither redraws nor
// raises events, and the user's selection comes back when the last lock goes.
#pragma once
#include "gui/win32/win32control.h"

constexpr int TEXTAREA_CHARS = 1;
constexpr int TEXTAREA_LINES = 2;

class Win32TextArea : public Win32Control {
public:
    int lockDepth = 0;
    bool hadFocus = false;
    long savedStart = 0, savedEnd = 0;
    bool wide = true;  // "RichEdit20W" (else "RichEdit20A")

    Win32TextArea(KVGroup* group, int style);

    void setText(String* text) override;
    void setColor(int r, int g, int b) override;
    void setTextColor(int r, int g, int b) override;
    int activate(int command) override;

    void setAreaText(String* text, int pos, int length, int units);
    void addAreaText(String* text);
    String* areaText(int pos, int length, int units);
    int length(int units);
    void lock();
    void unlock();
    void setTabs(int width);
    int cursor(int units);
    int selectionLength(int units);
    void setStyle(int r, int g, int b, int flags, int pos, int length, int units);
    void select(int pos, int length, int units);
    int charAt(int line);
    int lineAt(int index);

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    // pos and length as a range of characters, clamped to the text.
    void toChars(int& pos, int& length, int units);
    void replaceSelection(String* text);
};
