// Tabbers, tool bars and tree views as real common controls: the control
// mirrors the gadget's tabs, buttons and nodes, and a user's clicks and keys
// come back as the gadget's events.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/pixmap.h"
#include "gui/gui.h"
#include "gui/win32guidriver.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "tests/gui/window_fixture.h"

#include <commctrl.h>

namespace {

class Tabs : public WindowFixture {
protected:
    void SetUp() override { OpenWindow(u"tabs"_s, 360, 260, WINDOW_TITLEBAR, false); }

    // Clicks a point of a control, in its client coordinates, with the real pointer.
    static void ClickAt(HWND control, int x, int y) {
        POINT at{x, y};
        ClientToScreen(control, &at);
        ASSERT_EQ(Xdo("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1"), 0);
    }
    static int ToolCount(HWND tooltips) { return static_cast<int>(SendMessageW(tooltips, TTM_GETTOOLCOUNT, 0, 0)); }
};

}  // namespace

TEST_F(Tabs, ATabberHasAPlaceholderUntilItsFirstTabAndReportsTheTabChosen) {
    TGadget* tabber = CreateTabber(10, 10, 300, 200, window, 0);
    HWND control = Frame(tabber);
    EXPECT_EQ(SendMessageW(control, TCM_GETITEMCOUNT, 0, 0), 1);  // the placeholder
    EXPECT_EQ(SelectedGadgetItem(tabber), -1);
    AddGadgetItem(tabber, u"One"_s, 0, -1, u"the first tab"_s);
    AddGadgetItem(tabber, u"Two"_s, 0, -1, u"the second tab"_s);
    AddGadgetItem(tabber, u"Three"_s);
    EXPECT_EQ(SendMessageW(control, TCM_GETITEMCOUNT, 0, 0), 3);
    HWND tips = reinterpret_cast<HWND>(SendMessageW(control, TCM_GETTOOLTIPS, 0, 0));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(ToolCount(tips), 2);  // tabs with a tip only
    EXPECT_EQ(SendMessageW(tips, TTM_GETMAXTIPWIDTH, 0, 0), 300);

    // Kids live in the client area below the tabs and follow its size.
    EXPECT_GT(ClientHeight(tabber), 100);
    EXPECT_LT(ClientHeight(tabber), 200);
    TGadget* inside = CreatePanel(0, 0, ClientWidth(tabber), ClientHeight(tabber), tabber, 0, u""_s);
    SetGadgetLayout(inside, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED, EDGE_ALIGNED);
    SetGadgetShape(tabber, 10, 10, 320, 220);
    EXPECT_EQ(GadgetWidth(inside), ClientWidth(tabber));
    EXPECT_EQ(GetParent(Frame(inside)), reinterpret_cast<HWND>(QueryGadget(tabber, QUERY_HWND_CLIENT)));

    REQUIRE_REAL_INPUT();
    RECT third{};
    SendMessageW(control, TCM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&third));
    ClickAt(control, (third.left + third.right) / 2, (third.top + third.bottom) / 2);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) { return e.id == EVENT_GADGETACTION && e.From(tabber); }))
        << Describe(seen);
    EXPECT_EQ(seen.back().data, 2);
    EXPECT_EQ(SelectedGadgetItem(tabber), 2);

    // Removing every tab brings the placeholder back.
    ClearGadgetItems(tabber);
    EXPECT_EQ(SendMessageW(control, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SelectedGadgetItem(tabber), -1);
    EXPECT_EQ(ToolCount(tips), 0);
}

