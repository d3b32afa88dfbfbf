// Native tabbers: a tab control with a client window of the layer's class
// inside it, where the tabber's kids live. A tab control is never empty:
// while no real tab exists it shows one empty placeholder tab, and its
// selection then reads -1. Switching tabs raises GadgetAction with the new
// tab (or -1); a tab with a tip gets a tooltip tool over it.
#pragma once
#include <vector>

#include "gui/win32/kvgadget.h"
#include "gui/win32/win32hwnd.h"
#include "gui/win32/win32tooltips.h"

class Win32Tabber : public KVGroup, public Win32WndProc, public KVItems {
public:
    Win32Hwnd tabs;
    Win32Hwnd client;
    Win32Tooltips tooltips;
    std::vector<Ref<String>> tips;  // each real tab's tip (counted references)
    int realTabs = 0;

    Win32Tabber(KVGroup* group, int style);

    uintptr_t query(int kind) override;
    void setFont(uintptr_t font) override;
    void setShape(int x, int y, int w, int h) override;
    void setShow(bool show) override;
    void setEnabled(bool enabled) override;
    int activate(int command) override;
    void setIconStrip(Win32IconStrip* strip) override;
    void clientRect(int& x, int& y, int& w, int& h) override;
    KVItems* itemList() override { return this; }

    void clearItems() override;
    void insertItem(int index, String* text, String* tip, int icon) override;
    void modifyItem(int index, String* text, String* tip, int icon) override;
    void removeItem(int index) override;
    void setItemState(int index, int state) override;
    int itemState(int index) override;

    // The current tab, -1 while only the placeholder is there.
    int current();

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    void addPlaceholder();
    // Puts the client window over the tab control's display area and lays
    // out the kids when its size changed.
    void placeClient();
    // Every tab's tip over its current rectangle (tool id = index + 1).
    void refreshTips();
};
