// The polled-input tables as the hook keeps them, fed with emitted events.
#include <gtest/gtest.h>

#include "system/event.h"
#include "system/polledinput.h"
#include "tests/system/system_test_support.h"

namespace {

void Emit(int id, int data, Object* source = NullObject(), int x = 0, int y = 0) {
    EmitEvent(CreateEvent(id, source, data, 0, x, y));
}

class PolledInput : public ::testing::Test {
protected:
    void SetUp() override {
        DiscardQueuedEvents();
        EnablePolledInput();
    }
    void TearDown() override {
        DisablePolledInput();
        DiscardQueuedEvents();
    }
};

TEST_F(PolledInput, PressesCountOnceUntilReleased) {
    Emit(EVENT_KEYDOWN, 'Q');
    Emit(EVENT_KEYDOWN, 'Q');  // auto-repeat arrives as a second down
    EXPECT_EQ(KeyDown('Q'), 1);
    EXPECT_EQ(KeyHit('Q'), 1);
    EXPECT_EQ(KeyHit('Q'), 0);
    Emit(EVENT_KEYUP, 'Q');
    EXPECT_EQ(KeyDown('Q'), 0);
    Emit(EVENT_KEYDOWN, 'Q');
    Emit(EVENT_KEYUP, 'Q');
    Emit(EVENT_KEYDOWN, 'Q');
    EXPECT_EQ(KeyHit('Q'), 2);
    Emit(EVENT_KEYREPEAT, 'W');  // repeats alone are no presses
    EXPECT_EQ(KeyHit('W'), 0);
}

TEST_F(PolledInput, CodesOutsideTheTablesChangeNothing) {
    Emit(EVENT_KEYDOWN, 300);   // would land on a hit counter
    Emit(EVENT_KEYDOWN, -1);
    Emit(EVENT_KEYDOWN, 0);
    Emit(EVENT_MOUSEDOWN, 4);   // would land past the button table
    Emit(EVENT_MOUSEDOWN, 0);
    Emit(EVENT_MOUSEDOWN, -7);
    for (int key = 0; key < 256; ++key) {
        ASSERT_EQ(KeyHit(key), 0) << key;
        ASSERT_EQ(KeyDown(key), 0) << key;
    }
    for (int button = 0; button <= 4; ++button) EXPECT_EQ(MouseHit(button), 0) << button;
    EXPECT_EQ(KeyDown(300), 0);
    EXPECT_EQ(MouseDown(99), 0);
}

TEST_F(PolledInput, ButtonsWheelAndPosition) {
    Emit(EVENT_MOUSEMOVE, 0, NullObject(), 12, 34);
    Emit(EVENT_MOUSEDOWN, 1);
    Emit(EVENT_MOUSEDOWN, 3);
    Emit(EVENT_MOUSEWHEEL, 2);
    Emit(EVENT_MOUSEWHEEL, -5);
    EXPECT_EQ(MouseX(), 12);
    EXPECT_EQ(MouseY(), 34);
    EXPECT_EQ(MouseZ(), -3);
    EXPECT_EQ(MouseDown(1), 1);
    EXPECT_EQ(MouseDown(2), 0);
    EXPECT_EQ(MouseHit(3), 1);
    FlushMouse();
    EXPECT_EQ(MouseDown(1), 0);
    EXPECT_EQ(MouseHit(1), 0);
    EXPECT_EQ(MouseZ(), 0);
    EXPECT_EQ(MouseX(), 12);  // the position stays
    EXPECT_EQ(MouseY(), 34);
}

TEST_F(PolledInput, TheCharacterQueueHolds256AndDropsTheRest) {
    for (int i = 0; i < 300; ++i) Emit(EVENT_KEYCHAR, 1000 + i);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(GetChar(), 1000 + i) << i;
    EXPECT_EQ(GetChar(), 0);
    Emit(EVENT_KEYCHAR, 'z');
    EXPECT_EQ(GetChar(), 'z');
    Emit(EVENT_KEYCHAR, 'y');
    FlushKeys();
    EXPECT_EQ(GetChar(), 0);
}

TEST_F(PolledInput, SuspendAndResumeFlushAndTerminateIsReadOnce) {
    Emit(EVENT_KEYDOWN, 'E');
    Emit(EVENT_MOUSEDOWN, 2);
    Emit(EVENT_APPSUSPEND, 0);
    EXPECT_EQ(AppSuspended(), 1);
    EXPECT_EQ(KeyDown('E'), 0);
    EXPECT_EQ(MouseHit(2), 0);
    Emit(EVENT_KEYDOWN, 'F');
    Emit(EVENT_APPRESUME, 0);
    EXPECT_EQ(AppSuspended(), 0);
    EXPECT_EQ(KeyHit('F'), 0);
    EXPECT_EQ(AppTerminate(), 0);
    Emit(EVENT_APPTERMINATE, 0);
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);
}

TEST_F(PolledInput, EventsStillReachTheQueueAfterTheTables) {
    static int seenState;
    seenState = -1;
    // Between the polled-input hook (0) and the queue hook (-10000).
    auto between = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_KEYDOWN) seenState = KeyDown(event->data);
        return data;
    };
    AddHook(EmitEventHook, between, NullObject(), -1);
    Emit(EVENT_KEYDOWN, 'G');
    RemoveHook(EmitEventHook, between, NullObject());
    EXPECT_EQ(seenState, 1);
    ASSERT_EQ(PollEvent(), EVENT_KEYDOWN);
    EXPECT_EQ(EventData(), 'G');
}

TEST(PolledInputSource, OnlyTheChosenSourceCounts) {
    DiscardQueuedEvents();
    Ref<Object> chosen = new TWindowSource;
    Ref<Object> other = new TWindowSource;
    EnablePolledInput(chosen);
    EnablePolledInput(other);  // already enabled: the first source stays
    EXPECT_EQ(PolledInputSource(), chosen.get());
    Emit(EVENT_KEYDOWN, 'H', other);
    Emit(EVENT_KEYDOWN, 'I', NullObject());
    Emit(EVENT_KEYDOWN, 'J', chosen);
    EXPECT_EQ(KeyHit('H'), 0);
    EXPECT_EQ(KeyHit('I'), 0);
    EXPECT_EQ(KeyHit('J'), 1);
    DisablePolledInput();
    EXPECT_FALSE(PolledInputEnabled());
    EXPECT_TRUE(IsNull(PolledInputSource()));
    Emit(EVENT_KEYDOWN, 'K', chosen);
    EXPECT_EQ(KeyHit('K'), 0);  // the hook is gone
    DisablePolledInput();       // twice is harmless
    EnablePolledInput();
    Emit(EVENT_KEYDOWN, 'L', other);
    EXPECT_EQ(KeyHit('L'), 1);  // the null source takes every source
    DisablePolledInput();
    DiscardQueuedEvents();
}

}  // namespace
