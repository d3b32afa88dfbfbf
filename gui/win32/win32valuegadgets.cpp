#include "gui/win32/win32valuegadgets.h"

#include <cmath>

#include "runtime/exception.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kScrollBarStyle = 0x54000000;
constexpr DWORD kTrackBarHorizontal = 0x54010001;  // horizontal, auto ticks
constexpr DWORD kTrackBarVertical = 0x54010003;
constexpr DWORD kUpDownHorizontal = 0x54000040;
constexpr DWORD kUpDownVertical = 0x54000000;
constexpr DWORD kProgBarStyle = 0x44000001;  // smooth
constexpr int kHorizontalStyle = 1;

}  // namespace

Win32Slider::Win32Slider(KVGroup* parent, int sliderStyle)
    : Win32Control(parent, sliderStyle), kind(static_cast<Kind>(sliderStyle / 4)),
      horizontal((sliderStyle & kHorizontalStyle) != 0) {
    switch (kind) {
    case kScrollBar: createControl(L"SCROLLBAR", "", kScrollBarStyle | (horizontal ? 0 : SBS_VERT), 0, 0); break;
    case kTrackBar:
        createControl(L"msctls_trackbar32", "", horizontal ? kTrackBarHorizontal : kTrackBarVertical, 0, 0);
        break;
    case kUpDown: createControl(L"msctls_updown32", "", horizontal ? kUpDownHorizontal : kUpDownVertical, 0, 0); break;
    default: break;  // kinds 3 and above are a gadget without a control
    }
}

void Win32Slider::setRange(int visible, int total) {
    switch (kind) {
    case kScrollBar: {
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE, 0, total - 1, static_cast<UINT>(visible), 0, 0};
        SetScrollInfo(control.hwnd, SB_CTL, &info, TRUE);
        break;
    }
    case kTrackBar: SendMessageW(control.hwnd, TBM_SETRANGEMIN, FALSE, visible);
        SendMessageW(control.hwnd, TBM_SETRANGEMAX, TRUE, total);
        break;
    case kUpDown: SendMessageW(control.hwnd, UDM_SETRANGE32, visible, total); break;
    }
}

// A vertical trackbar counts from the bottom: its top is the maximum.
void Win32Slider::setValue(int v) {
    switch (kind) {
    case kScrollBar: SetScrollPos(control.hwnd, SB_CTL, v, TRUE); break;
    case kTrackBar: {
        if (!horizontal) {
            int low = static_cast<int>(SendMessageW(control.hwnd, TBM_GETRANGEMIN, 0, 0));
            int high = static_cast<int>(SendMessageW(control.hwnd, TBM_GETRANGEMAX, 0, 0));
            v = low + high - v;
        }
        SendMessageW(control.hwnd, TBM_SETPOS, TRUE, v);
        break;
    }
    case kUpDown: SendMessageW(control.hwnd, UDM_SETPOS32, 0, v); break;
    }
}

int Win32Slider::value() {
    switch (kind) {
    case kScrollBar: return GetScrollPos(control.hwnd, SB_CTL);
    case kTrackBar: {
        int position = static_cast<int>(SendMessageW(control.hwnd, TBM_GETPOS, 0, 0));
        if (horizontal) return position;
        int low = static_cast<int>(SendMessageW(control.hwnd, TBM_GETRANGEMIN, 0, 0));
        int high = static_cast<int>(SendMessageW(control.hwnd, TBM_GETRANGEMAX, 0, 0));
        return low + high - position;
    }
    case kUpDown: return static_cast<int>(SendMessageW(control.hwnd, UDM_GETPOS32, 0, 0));
    }
    return 0;
}

// A scroll bar moves itself: by one, by a page, or to the thumb.
void Win32Slider::scrollBy(int code) {
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(control.hwnd, SB_CTL, &info);
    int position = info.nPos;
    switch (code) {
    case SB_LINEUP: position -= 1; break;
    case SB_LINEDOWN: position += 1; break;
    case SB_PAGEUP: position -= static_cast<int>(info.nPage); break;
    case SB_PAGEDOWN: position += static_cast<int>(info.nPage); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: position = info.nTrackPos; break;
    default: return;
    }
    SetScrollPos(control.hwnd, SB_CTL, position, TRUE);
}

LRESULT Win32Slider::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if ((message == WM_HSCROLL || message == WM_VSCROLL) && reinterpret_cast<HWND>(lParam) == control.hwnd) {
        if (kind == kScrollBar) {
            int code = LOWORD(wParam);
            if (code != SB_LINEUP && code != SB_LINEDOWN && code != SB_PAGEUP && code != SB_PAGEDOWN &&
                code != SB_THUMBPOSITION && code != SB_THUMBTRACK) {
                return 0;
            }
            scrollBy(code);
        }
        NativeEventSink(EVENT_GADGETACTION, this, value(), 0, 0, 0, NullObject());
        return 0;
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}

Win32ProgBar::Win32ProgBar(KVGroup* parent, int barStyle) : Win32Control(parent, barStyle) {
    createControl(L"msctls_progress32", "", kProgBarStyle, 0, 0);
}

void Win32ProgBar::setProgress(float v) {
    progress = v;
    SendMessageW(control.hwnd, PBM_SETPOS, static_cast<WPARAM>(std::lround(v * 100)), 0);
}
