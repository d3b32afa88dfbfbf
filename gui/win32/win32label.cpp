#include "gui/win32/win32label.h"

namespace {

constexpr DWORD kLeftLabel = 0x44000080;  // WS_CHILD | WS_CLIPSIBLINGS | SS_NOPREFIX
constexpr DWORD kSeparator = 0x40000012;  // WS_CHILD | SS_ETCHEDFRAME
constexpr int kSeparatorHeight = 4;

DWORD LabelStyle(int style) {
    DWORD windowStyle = kLeftLabel;
    if ((style & 0x18) == 8) windowStyle = kLeftLabel | SS_RIGHT;
    if ((style & 0x18) == 16) windowStyle = kLeftLabel | SS_CENTER;
    switch (style & 7) {
    case 1: return windowStyle | WS_BORDER;
    case 2: return windowStyle | SS_SUNKEN;
    case 3: return kSeparator;
    default: return windowStyle;
    }
}

}  // namespace

// The control is made with a placeholder title that the label's text replaces at once.
Win32Label::Win32Label(KVGroup* parent, int labelStyle) : Win32Control(parent, labelStyle) {
    createControl(L"STATIC", "blah", LabelStyle(style), 0, 0);
}

void Win32Label::setShape(int newX, int newY, int w, int h) {
    bool separator = (GetWindowLongW(control.hwnd, GWL_STYLE) & 0x1F) == 0x12;
    Win32Control::setShape(newX, newY, w, separator ? kSeparatorHeight : h);
}
