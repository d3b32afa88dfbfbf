#include "gui/win32/kvmenu.h"

#include <cstdio>

#include "gui/win32/win32window.h"

KVMenu::KVMenu(String* itemText, int menuId, KVMenu* parentMenu) : text(itemText), id(menuId), parent(parentMenu) {
    if (!parent) return;
    KVMenu** last = &parent->firstChild;
    while (*last) last = &(*last)->nextSibling;
    *last = this;
}

KVMenu::~KVMenu() {
    for (KVMenu* child = firstChild; child; child = child->nextSibling) child->parent = nullptr;
    if (!parent) return;
    for (KVMenu** link = &parent->firstChild; *link; link = &(*link)->nextSibling) {
        if (*link == this) {
            *link = nextSibling;
            break;
        }
    }
}

std::string MenuKeyName(int key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
    char name[16];
    if (key >= 112 && key <= 123) {
        std::snprintf(name, sizeof name, "F%i", key - 111);
        return name;
    }
    if (key >= 96 && key <= 105) {
        std::snprintf(name, sizeof name, "Num %i", key - 96);
        return name;
    }
    switch (key) {
    case 8: return "Backspace";
    case 9: return "Tab";
    case 13: return "Enter";
    case 27: return "Esc";
    case 32: return "Space";
    case 33: return "PageUp";
    case 34: return "PageDown";
    case 35: return "End";
    case 36: return "Home";
    case 37: return "Left";
    case 38: return "Up";
    case 39: return "Right";
    case 40: return "Down";
    case 45: return "Insert";
    case 46: return "Delete";
    case 106: return "Num *";
    case 107: return "Num +";
    case 109: return "Num -";
    case 110: return "Num .";
    case 111: return "Num /";
    case 186: return ";";
    case 187: return "=";
    case 188: return ",";
    case 189: return "-";
    case 190: return ".";
    case 191: return "/";
    case 192: return "~";
    case 219: return "[";
    case 221: return "]";
    case 222: return "'";
    case 226: return "\\";
    default: return "";
    }
}

namespace {

// The item text with its shortcut after a tab, when the key has a name.
std::string ItemText(const KVMenu* item) {
    std::string label = NativeText(item->text);
    if (item->hotKey == 0) return label;
    std::string key = MenuKeyName(item->hotKey);
    if (key.empty()) return label;
    label += '\t';
    if (item->hotMods & 1) label += "Shift+";
    if (item->hotMods & 2) label += "Ctrl+";
    if (item->hotMods & 4) label += "Alt+";
    return label + key;
}

UINT StateFlags(const KVMenu* item) {
    return (item->checked ? MF_CHECKED : 0) | (item->enabled ? 0 : MF_GRAYED);
}

}  // namespace

HMENU KVMenu::build(bool menuBar) {
    HMENU menu = menuBar ? CreateMenu() : CreatePopupMenu();
    for (KVMenu* child = firstChild; child; child = child->nextSibling) {
        std::string label = ItemText(child);
        if (child->firstChild) {
            AppendMenuA(menu, MF_POPUP | MF_STRING | StateFlags(child),
                        reinterpret_cast<UINT_PTR>(child->build(false)), label.c_str());
        } else if (child->text->length == 0) {
            AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuA(menu, MF_STRING | StateFlags(child), child->id + kMenuCommandOffset, label.c_str());
        }
    }
    return menu;
}

void KVMenu::popUp(HWND owner) {
    HMENU popup = build(false);
    POINT at;
    GetCursorPos(&at);
    TrackPopupMenu(popup, TPM_LEFTBUTTON, at.x, at.y, 0, owner, nullptr);
    DestroyMenu(popup);
}
