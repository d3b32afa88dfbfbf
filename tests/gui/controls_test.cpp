// Buttons, labels and text fields as real Win32 controls on the Xvfb
// display, clicked and typed into with real input (xdotool): the events
// they raise, the key filter, separators and password fields.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "gui/win32guidriver.h"
#include "runtime/exception.h"
#include "system/event.h"
#include "system/system.h"
#include "tests/gui/window_fixture.h"

namespace {

class Controls : public WindowFixture {
protected:
    void SetUp() override { OpenWindow(u"controls"_s, 300, 200, WINDOW_TITLEBAR, true); }
};

int keysSeen = 0;
int DropTheLetterX(TEvent* event, Object*) {
    ++keysSeen;
    return event->id == EVENT_KEYCHAR && event->data == 'x' ? 0 : 1;
}

}  // namespace

TEST_F(Controls, PushButtonClickIsOneActionWithDataZero) {
    REQUIRE_REAL_INPUT();
    TGadget* button = CreateButton(u"Press"_s, 10, 10, 100, 30, window, 0);
    Click(button);
    std::vector<EventRecord> actions = EventsOf(EVENT_GADGETACTION, button);
    ASSERT_EQ(actions.size(), 1u) << Describe(actions);
    EXPECT_EQ(actions[0].data, 0);
    char caption[32];
    GetWindowTextA(Frame(button), caption, sizeof caption);
    EXPECT_STREQ(caption, "Press");
}

TEST_F(Controls, CheckBoxClickReportsTheNewStateAndStateFollows) {
    REQUIRE_REAL_INPUT();
    TGadget* box = CreateButton(u"Check"_s, 10, 50, 100, 24, window, 2);
    EXPECT_EQ(ButtonState(box), 0);
    Click(box);
    std::vector<EventRecord> actions = EventsOf(EVENT_GADGETACTION, box);
    ASSERT_EQ(actions.size(), 1u) << Describe(actions);
    EXPECT_EQ(actions[0].data, 1);
    EXPECT_EQ(ButtonState(box), 1);
    SetButtonState(box, 0);
    EXPECT_EQ(ButtonState(box), 0);
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, box).empty());  // the program's own change
}

TEST_F(Controls, ButtonStylesPickTheControl) {
    auto windowStyle = [](TGadget* b) { return GetWindowLongW(Frame(b), GWL_STYLE) & 0xF; };
    EXPECT_EQ(windowStyle(CreateButton(u"a"_s, 0, 0, 9, 9, window, 0)), BS_PUSHBUTTON);
    EXPECT_EQ(windowStyle(CreateButton(u"b"_s, 0, 0, 9, 9, window, 3)), BS_AUTORADIOBUTTON);
    EXPECT_EQ(windowStyle(CreateButton(u"c"_s, 0, 0, 9, 9, window, 8)), BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetDlgCtrlID(Frame(CreateButton(u"OK"_s, 0, 0, 9, 9, window, 4))), IDOK);
    EXPECT_EQ(GetDlgCtrlID(Frame(CreateButton(u"Cancel"_s, 0, 0, 9, 9, window, 5))), IDCANCEL);
}

TEST_F(Controls, TypingIsAnActionSettingTheTextIsNot) {
    REQUIRE_REAL_INPUT();
    TGadget* field = CreateTextField(10, 10, 200, 24, window, 0);
    SetGadgetText(field, u"set"_s);
    EXPECT_TRUE(EventsOf(EVENT_GADGETACTION, field).empty());
    EXPECT_TRUE(Equals(GadgetText(field), u"set"_s));
    Click(field);
    DrainEvents();
    ASSERT_EQ(Xdo("key End type q"), 0);
    std::vector<EventRecord> actions = EventsOf(EVENT_GADGETACTION, field);
    EXPECT_EQ(actions.size(), 1u) << Describe(actions);
    EXPECT_TRUE(Equals(TextFieldText(field), u"setq"_s));
}

TEST_F(Controls, KeyFilterKeepsAKeyOutOfTheField) {
    REQUIRE_REAL_INPUT();
    TGadget* field = CreateTextField(10, 10, 200, 24, window, 0);
    SetGadgetFilter(field, DropTheLetterX, NullObject());
    keysSeen = 0;
    Click(field);
    ASSERT_EQ(Xdo("type axb"), 0);
    DrainEvents();
    EXPECT_TRUE(Equals(GadgetText(field), u"ab"_s));
    EXPECT_GE(keysSeen, 6);  // three key presses and three characters were asked about
}

TEST_F(Controls, LosingTheFocusIsAnEvent) {
    TGadget* first = CreateTextField(10, 10, 200, 24, window, 0);
    TGadget* second = CreateTextField(10, 40, 200, 24, window, 0);
    SetFocus(Frame(first));
    DrainEvents();
    SetFocus(Frame(second));
    EXPECT_EQ(EventsOf(EVENT_GADGETLOSTFOCUS, first).size(), 1u);
}

TEST_F(Controls, PasswordFieldsHideTheTextButReturnIt) {
    TGadget* field = CreateTextField(10, 10, 200, 24, window, TEXTFIELD_PASSWORD);
    EXPECT_NE(SendMessageW(Frame(field), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(SendMessageW(Frame(CreateTextField(10, 40, 200, 24, window, 2)), EM_GETPASSWORDCHAR, 0, 0), 0);
    SetGadgetText(field, u"secret"_s);
    EXPECT_TRUE(Equals(GadgetText(field), u"secret"_s));
}

TEST_F(Controls, SeparatorsAreFourPixelsHighAndLabelsAlign) {
    TGadget* separator = CreateLabel(u""_s, 10, 100, 200, 30, window, 3);
    EXPECT_EQ(GadgetHeight(separator), 4);
    SetGadgetShape(separator, 10, 100, 200, 50);
    EXPECT_EQ(GadgetHeight(separator), 4);
    TGadget* label = CreateLabel(u"Right"_s, 10, 10, 100, 20, window, 8 | 1);
    LONG style = GetWindowLongW(Frame(label), GWL_STYLE);
    EXPECT_EQ(style & SS_TYPEMASK, SS_RIGHT);
    EXPECT_TRUE(style & WS_BORDER);
    char text[16];
    GetWindowTextA(Frame(label), text, sizeof text);
    EXPECT_STREQ(text, "Right");  // the placeholder title is gone
    EXPECT_EQ(GadgetHeight(label), 20);
}
