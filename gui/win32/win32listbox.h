// Native list boxes: a report-style list view of one column, one item
// selected at a time. A new selection raises GadgetSelect (a click that
// leaves nothing selected raises it with -1), a double click GadgetAction
// and a right click GadgetMenu, each with the selected index. An item with a
// tip has a tooltip tool (keyed by the item's running number) that follows
// the item's rectangle whenever the list draws, so tips follow scrolling.
#pragma once
#include "gui/win32/win32control.h"
#include "gui/win32/win32tooltips.h"

class Win32ListBox : public Win32Control, public KVItems {
public:
    int counter = 0;        // the running item number kept in each item
    int lastSelected = -1;  // the last selection reported
    Win32Tooltips tooltips;

    Win32ListBox(KVGroup* group, int style);

    KVItems* itemList() override { return this; }
    void setIconStrip(Win32IconStrip* strip) override;
    void clearItems() override;
    void insertItem(int index, String* text, String* tip, int icon) override;
    void modifyItem(int index, String* text, String* tip, int icon) override;
    void removeItem(int index) override;
    void setItemState(int index, int state) override;
    int itemState(int index) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    int selected();
    UINT_PTR numberOf(int index);
    // Every tool over its item's current rectangle.
    void followItems();
};
