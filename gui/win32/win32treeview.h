// Native tree views: a tree view control whose items are nodes. Every node
// is a native gadget of its own (a Win32TreeViewNode, wrapped by a gadget of
// class 16) that keeps its tree alive; deleting a node deletes its item and,
// with it, the items below it. Events carry the node: expanding and
// collapsing raise GadgetOpen and GadgetClose, a new selection GadgetSelect,
// a right click on a node GadgetMenu (at the cursor's screen position), and a
// double click or Enter GadgetAction with the selected node.
#pragma once
#include "gui/win32/win32control.h"

#include <commctrl.h>  // after the Windows headers that win32control.h brings

class Win32TreeView;

class Win32TreeViewNode : public KVGadget {
public:
    Win32TreeView* tree;  // counted (a dependency) while the node lives
    HTREEITEM item = nullptr;

    Win32TreeViewNode(Win32TreeView* tree, HTREEITEM parent, int index, String* text, int icon);
    ~Win32TreeViewNode() override;

    uintptr_t query(int kind) override;
    void setText(String* text) override;
    void setShow(bool) override {}
    void setEnabled(bool) override {}
    // 7 expands the node, 8 collapses it, 9 selects it.
    int activate(int command) override;
    void modify(String* text, int icon);
    int countKids();
};

class Win32TreeView : public Win32Control {
public:
    Win32TreeView(KVGroup* group, int style);

    void setIconStrip(Win32IconStrip* strip) override;
    // The node of an item, from the item's parameter; null for none.
    Win32TreeViewNode* nodeOf(HTREEITEM item);
    Win32TreeViewNode* selected();
    int countKids(HTREEITEM parent);
    // The item after which a new child at `index` of `parent` goes.
    HTREEITEM insertAfter(HTREEITEM parent, int index);

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    void raise(int id, Win32TreeViewNode* node, int x = 0, int y = 0);
};
