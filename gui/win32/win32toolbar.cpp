#include "gui/win32/win32toolbar.h"

#include <string>

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kToolBarStyle = 0x46000800;  // child, clip siblings and children, flat
constexpr int kSeparatorIcon = -2;

}  // namespace

Win32ToolBar::Win32ToolBar(KVGroup* parent, int toolStyle) : Win32Control(parent, toolStyle) {
    createControl(TOOLBARCLASSNAMEW, "", kToolBarStyle, 0, 0);
    SendMessageW(control.hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    tooltips.create(control.hwnd);
    SendMessageW(control.hwnd, TB_SETTOOLTIPS, reinterpret_cast<WPARAM>(tooltips.window), 0);
}

int Win32ToolBar::count() { return static_cast<int>(SendMessageW(control.hwnd, TB_BUTTONCOUNT, 0, 0)); }

void Win32ToolBar::setShape(int newX, int newY, int w, int h) {
    Win32Control::setShape(newX, newY, w, h);
    fitHeight();
}

void Win32ToolBar::fitHeight() {
    SendMessageW(control.hwnd, TB_AUTOSIZE, 0, 0);
    RECT r;
    GetWindowRect(control.hwnd, &r);
    KVGadget::setShape(x, y, r.right - r.left, r.bottom - r.top);
}

void Win32ToolBar::setIconStrip(Win32IconStrip* strip) {
    KVGadget::setIconStrip(strip);
    if (strip) {
        SendMessageW(control.hwnd, TB_SETBITMAPSIZE, 0, MAKELPARAM(strip->iconSize, strip->iconSize));
    }
    SendMessageW(control.hwnd, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(strip ? strip->images : nullptr));
    fitHeight();
}

void Win32ToolBar::clearItems() {
    while (count() > 0) SendMessageW(control.hwnd, TB_DELETEBUTTON, 0, 0);
    tips_.clear();
    tooltips.removeAll();
    fitHeight();
}

void Win32ToolBar::insertItem(int index, String*, String* tip, int icon) {
    if (!iconStrip) return;
    bool separator = icon == kSeparatorIcon || icon < 0 || icon >= iconStrip->count ||
                     iconStrip->blank[static_cast<size_t>(icon)];
    TBBUTTON button{};
    button.iBitmap = separator ? 0 : icon;
    button.idCommand = index + 1;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = separator ? BTNS_SEP : BTNS_BUTTON;
    SendMessageW(control.hwnd, TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&button));
    index = std::min(index, static_cast<int>(tips_.size()));
    tips_.insert(tips_.begin() + (index < 0 ? 0 : index), Ref<String>(tip));
    renumber();
    fitHeight();
}

void Win32ToolBar::modifyItem(int index, String* text, String* tip, int icon) {
    if (!iconStrip || index < 0 || index >= count()) return;
    bool checked = itemState(index) & GADGETITEM_SELECTED;
    SendMessageW(control.hwnd, TB_DELETEBUTTON, index, 0);
    tips_.erase(tips_.begin() + index);
    insertItem(index, text, tip, icon);
    if (checked) setItemState(index, GADGETITEM_SELECTED);
}

void Win32ToolBar::removeItem(int index) {
    if (index < 0 || index >= count()) return;
    SendMessageW(control.hwnd, TB_DELETEBUTTON, index, 0);
    if (static_cast<size_t>(index) < tips_.size()) tips_.erase(tips_.begin() + index);
    renumber();
    fitHeight();
}

void Win32ToolBar::renumber() {
    tooltips.removeAll();
    for (int i = 0; i < count(); ++i) {
        SendMessageW(control.hwnd, TB_SETCMDID, i, i + 1);
        RECT area{};
        SendMessageW(control.hwnd, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&area));
        if (static_cast<size_t>(i) < tips_.size()) tooltips.setTool(static_cast<UINT_PTR>(i + 1), area, tips_[i]);
    }
}

void Win32ToolBar::setItemState(int index, int state) {
    SendMessageW(control.hwnd, TB_CHECKBUTTON, index + 1, MAKELPARAM((state & GADGETITEM_SELECTED) != 0, 0));
}

int Win32ToolBar::itemState(int index) {
    LRESULT state = SendMessageW(control.hwnd, TB_GETSTATE, index + 1, 0);
    return state != -1 && (state & TBSTATE_CHECKED) ? GADGETITEM_SELECTED : 0;
}

LRESULT Win32ToolBar::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == control.hwnd) {
        NativeEventSink(EVENT_GADGETACTION, this, static_cast<int>(LOWORD(wParam)) - 1, 0, 0, 0, NullObject());
        return 0;
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
