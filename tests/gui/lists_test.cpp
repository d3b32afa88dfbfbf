// List boxes, combo boxes, sliders and progress bars as real common
// controls: the control mirrors the gadget's items, selections are reported
// once with the item's extra, and values go both ways.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "gui/win32/win32listbox.h"
#include "gui/win32guidriver.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "tests/gui/window_fixture.h"

#include <commctrl.h>

namespace {

class Lists : public WindowFixture {
protected:
    void SetUp() override { OpenWindow(u"lists"_s, 320, 240, WINDOW_TITLEBAR, false); }

    static std::string ListText(HWND list, int index) {
        char text[64] = "";
        LVITEMA item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item));
        return text;
    }
};

}  // namespace

TEST_F(Lists, AListBoxMirrorsTheItemsAndReportsANewSelectionOnce) {
    TGadget* list = CreateListBox(10, 10, 200, 150, window, 0);
    AddGadgetItem(list, u"alpha"_s);
    AddGadgetItem(list, u"beta"_s, 0, -1, u""_s, u"the beta item"_s);
    InsertGadgetItem(list, 0, u"first"_s);
    HWND control = Frame(list);
    ASSERT_EQ(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(ListText(control, 0), "first");
    EXPECT_EQ(ListText(control, 2), "beta");
    ModifyGadgetItem(list, 1, u"ALPHA"_s);
    EXPECT_EQ(ListText(control, 1), "ALPHA");

    SelectGadgetItem(list, 1);  // the program's own selection is not reported
    EXPECT_EQ(SelectedGadgetItem(list), 1);
    EXPECT_TRUE(EventsOf(EVENT_GADGETSELECT, list).empty());

    // The user's selection, as the control reports it.
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(control, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));
    std::vector<EventRecord> selects = EventsOf(EVENT_GADGETSELECT, list);
    ASSERT_EQ(selects.size(), 1u) << Describe(selects);
    EXPECT_EQ(selects[0].data, 2);
    EXPECT_EQ(SelectedGadgetItem(list), 2);
    SendMessageA(control, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&item));  // already selected
    EXPECT_TRUE(EventsOf(EVENT_GADGETSELECT, list).empty());

    RemoveGadgetItem(list, 0);
    EXPECT_EQ(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0), 2);
    ClearGadgetItems(list);
    EXPECT_EQ(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(Lists, ChoosingInAComboBoxIsAnActionCarryingTheItemsExtra) {
    REQUIRE_REAL_INPUT();
    TGadget* combo = CreateComboBox(10, 10, 150, 24, window, 0);
    AddGadgetItem(combo, u"red"_s, 0, -1, u""_s, u"#f00"_s);
    AddGadgetItem(combo, u"green"_s, 0, -1, u""_s, u"#0f0"_s);
    AddGadgetItem(combo, u"blue"_s, GADGETITEM_DEFAULT, -1, u""_s, u"#00f"_s);
    EXPECT_EQ(SelectedGadgetItem(combo), 2);
    EXPECT_TRUE(Equals(GadgetText(combo), u"blue"_s));
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, combo).empty());

    // The user picks the first entry from the keyboard.
    RECT r;
    GetWindowRect(Frame(combo), &r);
    ASSERT_EQ(Xdo("mousemove " + std::to_string(r.left + 20) + " " + std::to_string(r.top + 10) + " click 1"), 0);
    DrainEvents();
    ASSERT_EQ(Xdo("key Home Return"), 0);
    std::vector<EventRecord> events;
    PumpEventsUntil(events, [](const EventRecord& e) { return e.id == EVENT_GADGETACTION; });
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().id, EVENT_GADGETACTION) << Describe(events);
    EXPECT_EQ(events.back().data, 0);
    EXPECT_TRUE(Equals(Downcast<String>(CurrentEvent()->extra.get()), u"#f00"_s));
    EXPECT_TRUE(Equals(GadgetText(combo), u"red"_s));
}

