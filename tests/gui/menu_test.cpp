// Menus on real windows: the menu bar built from a window's menu tree,
// shortcuts in the item texts, menu commands becoming MenuAction events with
// the user's tag, popup menus chosen from with the real keyboard, and hot
// keys pressed for real (xdotool) reaching their gadget or menu.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "gui/gui.h"
#include "gui/win32/kvmenu.h"
#include "gui/win32guidriver.h"
#include "system/event.h"
#include "system/system.h"
#include "tests/gui/window_fixture.h"

namespace {

class Menus : public WindowFixture {
protected:
    void SetUp() override { OpenWindow(u"menus"_s, 300, 200, WINDOW_TITLEBAR | WINDOW_MENU, true); }

    static std::string ItemString(HMENU menu, int position) {
        char text[64] = "";
        GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
        return text;
    }

    static std::vector<EventRecord> EventsOfAny(int id) {
        std::vector<EventRecord> matching;
        for (const EventRecord& record : DrainEvents()) {
            if (record.id == id) matching.push_back(record);
        }
        return matching;
    }
};

// What a helper thread did with a popup menu of the main thread.
struct MenuKeys {
    bool shown = false;      // the menu's window came
    int pressed = -1;        // xdotool's exit code
    bool cancelled = false;  // the menu was still open after the keys and was cancelled
};

// Presses `keys` once the popup menu of `owner` is on the screen; a menu
// still open a long while after (a key went astray) is cancelled, so that
// the test fails instead of waiting in the menu for ever.
void PressInMenu(const std::atomic<bool>& returned, HWND owner, const char* keys, MenuKeys* result) {
    result->shown = WaitWithoutPumping([&] { return FindVisibleWindow(L"#32768", nullptr) || returned; }) && !returned;
    if (result->shown) result->pressed = Xdo(std::string("key ") + keys);
    if (!WaitWithoutPumping([&] { return returned.load(); })) {
        result->cancelled = true;
        PostMessageW(owner, WM_CANCELMODE, 0, 0);
    }
}

}  // namespace

TEST_F(Menus, TheMenuBarIsBuiltFromTheTreeWhenUpdated) {
    TGadget* file = CreateMenu(u"&File"_s, 1, WindowMenu(window));
    TGadget* open = CreateMenu(u"&Open"_s, 10, file, VK_F5, 3);
    CreateMenu(u""_s, 0, file);  // a separator
    TGadget* quit = CreateMenu(u"E&xit"_s, 11, file);
    DisableMenu(quit);
    CheckMenu(quit);
    TGadget* recent = CreateMenu(u""_s, 12, file);  // empty text with children: an untitled submenu
    CreateMenu(u"one.png"_s, 13, recent);
    UpdateWindowMenu(window);

    HMENU bar = GetMenu(Frame(window));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    EXPECT_EQ(ItemString(bar, 0), "&File");
    HMENU fileMenu = GetSubMenu(bar, 0);
    ASSERT_NE(fileMenu, nullptr);
    ASSERT_EQ(GetMenuItemCount(fileMenu), 4);
    EXPECT_EQ(ItemString(fileMenu, 0), "&Open\tShift+Ctrl+F5");
    EXPECT_EQ(GetMenuItemID(fileMenu, 0), 100u + static_cast<unsigned>(Downcast<TWin32Gadget>(open)->menu->id));
    EXPECT_TRUE(GetMenuState(fileMenu, 1, MF_BYPOSITION) & MF_SEPARATOR);
    UINT quitState = GetMenuState(fileMenu, 2, MF_BYPOSITION);
    EXPECT_TRUE(quitState & MF_GRAYED);
    EXPECT_TRUE(quitState & MF_CHECKED);
    EXPECT_EQ(MenuChecked(quit), 1);
    EXPECT_EQ(MenuEnabled(quit), 0);
    HMENU recentMenu = GetSubMenu(fileMenu, 3);
    ASSERT_NE(recentMenu, nullptr);
    EXPECT_EQ(ItemString(recentMenu, 0), "one.png");

    SetMenuText(open, u"&Load"_s);  // not shown until the bar is updated
    EXPECT_EQ(ItemString(GetSubMenu(GetMenu(Frame(window)), 0), 0), "&Open\tShift+Ctrl+F5");
    EXPECT_TRUE(Equals(MenuText(open), u"&Load"_s));
    UpdateWindowMenu(window);
    EXPECT_EQ(ItemString(GetSubMenu(GetMenu(Frame(window)), 0), 0), "&Load\tShift+Ctrl+F5");
}

TEST_F(Menus, ChoosingAnItemIsAMenuActionWithItsTag) {
    TGadget* file = CreateMenu(u"File"_s, 1, WindowMenu(window));
    TGadget* save = CreateMenu(u"Save"_s, 77, file);
    UpdateWindowMenu(window);
    UINT command = GetMenuItemID(GetSubMenu(GetMenu(Frame(window)), 0), 0);
    SendMessageW(Frame(window), WM_COMMAND, command, 0);
    std::vector<EventRecord> actions = EventsOfAny(EVENT_MENUACTION);
    ASSERT_EQ(actions.size(), 1u) << Describe(actions);
    EXPECT_EQ(actions[0].data, 77);
    EXPECT_TRUE(actions[0].From(save));
    FreeMenu(save);  // a freed menu's command is no one's
    SendMessageW(Frame(window), WM_COMMAND, command, 0);
    actions = EventsOfAny(EVENT_MENUACTION);
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].data, 0);
    EXPECT_TRUE(actions[0].From(NullObject()));
}