TEST_F(Tabs, AToolBarHasAButtonPerIconASeparatorForABlankOneAndKeepsChecks) {
    TPixmap* strip = CreatePixmap(48, 16, PF_RGB888);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 48; ++x) strip->WritePixel(x, y, x < 16 ? 0xFF0000 : x < 32 ? 0xFFFFFF : 0x0000FF);
    }
    TGadget* tools = CreateToolBar(strip, 0, 0, 0, 0, window, 0);
    HWND control = Frame(tools);
    ASSERT_EQ(SendMessageW(control, TB_BUTTONCOUNT, 0, 0), 3);
    TBBUTTON middle{};
    SendMessageW(control, TB_GETBUTTON, 1, reinterpret_cast<LPARAM>(&middle));
    EXPECT_TRUE(middle.fsStyle & BTNS_SEP);  // the white icon
    RECT r;
    GetWindowRect(control, &r);
    EXPECT_EQ(GadgetHeight(tools), r.bottom - r.top);
    EXPECT_GT(GadgetHeight(tools), 16);
    EXPECT_EQ(GadgetWidth(tools), 360);  // as wide as the window's client area

    Array* tips = NewArray("$", 3);
    tips->SetObject(0, u"Red"_s);
    tips->SetObject(1, u"Blue"_s);
    SetToolBarTips(tools, tips);
    HWND tooltips = reinterpret_cast<HWND>(SendMessageW(control, TB_GETTOOLTIPS, 0, 0));
    EXPECT_EQ(ToolCount(tooltips), 2);

    SelectGadgetItem(tools, 2);
    EXPECT_TRUE(SendMessageW(control, TB_GETSTATE, 3, 0) & TBSTATE_CHECKED);
    EXPECT_EQ(SelectedGadgetItem(tools), 2);

    REQUIRE_REAL_INPUT();
    RECT first{};
    SendMessageW(control, TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    ClickAt(control, (first.left + first.right) / 2, (first.top + first.bottom) / 2);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) { return e.id == EVENT_GADGETACTION && e.From(tools); }))
        << Describe(seen);
    EXPECT_EQ(seen.back().data, 0);
    EXPECT_EQ(SelectedGadgetItem(tools), 2);  // the check stays
}

TEST_F(Tabs, TreeViewNodesAreGadgetsAndTheirEventsCarryThem) {
    TGadget* tree = CreateTreeView(10, 10, 300, 200, window, 0);
    HWND control = Frame(tree);
    TGadget* fruit = AddTreeViewNode(u"Fruit"_s, TreeViewRoot(tree));
    TGadget* veg = AddTreeViewNode(u"Vegetables"_s, tree);
    TGadget* apple = AddTreeViewNode(u"Apple"_s, fruit);
    TGadget* banana = InsertTreeViewNode(0, u"Banana"_s, fruit);
    EXPECT_EQ(CountTreeViewNodes(tree), 2);
    EXPECT_EQ(CountTreeViewNodes(fruit), 2);
    auto itemText = [&](TGadget* node) {
        char text[32] = "";
        TVITEMA item{};
        item.mask = TVIF_TEXT;
        item.hItem = reinterpret_cast<HTREEITEM>(QueryGadget(node, QUERY_HWND));
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(control, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return std::string(text);
    };
    auto first = reinterpret_cast<HTREEITEM>(SendMessageW(
        control, TVM_GETNEXTITEM, TVGN_CHILD, static_cast<LPARAM>(QueryGadget(fruit, QUERY_HWND))));
    EXPECT_EQ(first, reinterpret_cast<HTREEITEM>(QueryGadget(banana, QUERY_HWND)));  // inserted first
    ModifyTreeViewNode(apple, u"Green apple"_s, -1);
    EXPECT_EQ(itemText(apple), "Green apple");
    EXPECT_TRUE(Equals(GadgetText(apple), u"Green apple"_s));

    ExpandTreeViewNode(fruit);
    SelectTreeViewNode(apple);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) { return e.id == EVENT_GADGETSELECT && e.From(tree); }))
        << Describe(seen);
    EXPECT_TRUE(seen.back().ExtraIs(apple));
    EXPECT_EQ(SelectedTreeViewNode(tree), apple);
    bool opened = false;
    for (const EventRecord& e : seen) opened = opened || (e.id == EVENT_GADGETOPEN && e.ExtraIs(fruit));
    EXPECT_TRUE(opened) << Describe(seen);

    FreeTreeViewNode(fruit);  // with its two kids
    EXPECT_EQ(CountTreeViewNodes(tree), 1);
    EXPECT_EQ(SendMessageW(control, TVM_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(QueryGadget(apple, QUERY_HWND), 0u);

    REQUIRE_REAL_INPUT();
    RECT vegRect{};  // TVM_GETITEMRECT takes the item in the rectangle's first bytes
    HTREEITEM vegItem = reinterpret_cast<HTREEITEM>(QueryGadget(veg, QUERY_HWND));
    std::memcpy(&vegRect, &vegItem, sizeof vegItem);
    ASSERT_TRUE(SendMessageW(control, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&vegRect)));
    POINT at{(vegRect.left + vegRect.right) / 2, (vegRect.top + vegRect.bottom) / 2};
    ClientToScreen(control, &at);
    ASSERT_EQ(Xdo("mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 3"), 0);
    seen.clear();
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) { return e.id == EVENT_GADGETMENU && e.From(tree); }))
        << Describe(seen);
    EXPECT_TRUE(seen.back().ExtraIs(veg));
    EXPECT_EQ(seen.back().x, at.x);
}
