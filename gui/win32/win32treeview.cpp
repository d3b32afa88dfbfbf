#include "gui/win32/win32treeview.h"

#include <string>

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kTreeStyle = 0x44000027;  // child, clip siblings, buttons, lines, lines at root, selection shown

// Node images show only with an icon strip and an icon of 0 or more.
void SetImage(TVITEMA& item, KVGadget* tree, int icon) {
    if (!tree->iconStrip || icon < 0) return;
    item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.iImage = item.iSelectedImage = icon;
}

}  // namespace

// ---- nodes ----

Win32TreeViewNode::Win32TreeViewNode(Win32TreeView* owner, HTREEITEM parent, int index, String* nodeText, int icon)
    : KVGadget(nullptr, 0), tree(owner) {
    depend(tree);
    std::string label = NativeText(nodeText);
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = tree->insertAfter(parent, index);
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = label.data();
    insert.item.lParam = reinterpret_cast<LPARAM>(this);
    SetImage(insert.item, tree, icon);
    item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree->control.hwnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!item) RuntimeError("The tree view node could not be made");
    KVGadget::setText(nodeText);
}

Win32TreeViewNode::~Win32TreeViewNode() {
    if (item && IsWindow(tree->control.hwnd)) SendMessageW(tree->control.hwnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item));
}

uintptr_t Win32TreeViewNode::query(int) { return reinterpret_cast<uintptr_t>(item); }

void Win32TreeViewNode::setText(String* nodeText) { modify(nodeText, -1); }

void Win32TreeViewNode::modify(String* nodeText, int icon) {
    std::string label = NativeText(nodeText);
    TVITEMA change{};
    change.mask = TVIF_TEXT;
    change.hItem = item;
    change.pszText = label.data();
    SetImage(change, tree, icon);
    SendMessageA(tree->control.hwnd, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
    KVGadget::setText(nodeText);
}

int Win32TreeViewNode::activate(int command) {
    HWND control = tree->control.hwnd;
    if (command == ACTIVATE_EXPAND) SendMessageW(control, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    if (command == ACTIVATE_COLLAPSE) SendMessageW(control, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(item));
    if (command == ACTIVATE_SELECT) SendMessageW(control, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    return 0;
}

int Win32TreeViewNode::countKids() { return tree->countKids(item); }

// ---- the tree view ----

Win32TreeView::Win32TreeView(KVGroup* parent, int treeStyle) : Win32Control(parent, treeStyle) {
    createControl(WC_TREEVIEWW, "", kTreeStyle, WS_EX_CLIENTEDGE, 0);
}

void Win32TreeView::setIconStrip(Win32IconStrip* strip) {
    KVGadget::setIconStrip(strip);
    SendMessageW(control.hwnd, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(strip ? strip->images : nullptr));
}

Win32TreeViewNode* Win32TreeView::nodeOf(HTREEITEM item) {
    if (!item) return nullptr;
    TVITEMA read{};
    read.mask = TVIF_PARAM;
    read.hItem = item;
    if (!SendMessageA(control.hwnd, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&read))) return nullptr;
    return reinterpret_cast<Win32TreeViewNode*>(read.lParam);
}

Win32TreeViewNode* Win32TreeView::selected() {
    return nodeOf(reinterpret_cast<HTREEITEM>(SendMessageW(control.hwnd, TVM_GETNEXTITEM, TVGN_CARET, 0)));
}

int Win32TreeView::countKids(HTREEITEM parent) {
    int count = 0;
    auto next = [&](HTREEITEM from, WPARAM how) {
        return reinterpret_cast<HTREEITEM>(SendMessageW(control.hwnd, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(from)));
    };
    HTREEITEM child = parent == TVI_ROOT ? next(nullptr, TVGN_ROOT) : next(parent, TVGN_CHILD);
    for (; child; child = next(child, TVGN_NEXT)) ++count;
    return count;
}

HTREEITEM Win32TreeView::insertAfter(HTREEITEM parent, int index) {
    if (index < 0) return TVI_LAST;
    if (index == 0) return TVI_FIRST;
    HTREEITEM child = reinterpret_cast<HTREEITEM>(SendMessageW(
        control.hwnd, TVM_GETNEXTITEM, parent == TVI_ROOT ? TVGN_ROOT : TVGN_CHILD,
        parent == TVI_ROOT ? 0 : reinterpret_cast<LPARAM>(parent)));
    for (int i = 1; child && i < index; ++i) {
        HTREEITEM next = reinterpret_cast<HTREEITEM>(
            SendMessageW(control.hwnd, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(child)));
        if (!next) break;
        child = next;
    }
    return child ? child : TVI_LAST;
}

void Win32TreeView::raise(int id, Win32TreeViewNode* node, int x, int y) {
    if (node) NativeEventSink(id, this, static_cast<int>(reinterpret_cast<intptr_t>(node)), 0, x, y, NullObject());
}

LRESULT Win32TreeView::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == control.hwnd) {
        auto* change = reinterpret_cast<NMTREEVIEWW*>(lParam);
        switch (change->hdr.code) {
        case TVN_ITEMEXPANDEDA:
        case TVN_ITEMEXPANDEDW: {
            int id = (change->action & TVE_EXPAND) ? EVENT_GADGETOPEN : EVENT_GADGETCLOSE;
            raise(id, reinterpret_cast<Win32TreeViewNode*>(change->itemNew.lParam));
            return 0;
        }
        case TVN_SELCHANGEDA:
        case TVN_SELCHANGEDW:
            raise(EVENT_GADGETSELECT, reinterpret_cast<Win32TreeViewNode*>(change->itemNew.lParam));
            return 0;
        case NM_RCLICK: {
            POINT cursor;
            GetCursorPos(&cursor);
            TVHITTESTINFO hit{};
            hit.pt = cursor;
            ScreenToClient(control.hwnd, &hit.pt);
            auto item = reinterpret_cast<HTREEITEM>(SendMessageW(control.hwnd, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
            raise(EVENT_GADGETMENU, nodeOf(item), cursor.x, cursor.y);
            return 0;
        }
        case NM_DBLCLK: raise(EVENT_GADGETACTION, selected()); return 0;
        case TVN_KEYDOWN:
            if (reinterpret_cast<NMTVKEYDOWN*>(lParam)->wVKey == VK_RETURN) raise(EVENT_GADGETACTION, selected());
            break;
        default: break;
        }
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
