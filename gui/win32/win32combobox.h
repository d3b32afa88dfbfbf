// Native combo boxes: a drop-down list, or with style 1 an editable
// drop-down. Choosing an item raises GadgetAction with its index; editing
// the text raises GadgetAction with -1.
#pragma once
#include "gui/win32/win32control.h"

class Win32ComboBox : public Win32Control, public KVItems {
public:
    Win32ComboBox(KVGroup* group, int style);

    // The edit text (the selected item's text in a drop-down list).
    String* editText();

    void setShape(int x, int y, int w, int h) override;
    KVItems* itemList() override { return this; }
    void setIconStrip(Win32IconStrip* strip) override;
    void clearItems() override;
    void insertItem(int index, String* text, String* tip, int icon) override;
    void modifyItem(int index, String* text, String* tip, int icon) override;
    void removeItem(int index) override;
    void setItemState(int index, int state) override;
    int itemState(int index) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;
};
