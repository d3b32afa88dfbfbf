// The text area as a real rich edit control: text, positions and selections
// in characters and in lines agree with each other, formats read back from
// the control, the nested lock keeps events and the selection, and typing
// raises the change event.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "gui/win32/win32textarea.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "tests/gui/window_fixture.h"

#include <richedit.h>

namespace {

class TextAreas : public WindowFixture {
protected:
    void SetUp() override {
        OpenWindow(u"text"_s, 320, 200, WINDOW_TITLEBAR, true);
        area = CreateTextArea(10, 10, 300, 150, window, 0);
        SetTextAreaText(area, u"one\ntwo\nthree"_s);
        DrainEvents();
    }
    std::string Text(int pos, int length, int units) { return Utf8(TextAreaText(area, pos, length, units)); }
    // The control's own change (as a user's typing makes it): EM_REPLACESEL.
    void ChangeInside() { SendMessageW(Frame(area), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"!")); }
    TGadget* area = nullptr;
};

}  // namespace

TEST_F(TextAreas, TextPositionsAndSelectionsAgreeInCharactersAndLines) {
    EXPECT_EQ(TextAreaLen(area, TEXTAREA_CHARS), 13);
    EXPECT_EQ(TextAreaLen(area, TEXTAREA_LINES), 3);
    EXPECT_EQ(Text(0, -1, TEXTAREA_CHARS), "one\ntwo\nthree");
    EXPECT_EQ(Text(1, 1, TEXTAREA_LINES), "two\n");
    EXPECT_EQ(Text(10, 100, TEXTAREA_CHARS), "ree");  // clipped to the text
    EXPECT_EQ(Text(-5, 3, TEXTAREA_CHARS), "one");
    EXPECT_EQ(TextAreaChar(area, 1), 4);
    EXPECT_EQ(TextAreaChar(area, -1), 0);
    EXPECT_EQ(TextAreaChar(area, 99), 13);
    EXPECT_EQ(TextAreaLine(area, 5), 1);
    EXPECT_EQ(TextAreaLine(area, -1), 0);
    EXPECT_EQ(TextAreaLine(area, 99), 3);

    SelectTextAreaText(area, 2, 1, TEXTAREA_LINES);  // the whole third line
    EXPECT_EQ(TextAreaCursor(area, TEXTAREA_CHARS), 8);
    EXPECT_EQ(TextAreaCursor(area, TEXTAREA_LINES), 2);
    EXPECT_EQ(TextAreaSelLen(area, TEXTAREA_CHARS), 5);
    EXPECT_EQ(TextAreaSelLen(area, TEXTAREA_LINES), 1);
    SelectTextAreaText(area, 2, 5, TEXTAREA_CHARS);  // from "e" of one to "o" of two
    EXPECT_EQ(TextAreaSelLen(area, TEXTAREA_LINES), 2);

    SetTextAreaText(area, u"TWO"_s, 1, 1, TEXTAREA_LINES);
    EXPECT_EQ(Text(0, -1, TEXTAREA_CHARS), "one\nTWOthree");
    AddTextAreaText(area, u"\nfour"_s);
    EXPECT_EQ(TextAreaLen(area, TEXTAREA_LINES), 3);
    EXPECT_EQ(Utf8(GadgetText(area)), "one\nTWOthree\nfour");
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, area).empty());  // the program's changes raise nothing
}

TEST_F(TextAreas, ColourStyleAndTabStopsReadBackFromTheControl) {
    FormatTextAreaText(area, 255, 0, 0, 1 | 4, 0, 3, TEXTAREA_CHARS);
    HWND control = Frame(area);
    SendMessageW(control, EM_SETSEL, 0, 3);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(format.crTextColor, RGB(255, 0, 0));
    EXPECT_TRUE(format.dwEffects & CFE_BOLD);
    EXPECT_TRUE(format.dwEffects & CFE_UNDERLINE);
    EXPECT_FALSE(format.dwEffects & CFE_ITALIC);
    SendMessageW(control, EM_SETSEL, 4, 7);
    SendMessageW(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    EXPECT_FALSE(format.dwEffects & CFE_BOLD);

    SetTextAreaTabs(area, 4);
    PARAFORMAT para{};
    para.cbSize = sizeof para;
    SendMessageW(control, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&para));
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(para.cTabCount, MAX_TAB_STOPS);
    EXPECT_EQ(para.rgxTabs[2], 2 * (11520 / dpi) * 4);
}

TEST_F(TextAreas, NestedLocksHoldBackEventsAndGiveTheSelectionBack) {
    SelectTextAreaText(area, 2, 3, TEXTAREA_CHARS);
    LockTextArea(area);
    LockTextArea(area);
    SelectTextAreaText(area, 0, 0, TEXTAREA_CHARS);
    ChangeInside();
    UnlockTextArea(area);
    ChangeInside();
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, area).empty());
    UnlockTextArea(area);
    EXPECT_EQ(TextAreaCursor(area, TEXTAREA_CHARS), 2);
    EXPECT_EQ(TextAreaSelLen(area, TEXTAREA_CHARS), 3);
    ChangeInside();
    EXPECT_EQ(EventsOf(EVENT_GADGETACTION, area).size(), 1u);
}

TEST_F(TextAreas, TypingRaisesTheChangeEvent) {
    REQUIRE_REAL_INPUT();
    Click(area);
    ASSERT_EQ(Xdo("key ctrl+End type xy"), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord&) { return Text(0, -1, TEXTAREA_CHARS) == "one\ntwo\nthreexy"; }))
        << Text(0, -1, TEXTAREA_CHARS) << Describe(seen);
    int changes = static_cast<int>(EventsOf(EVENT_GADGETACTION, area).size());
    for (const EventRecord& e : seen) changes += e.id == EVENT_GADGETACTION && e.From(area);
    EXPECT_GE(changes, 1) << Describe(seen);
}