TEST_F(Menus, APopupIsChosenFromWithTheKeyboardAndCarriesItsExtra) {
    REQUIRE_REAL_INPUT();
    TGadget* popup = CreateMenu(u"popup"_s, 0, NullOf<TGadget>());  // on the desktop: a popup
    CreateMenu(u"Cut"_s, 21, popup);
    CreateMenu(u"Copy"_s, 22, popup);
    MenuKeys keys;
    {
        HWND owner = Frame(window);
        Helper helper(
            [&](const std::atomic<bool>& returned) { PressInMenu(returned, owner, "Down Down Return", &keys); });
        PopupWindowMenu(window, popup, u"row 3"_s);
    }
    ASSERT_TRUE(keys.shown);
    ASSERT_EQ(keys.pressed, 0);
    ASSERT_FALSE(keys.cancelled) << "the menu stayed open after the keys";
    std::vector<EventRecord> actions;
    PumpEventsUntil(actions, [](const EventRecord& e) { return e.id == EVENT_MENUACTION; });
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.back().id, EVENT_MENUACTION) << Describe(actions);
    EXPECT_EQ(actions.back().data, 22);
    EXPECT_TRUE(Equals(Downcast<String>(CurrentEvent()->extra.get()), u"row 3"_s));
}

TEST_F(Menus, ShortcutNamesFollowTheKeyTable) {
    EXPECT_EQ(MenuKeyName('7'), "7");
    EXPECT_EQ(MenuKeyName('Q'), "Q");
    EXPECT_EQ(MenuKeyName(VK_F12), "F12");
    EXPECT_EQ(MenuKeyName(VK_NUMPAD3), "Num 3");
    EXPECT_EQ(MenuKeyName(VK_PRIOR), "PageUp");
    EXPECT_EQ(MenuKeyName(226), "\\");
    EXPECT_EQ(MenuKeyName(VK_F13), "");  // no name: no shortcut text at all
    TGadget* file = CreateMenu(u"File"_s, 1, WindowMenu(window));
    CreateMenu(u"Odd"_s, 2, file, VK_F13, 2);
    UpdateWindowMenu(window);
    EXPECT_EQ(ItemString(GetSubMenu(GetMenu(Frame(window)), 0), 0), "Odd");
}

TEST_F(Menus, HotKeysPressedForRealReachTheirGadgetAndMenu) {
    REQUIRE_REAL_INPUT();
    TGadget* button = CreateButton(u"Go"_s, 10, 10, 80, 24, window, 0);
    SetGadgetHotKey(button, VK_F6, 0);
    TGadget* file = CreateMenu(u"File"_s, 1, WindowMenu(window));
    TGadget* open = CreateMenu(u"Open"_s, 10, file, 'O', 2);
    UpdateWindowMenu(window);
    TGadget* field = CreateTextField(10, 50, 100, 24, window, 0);
    Click(field);
    DrainEvents();
    ASSERT_EQ(Xdo("key F6 ctrl+o"), 0);
    std::vector<EventRecord> events = DrainEvents();
    int actions = 0, menuActions = 0;
    for (const EventRecord& e : events) {
        if (e.id == EVENT_GADGETACTION && e.From(button)) ++actions;
        if (e.id == EVENT_MENUACTION && e.From(open) && e.data == 10) ++menuActions;
    }
    EXPECT_EQ(actions, 1) << Describe(events);  // pressed once, released once: one event
    EXPECT_EQ(menuActions, 1) << Describe(events);
}

TEST_F(Menus, AHotKeyOfAWindowFiresOnlyWhileThatWindowIsInFront) {
    REQUIRE_REAL_INPUT();
    TGadget* button = CreateButton(u"Go"_s, 10, 10, 80, 24, window, 0);
    SetGadgetHotKey(button, VK_F7, 0);
    TGadget* other = CreateWindow(u"other"_s, 500, 100, 200, 100, NullOf<TGadget>(), WINDOW_TITLEBAR);
    Click(other);
    DrainEvents();
    PumpUntil([&] { return GetForegroundWindow() == Frame(other); });
    ASSERT_EQ(GetForegroundWindow(), Frame(other));
    DiscardQueuedEvents();
    ASSERT_EQ(Xdo("key F7"), 0);
    int actions = 0;
    for (const EventRecord& e : DrainEvents()) actions += e.id == EVENT_GADGETACTION && e.From(button) ? 1 : 0;
    EXPECT_EQ(actions, 0);
    FreeGadget(other);
}

TEST_F(Menus, EnterInATextFieldHandsTheFocusToItsParent) {
    REQUIRE_REAL_INPUT();
    TGadget* field = CreateTextField(10, 10, 200, 24, window, 0);
    Click(field);
    DrainEvents();
    ASSERT_EQ(GetFocus(), Frame(field));
    ASSERT_EQ(Xdo("key Return"), 0);
    PumpUntil([&] { return GetFocus() != Frame(field); });
    EXPECT_EQ(GetFocus(), GetParent(Frame(field)));
}
