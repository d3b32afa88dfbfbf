#include "gui/win32/win32listbox.h"

#include <string>

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32window.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kListStyle = 0x4401404D;  // report view without header, single selection, selection always shown

// An icon shows only when the gadget has a strip and the icon is 0 or more.
bool ShowsIcon(KVGadget* gadget, int icon) { return gadget->iconStrip && icon >= 0; }

}  // namespace

Win32ListBox::Win32ListBox(KVGroup* parent, int listStyle) : Win32Control(parent, listStyle) {
    createControl(L"SysListView32", "", kListStyle, WS_EX_CLIENTEDGE, 0);
    SendMessageW(control.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageA(control.hwnd, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    tooltips.create(control.hwnd);
}

UINT_PTR Win32ListBox::numberOf(int index) {
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    SendMessageA(control.hwnd, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<UINT_PTR>(item.lParam);
}

static RECT ItemRect(HWND list, int index) {
    RECT area{};
    area.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&area));
    return area;
}

void Win32ListBox::followItems() {
    int count = static_cast<int>(SendMessageW(control.hwnd, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) tooltips.moveTool(numberOf(i), ItemRect(control.hwnd, i));
}

void Win32ListBox::setIconStrip(Win32IconStrip* strip) {
    KVGadget::setIconStrip(strip);
    SendMessageW(control.hwnd, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(strip ? strip->images : nullptr));
}

void Win32ListBox::clearItems() {
    SendMessageW(control.hwnd, LVM_DELETEALLITEMS, 0, 0);
    tooltips.removeAll();
    lastSelected = -1;
}

void Win32ListBox::insertItem(int index, String* itemText, String* tip, int icon) {
    std::string label = NativeText(itemText);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (ShowsIcon(this, icon) ? LVIF_IMAGE : 0);
    item.iItem = index;
    item.pszText = label.data();
    item.iImage = icon;
    item.lParam = counter++;
    int at = static_cast<int>(SendMessageA(control.hwnd, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    SendMessageW(control.hwnd, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
    if (at >= 0) tooltips.setTool(static_cast<UINT_PTR>(item.lParam), ItemRect(control.hwnd, at), tip);
    followItems();
    if (lastSelected >= index) ++lastSelected;
}

void Win32ListBox::modifyItem(int index, String* itemText, String* tip, int icon) {
    std::string label = NativeText(itemText);
    LVITEMA item{};
    item.mask = LVIF_TEXT | (ShowsIcon(this, icon) ? LVIF_IMAGE : 0);
    item.iItem = index;
    item.pszText = label.data();
    item.iImage = icon;
    SendMessageA(control.hwnd, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    tooltips.setTool(numberOf(index), ItemRect(control.hwnd, index), tip);
}

void Win32ListBox::removeItem(int index) {
    tooltips.removeTool(numberOf(index));
    SendMessageW(control.hwnd, LVM_DELETEITEM, index, 0);
    followItems();
    if (lastSelected == index) {
        lastSelected = -1;
    } else if (lastSelected > index) {
        --lastSelected;
    }
}

// The selection set here is remembered first, so it is not reported.
void Win32ListBox::setItemState(int index, int state) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (state & GADGETITEM_SELECTED) {
        lastSelected = index;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(control.hwnd, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
        SendMessageW(control.hwnd, LVM_ENSUREVISIBLE, index, FALSE);
    } else {
        item.state = 0;
        SendMessageA(control.hwnd, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    }
}

int Win32ListBox::itemState(int index) {
    LRESULT state = SendMessageW(control.hwnd, LVM_GETITEMSTATE, index, LVIS_SELECTED);
    return (state & LVIS_SELECTED) ? GADGETITEM_SELECTED : 0;
}

int Win32ListBox::selected() {
    return static_cast<int>(SendMessageW(control.hwnd, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

LRESULT Win32ListBox::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == control.hwnd) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        switch (header->code) {
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
            bool nowSelected = (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED);
            if (nowSelected && change->iItem != lastSelected) {
                lastSelected = change->iItem;
                NativeEventSink(EVENT_GADGETSELECT, this, change->iItem, 0, 0, 0, NullObject());
            }
            return 0;
        }
        case NM_CLICK:
            if (selected() == -1 && lastSelected != -1) {
                lastSelected = -1;
                NativeEventSink(EVENT_GADGETSELECT, this, -1, 0, 0, 0, NullObject());
            }
            return 0;
        case NM_CUSTOMDRAW:
            if (reinterpret_cast<NMCUSTOMDRAW*>(lParam)->dwDrawStage == CDDS_PREPAINT) followItems();
            return CDRF_DODEFAULT;
        case NM_DBLCLK: NativeEventSink(EVENT_GADGETACTION, this, selected(), 0, 0, 0, NullObject()); return 0;
        case NM_RCLICK: NativeEventSink(EVENT_GADGETMENU, this, selected(), 0, 0, 0, NullObject()); return 0;
        default: break;
        }
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
