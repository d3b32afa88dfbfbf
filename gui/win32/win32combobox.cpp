#include "gui/win32/win32combobox.h"

#include <string>
#include <vector>

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32window.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kComboStyle = 0x44010042;  // child, clip siblings, tab stop, drop-down, auto scroll
constexpr int kEditable = 1;
constexpr int kDropDownHeight = 128;  // the control's height includes its open list

void SetItem(HWND combo, UINT message, int index, String* text, int icon, bool withIcon) {
    std::string label = NativeText(text);
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT | (withIcon ? CBEIF_IMAGE | CBEIF_SELECTEDIMAGE : 0);
    item.iItem = index;
    item.pszText = label.data();
    item.iImage = item.iSelectedImage = icon;
    SendMessageA(combo, message, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

Win32ComboBox::Win32ComboBox(KVGroup* parent, int comboStyle) : Win32Control(parent, comboStyle) {
    createControl(L"ComboBoxEx32", "", (style & kEditable) ? kComboStyle : kComboStyle + 1, 0, 0);
    HWND inner = reinterpret_cast<HWND>(SendMessageW(control.hwnd, CBEM_GETCOMBOCONTROL, 0, 0));
    HWND edit = reinterpret_cast<HWND>(SendMessageW(control.hwnd, CBEM_GETEDITCONTROL, 0, 0));
    for (HWND window : {inner, edit}) {
        if (window) SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | WS_TABSTOP);
    }
}

String* Win32ComboBox::editText() {
    int length = GetWindowTextLengthW(control.hwnd);
    std::vector<wchar_t> buffer(length + 1);
    GetWindowTextW(control.hwnd, buffer.data(), length + 1);
    return String::FromShorts(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

void Win32ComboBox::setShape(int newX, int newY, int w, int h) {
    MoveWindow(control.hwnd, newX, newY, w, kDropDownHeight, TRUE);
    KVGadget::setShape(newX, newY, w, h);
}

void Win32ComboBox::setIconStrip(Win32IconStrip* strip) {
    KVGadget::setIconStrip(strip);
    SendMessageW(control.hwnd, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(strip ? strip->images : nullptr));
}

void Win32ComboBox::clearItems() { SendMessageW(control.hwnd, CB_RESETCONTENT, 0, 0); }

void Win32ComboBox::insertItem(int index, String* itemText, String*, int icon) {
    SetItem(control.hwnd, CBEM_INSERTITEMA, index, itemText, icon, iconStrip && icon >= 0);
}

void Win32ComboBox::modifyItem(int index, String* itemText, String*, int icon) {
    SetItem(control.hwnd, CBEM_SETITEMA, index, itemText, icon, iconStrip && icon >= 0);
}

void Win32ComboBox::removeItem(int index) { SendMessageW(control.hwnd, CBEM_DELETEITEM, index, 0); }

void Win32ComboBox::setItemState(int index, int state) {
    int current = static_cast<int>(SendMessageW(control.hwnd, CB_GETCURSEL, 0, 0));
    if (state & GADGETITEM_SELECTED) {
        SendMessageW(control.hwnd, CB_SETCURSEL, index, 0);
    } else if (current == index) {
        SendMessageW(control.hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    }
}

int Win32ComboBox::itemState(int index) {
    return SendMessageW(control.hwnd, CB_GETCURSEL, 0, 0) == index ? GADGETITEM_SELECTED : 0;
}

LRESULT Win32ComboBox::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == control.hwnd) {
        if (HIWORD(wParam) == CBN_SELCHANGE) {
            int chosen = static_cast<int>(SendMessageW(control.hwnd, CB_GETCURSEL, 0, 0));
            NativeEventSink(EVENT_GADGETACTION, this, chosen, 0, 0, 0, NullObject());
            return 0;
        }
        if (HIWORD(wParam) == CBN_EDITCHANGE) {
            NativeEventSink(EVENT_GADGETACTION, this, -1, 0, 0, 0, NullObject());
            return 0;
        }
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
