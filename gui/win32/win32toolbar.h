// Native tool bars: a flat tool bar control with one button per icon of its
// icon strip (a blank icon, or icon -2, is a separator). Button i carries the
// command id i + 1, so a click raises GadgetAction with the item index; a
// check button keeps its state. Its height is the control's own.
#pragma once
#include "gui/win32/win32control.h"
#include <vector>

#include "gui/win32/win32tooltips.h"

class Win32ToolBar : public Win32Control, public KVItems {
public:
    Win32Tooltips tooltips;

    Win32ToolBar(KVGroup* group, int style);

    KVItems* itemList() override { return this; }
    void setShape(int x, int y, int w, int h) override;
    void setIconStrip(Win32IconStrip* strip) override;
    void clearItems() override;
    void insertItem(int index, String* text, String* tip, int icon) override;
    void modifyItem(int index, String* text, String* tip, int icon) override;
    void removeItem(int index) override;
    void setItemState(int index, int state) override;
    int itemState(int index) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    int count();
    // Command ids follow the indices again after an insertion or removal, and
    // every tip's tool lies over its button.
    void renumber();
    // The control sizes itself (its height, the group's width): that size
    // becomes the gadget's shape.
    void fitHeight();
    std::vector<Ref<String>> tips_;  // each button's tip (counted references)
};