TEST_F(Lists, SlidersOfEveryKindKeepTheirValue) {
    TGadget* bar = CreateSlider(10, 10, 200, 16, window, 1);       // horizontal scroll bar
    TGadget* track = CreateSlider(10, 40, 30, 150, window, 4);     // vertical trackbar
    TGadget* updown = CreateSlider(60, 40, 20, 30, window, 8);     // vertical up-down
    EXPECT_EQ(SliderValue(bar), 0);                                // made with range 1..10 and value 0
    SetSliderRange(bar, 10, 100);
    SetSliderValue(bar, 42);
    EXPECT_EQ(SliderValue(bar), 42);
    SetSliderRange(track, 0, 10);
    SetSliderValue(track, 10);
    EXPECT_EQ(SendMessageW(Frame(track), TBM_GETPOS, 0, 0), 0);  // the top of a vertical trackbar
    EXPECT_EQ(SliderValue(track), 10);
    SetSliderRange(updown, 0, 5);
    SetSliderValue(updown, 3);
    EXPECT_EQ(SliderValue(updown), 3);

    // A page down on the scroll bar moves it by the page and reports the value.
    SendMessageW(Frame(window), WM_HSCROLL, SB_PAGEDOWN, reinterpret_cast<LPARAM>(Frame(bar)));
    std::vector<EventRecord> actions = EventsOf(EVENT_GADGETACTION, bar);
    ASSERT_EQ(actions.size(), 1u) << Describe(actions);
    EXPECT_EQ(actions[0].data, 52);
    SendMessageW(Frame(window), WM_HSCROLL, SB_ENDSCROLL, reinterpret_cast<LPARAM>(Frame(bar)));
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, bar).empty());  // other codes raise nothing
}

TEST_F(Lists, AProgressBarShowsHundredthsRounded) {
    TGadget* progress = CreateProgBar(10, 10, 200, 20, window, 0);
    SetProgBarValue(progress, 0.5f);
    EXPECT_EQ(SendMessageW(Frame(progress), PBM_GETPOS, 0, 0), 50);
    SetProgBarValue(progress, 0.004f);
    EXPECT_EQ(SendMessageW(Frame(progress), PBM_GETPOS, 0, 0), 0);
    SetProgBarValue(progress, 0.996f);
    EXPECT_EQ(SendMessageW(Frame(progress), PBM_GETPOS, 0, 0), 100);
}

// Each tip is a tool over its item, and the tools follow the items when the
// list scrolls (the list moves them whenever it draws).
TEST_F(Lists, ListBoxTipsAreToolsOverTheirItemsThatFollowScrolling) {
    TGadget* list = CreateListBox(10, 10, 200, 100, window, 0);
    for (int i = 0; i < 30; ++i) {
        AddGadgetItem(list, String::FromInt(i), 0, -1, i % 3 == 0 ? Concat(u"tip "_s, String::FromInt(i)) : u""_s);
    }
    HWND control = Frame(list);
    HWND ours = static_cast<Win32ListBox*>(Downcast<TWin32Gadget>(list)->native)->tooltips.window;
    ASSERT_NE(ours, nullptr);
    EXPECT_EQ(SendMessageW(ours, TTM_GETTOOLCOUNT, 0, 0), 10);
    EXPECT_EQ(SendMessageW(ours, TTM_GETMAXTIPWIDTH, 0, 0), 300);
    auto toolsOverItems = [&] {
        int right = 0;
        for (int t = 0; t < SendMessageW(ours, TTM_GETTOOLCOUNT, 0, 0); ++t) {
            TTTOOLINFOA tool{};
            tool.cbSize = sizeof tool;
            SendMessageA(ours, TTM_ENUMTOOLSA, t, reinterpret_cast<LPARAM>(&tool));
            LVFINDINFOA find{};
            find.flags = LVFI_PARAM;
            find.lParam = static_cast<LPARAM>(tool.uId);
            int index = static_cast<int>(SendMessageA(control, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
            RECT item{};
            item.left = LVIR_BOUNDS;
            SendMessageW(control, LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
            right += index >= 0 && EqualRect(&item, &tool.rect);
        }
        return right;
    };
    EXPECT_EQ(toolsOverItems(), 10);
    SendMessageW(control, LVM_SCROLL, 0, 120);
    RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(toolsOverItems(), 10);
    RemoveGadgetItem(list, 3);
    EXPECT_EQ(SendMessageW(ours, TTM_GETTOOLCOUNT, 0, 0), 9);
    ClearGadgetItems(list);
    EXPECT_EQ(SendMessageW(ours, TTM_GETTOOLCOUNT, 0, 0), 0);
}
