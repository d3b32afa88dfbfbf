// Native menus: a tree of items kept by the native layer, from which a Win32
// menu is built whenever a window's menu bar is updated or a popup is shown.
// Each window has an invisible root (id -1) whose children are its menu bar;
// menus made on the desktop have no parent and are shown as popups.
#pragma once
#include <string>

#include "gui/win32/kvgadget.h"
#include "runtime/win32.h"

class KVMenu : public KVResource {
public:
    Ref<String> text;
    int id;              // the internal id; Win32 command ids are id + 100
    bool checked = false;
    bool enabled = true;
    KVMenu* firstChild = nullptr;
    KVMenu* nextSibling = nullptr;
    KVMenu* parent = nullptr;
    int hotKey = 0;   // virtual key shown after the text, 0 none
    int hotMods = 0;  // 1 shift, 2 control, 4 alt

    // Appended as the last child of `parent` (which may be null).
    KVMenu(String* text, int id, KVMenu* parent);
    // Leaves the parent's children; the children are left without a parent.
    ~KVMenu() override;

    // A Win32 menu of this node's children: a menu bar, or a popup.
    HMENU build(bool menuBar);
    // Shows the children as a popup menu at the cursor, owned by `owner`,
    // which then receives the chosen item's WM_COMMAND.
    void popUp(HWND owner);
};

constexpr int kMenuCommandOffset = 100;

// The name a shortcut shows for a virtual key ("F5", "Num 3", "PageUp"), or
// the empty string for a key without one.
std::string MenuKeyName(int key);
