// Message translation on a real window of the X display: keys, buttons,
// moves, the wheel, enter and leave, the cursor rule, driven by xdotool
// (and SendInput where it is more precise).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "runtime/win32.h"
#include "system/event.h"
#include "system/osevent.h"
#include "system/polledinput.h"
#include "system/system.h"
#include "tests/system/system_test_support.h"

namespace {

constexpr int kLeft = 100, kTop = 100, kWidth = 400, kHeight = 300;  // the window, caption included

std::string Move(const TestWindow& window, int x, int y) {
    POINT p = window.ScreenPoint(x, y);
    return "mousemove " + std::to_string(p.x) + " " + std::to_string(p.y);
}

int Count(const std::vector<EventRecord>& events, int id, int data) {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [&](const EventRecord& e) { return e.id == id && e.data == data; }));
}

// Every key and button event with its id and data, in order.
std::vector<std::pair<int, int>> KeyTrail(const std::vector<EventRecord>& events) {
    std::vector<std::pair<int, int>> trail;
    for (const EventRecord& e : events) {
        if (e.id == EVENT_KEYDOWN || e.id == EVENT_KEYUP) trail.emplace_back(e.id, e.data);
    }
    return trail;
}

class Translation : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_REAL_INPUT();
        source = new TWindowSource;
        window = new TestWindow(kLeft, kTop, kWidth, kHeight, source);
        // Park the pointer off the window and wait until no window of ours
        // is tracked any more.
        Xdo("mousemove 900 700");
        window->Focus();
        PumpUntil([] { return TrackedWindow() == nullptr; });
        DiscardQueuedEvents();
        EnablePolledInput();
    }
    void TearDown() override {
        DisablePolledInput();
        ShowMouse();
        delete window;
        window = nullptr;
        source = NullObject();
    }
    // Pumps until an event with that id (and data, unless -1) from our window came.
    bool Await(std::vector<EventRecord>& seen, int id, int data = -1, int timeoutMs = kWaitLimitMs) {
        Object* from = source.get();
        return PumpEventsUntil(
            seen, [&](const EventRecord& e) { return e.id == id && (data < 0 || e.data == data) && e.From(from); },
            timeoutMs);
    }

    Ref<Object> source;
    TestWindow* window = nullptr;
};

TEST_F(Translation, HeldKeyGivesOneDownThenRepeatsAndOneHit) {
    ASSERT_EQ(Xdo("keydown a"), 0);
    std::vector<EventRecord> seen;
    bool repeated = Await(seen, EVENT_KEYREPEAT, 'A');
    ASSERT_EQ(Xdo("keyup a"), 0);  // released even when no repeat came
    ASSERT_TRUE(repeated) << Describe(seen);
    ASSERT_TRUE(Await(seen, EVENT_KEYUP, 'A')) << Describe(seen);
    EXPECT_EQ(Count(seen, EVENT_KEYDOWN, 'A'), 1) << Describe(seen);
    EXPECT_GE(Count(seen, EVENT_KEYREPEAT, 'A'), 1) << Describe(seen);
    EXPECT_EQ(seen.front().id, EVENT_KEYDOWN);
    EXPECT_EQ(KeyHit('A'), 1);
    EXPECT_EQ(KeyHit('A'), 0);
    EXPECT_EQ(KeyDown('A'), 0);
}

// xdotool may press a left modifier along with a right one (it adds the
// modifiers it thinks the keysym needs), so each key is checked for its own
// code and for the absence of the generic codes.
TEST_F(Translation, RealModifierKeysGiveTheirSidedCodes) {
    const struct {
        const char* keysym;
        int code;
    } keys[] = {{"Shift_L", 160}, {"Shift_R", 161}, {"Control_L", 162}, {"Control_R", 163}, {"Alt_L", 164}};
    for (const auto& key : keys) {
        ASSERT_EQ(Xdo(std::string("key ") + key.keysym), 0);
        std::vector<EventRecord> seen;
        ASSERT_TRUE(Await(seen, EVENT_KEYUP, key.code)) << key.keysym << "\n" << Describe(seen);
        EXPECT_EQ(Count(seen, EVENT_KEYDOWN, key.code), 1) << key.keysym << "\n" << Describe(seen);
        for (int generic : {VK_SHIFT, VK_CONTROL, VK_MENU}) {
            EXPECT_EQ(Count(seen, EVENT_KEYDOWN, generic) + Count(seen, EVENT_KEYUP, generic), 0)
                << key.keysym << "\n" << Describe(seen);
        }
        DrainEvents(30);
    }
}

// The generic virtual key with the key's own scan code, as a keyboard
// driver reports it.
void SendKey(WORD vk, WORD scan, bool extended, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = scan;
    input.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    SendInput(1, &input, sizeof input);
}

TEST_F(Translation, ScanCodesOfAllSixModifiersGiveExactlyTheirCodes) {
    const struct {
        WORD vk;
        WORD scan;
        bool extended;
    } keys[] = {{VK_SHIFT, 0x2a, false},   {VK_SHIFT, 0x36, false}, {VK_CONTROL, 0x1d, false},
                {VK_CONTROL, 0x1d, true}, {VK_MENU, 0x38, false},  {VK_MENU, 0x38, true}};
    for (const auto& key : keys) {
        SendKey(key.vk, key.scan, key.extended, false);
        SendKey(key.vk, key.scan, key.extended, true);
    }
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_KEYUP, VK_RMENU)) << Describe(seen);
    std::vector<std::pair<int, int>> expected;
    for (int code = 160; code <= 165; ++code) {
        expected.emplace_back(EVENT_KEYDOWN, code);
        expected.emplace_back(EVENT_KEYUP, code);
    }
    EXPECT_EQ(KeyTrail(seen), expected) << Describe(seen);
    std::vector<int> downMods;
    for (const EventRecord& e : seen) {
        if (e.id == EVENT_KEYDOWN) downMods.push_back(e.mods);
    }
    EXPECT_EQ(downMods, (std::vector<int>{1, 1, 2, 2, 4, 4})) << Describe(seen);
}

TEST_F(Translation, ShiftHeldSetsModsButNeverTheGenericCode) {
    ASSERT_EQ(Xdo("keydown Shift_R key b"), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_KEYUP, 'B')) << Describe(seen);
    EXPECT_EQ(KeyDown(VK_SHIFT), 0);
    EXPECT_EQ(KeyDown(VK_RSHIFT), 1);
    ASSERT_EQ(Xdo("keyup Shift_R"), 0);
    ASSERT_TRUE(Await(seen, EVENT_KEYUP, VK_RSHIFT)) << Describe(seen);
    for (const EventRecord& e : seen) {
        if (e.id == EVENT_KEYDOWN && (e.data == 'B' || e.data == VK_RSHIFT)) {
            EXPECT_EQ(e.mods, 1) << Describe(seen);
        }
        if (e.id == EVENT_KEYUP && e.data == VK_RSHIFT) {
            EXPECT_EQ(e.mods, 0) << Describe(seen);
        }
        EXPECT_NE(e.data, VK_SHIFT) << Describe(seen);
    }
    EXPECT_EQ(KeyDown(VK_RSHIFT), 0);
    EXPECT_EQ(KeyHit(VK_RSHIFT), 1);
}

TEST_F(Translation, TypedCharactersReachEventsAndTheCharacterQueue) {
    ASSERT_EQ(Xdo("type Hi!"), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_KEYCHAR, '!')) << Describe(seen);
    std::string typed;
    for (const EventRecord& e : seen) {
        if (e.id == EVENT_KEYCHAR) typed += static_cast<char>(e.data);
    }
    EXPECT_EQ(typed, "Hi!");
    EXPECT_EQ(GetChar(), 'H');
    EXPECT_EQ(GetChar(), 'i');
    EXPECT_EQ(GetChar(), '!');
    EXPECT_EQ(GetChar(), 0);
}

TEST_F(Translation, PointerEntersMovesAndLeaves) {
    ASSERT_EQ(Xdo(Move(*window, 30, 40)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    ASSERT_GE(seen.size(), 2u);
    const EventRecord& enter = seen[seen.size() - 2];
    EXPECT_EQ(enter.id, EVENT_MOUSEENTER) << Describe(seen);
    EXPECT_TRUE(enter.From(source));
    EXPECT_EQ(enter.x, 30);
    EXPECT_EQ(enter.y, 40);
    EXPECT_EQ(seen.back().x, 30);
    EXPECT_EQ(seen.back().y, 40);
    EXPECT_EQ(seen.back().data, 0);
    EXPECT_EQ(MouseX(), 30);
    EXPECT_EQ(MouseY(), 40);
    EXPECT_EQ(TrackedWindow(), window->hwnd());

    seen.clear();
    ASSERT_EQ(Xdo("mousemove 900 700"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSELEAVE)) << Describe(seen);
    EXPECT_EQ(Count(seen, EVENT_MOUSEENTER, 0), 0);
    EXPECT_EQ(TrackedWindow(), nullptr);
}

TEST_F(Translation, MovingBetweenTwoWindowsLeavesOneAndEntersTheOther) {
    Ref<Object> otherSource = new TWindowSource;
    TestWindow other(kLeft + kWidth + 20, kTop, 200, 200, otherSource);
    ASSERT_EQ(Xdo(Move(*window, 10, 10)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEENTER)) << Describe(seen);
    POINT inOther = other.ScreenPoint(50, 60);
    ASSERT_EQ(Xdo("mousemove " + std::to_string(inOther.x) + " " + std::to_string(inOther.y)), 0);
    seen.clear();
    Object* otherObject = otherSource.get();
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) {
        return e.id == EVENT_MOUSEENTER && e.From(otherObject);
    })) << Describe(seen);
    auto leave = std::find_if(seen.begin(), seen.end(), [](const EventRecord& e) { return e.id == EVENT_MOUSELEAVE; });
    ASSERT_NE(leave, seen.end()) << Describe(seen);
    EXPECT_TRUE(leave->From(source));
    EXPECT_EQ(leave->x, kWidth + 20 + 50);  // the pointer in the left window's client coordinates
    EXPECT_EQ(leave->y, 60);
    EXPECT_EQ(seen.back().x, 50);
    EXPECT_EQ(TrackedSource(), otherObject);
}

TEST_F(Translation, ButtonsAreNumberedAndCaptureThePointer) {
    ASSERT_EQ(Xdo(Move(*window, 50, 50)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    ASSERT_EQ(Xdo("mousedown 1"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEDOWN, 1)) << Describe(seen);
    EXPECT_EQ(GetCapture(), window->hwnd());
    EXPECT_EQ(seen.back().x, 50);
    EXPECT_EQ(MouseDown(1), 1);
    // Captured: a move far outside still reaches the window, with client coordinates.
    ASSERT_EQ(Xdo("mousemove 20 20"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    POINT origin = window->ScreenPoint(0, 0);
    EXPECT_EQ(seen.back().x, 20 - origin.x);
    EXPECT_EQ(seen.back().y, 20 - origin.y);
    EXPECT_EQ(seen.back().data, 1);
    EXPECT_EQ(seen[seen.size() - 2].id, EVENT_MOUSELEAVE) << Describe(seen);
    ASSERT_EQ(Xdo("mouseup 1"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEUP, 1)) << Describe(seen);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(MouseDown(1), 0);
    EXPECT_EQ(MouseHit(1), 1);

    seen.clear();
    ASSERT_EQ(Xdo(Move(*window, 60, 60) + " mousedown 3 mousedown 2"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEDOWN, 3)) << Describe(seen);
    EXPECT_EQ(Count(seen, EVENT_MOUSEDOWN, 2), 1) << Describe(seen);
    EXPECT_EQ(MouseDown(2), 1);
    EXPECT_EQ(MouseDown(3), 1);
    ASSERT_EQ(Xdo("mouseup 2 mouseup 3"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEUP, 2)) << Describe(seen);
    EXPECT_EQ(Count(seen, EVENT_MOUSEUP, 3), 1) << Describe(seen);
}

TEST_F(Translation, MoveDataNamesTheHeldButtons) {
    ASSERT_EQ(Xdo(Move(*window, 50, 50)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    // `last` is the button number of the last release.
    auto moveWith = [&](const char* press, int x, const char* release, int last) {
        seen.clear();
        EXPECT_EQ(Xdo(std::string(press) + " " + Move(*window, x, 50) + " " + release), 0);
        EXPECT_TRUE(Await(seen, EVENT_MOUSEUP, last)) << Describe(seen);
        for (const EventRecord& e : seen) {
            if (e.id == EVENT_MOUSEMOVE && e.x == x) return e.data;
        }
        ADD_FAILURE() << "no move to " << x << "\n" << Describe(seen);
        return -1;
    };
    EXPECT_EQ(moveWith("mousedown 3 mousedown 1", 70, "mouseup 1 mouseup 3", 2), 2);  // right wins over left
    EXPECT_EQ(moveWith("mousedown 2", 90, "mouseup 2", 3), 4);                        // middle is 4 here
    EXPECT_EQ(moveWith("mousedown 1", 110, "mouseup 1", 1), 1);
    EXPECT_EQ(moveWith("mousedown 2 mousedown 1", 130, "mouseup 1 mouseup 2", 3), 4);
}

void SendWheel(int delta) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_WHEEL;
    input.mi.mouseData = static_cast<DWORD>(delta);
    SendInput(1, &input, sizeof input);
}

TEST_F(Translation, WheelStepsAreWholeNotchesTowardsZero) {
    ASSERT_EQ(Xdo(Move(*window, 50, 50)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    int z = MouseZ();
    ASSERT_EQ(Xdo("click 4"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEWHEEL)) << Describe(seen);
    EXPECT_EQ(seen.back().data, 1);
    ASSERT_EQ(Xdo("click 5 click 5"), 0);
    seen.clear();
    ASSERT_TRUE(Await(seen, EVENT_MOUSEWHEEL)) << Describe(seen);
    EXPECT_EQ(seen.back().data, -1);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEWHEEL)) << Describe(seen);
    EXPECT_EQ(MouseZ(), z - 1);
    seen.clear();
    SendWheel(60);
    SendWheel(-60);
    SendWheel(-240);
    SendWheel(359);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEWHEEL, 2)) << Describe(seen);
    std::vector<int> steps;
    for (const EventRecord& e : seen) {
        if (e.id == EVENT_MOUSEWHEEL) steps.push_back(e.data);
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 0, -2, 2}));
}

TEST_F(Translation, HiddenCursorIsHiddenOnlyOverTheWindow) {
    EXPECT_EQ(CursorCounter(), 0);
    HideMouse();
    EXPECT_EQ(CursorCounter(), 0);  // not over a window of ours yet
    ASSERT_EQ(Xdo(Move(*window, 20, 20)), 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEENTER)) << Describe(seen);
    EXPECT_EQ(CursorCounter(), -1);
    ASSERT_EQ(Xdo("mousemove 900 700"), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSELEAVE)) << Describe(seen);
    EXPECT_EQ(CursorCounter(), 0);
    ASSERT_EQ(Xdo(Move(*window, 25, 25)), 0);
    ASSERT_TRUE(Await(seen, EVENT_MOUSEENTER)) << Describe(seen);
    EXPECT_EQ(CursorCounter(), -1);
    HideMouse();  // twice: the counter is stepped back, not driven further down
    EXPECT_EQ(CursorCounter(), -1);
    ShowMouse();
    EXPECT_EQ(CursorCounter(), 0);
    ShowMouse();
    EXPECT_EQ(CursorCounter(), 0);
}

TEST_F(Translation, ADestroyedWindowIsForgotten) {
    Ref<Object> otherSource = new TWindowSource;
    TestWindow other(600, 100, 200, 200, otherSource);
    POINT inOther = other.ScreenPoint(20, 20);
    ASSERT_EQ(Xdo("mousemove " + std::to_string(inOther.x) + " " + std::to_string(inOther.y)), 0);
    Object* otherObject = otherSource.get();
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) {
        return e.id == EVENT_MOUSEENTER && e.From(otherObject);
    })) << Describe(seen);
    HideMouse();
    EXPECT_EQ(CursorCounter(), -1);
    other.Destroy();
    EXPECT_EQ(TrackedWindow(), nullptr);
    EXPECT_TRUE(IsNull(TrackedSource()));
    EXPECT_EQ(CursorCounter(), 0);  // no window of ours under the pointer: shown
    ShowMouse();
}

TEST_F(Translation, MoveMouseTakesClientCoordinatesOfTheActiveWindow) {
    ASSERT_EQ(GetActiveWindow(), window->hwnd());
    MoveMouse(10, 20);
    POINT p;
    ASSERT_TRUE(GetCursorPos(&p));
    POINT expected = window->ScreenPoint(10, 20);
    EXPECT_EQ(p.x, expected.x);
    EXPECT_EQ(p.y, expected.y);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_MOUSEMOVE)) << Describe(seen);
    EXPECT_EQ(seen.back().x, 10);
    EXPECT_EQ(seen.back().y, 20);
}

// Presses `keys` with xdotool every 300 ms from another thread until the
// main thread's wait has returned (it flushes first, so an early press is lost).
class RepeatedInput {
public:
    explicit RepeatedInput(std::string args)
        : helper_([args](const std::atomic<bool>& returned) {
              while (!returned) {
                  Xdo(args);
                  WaitWithoutPumping([&] { return returned.load(); }, 300);
              }
          }) {}

private:
    Helper helper_;
};

TEST_F(Translation, WaitKeyReturnsEnterAs13) {
    int key;
    {
        RepeatedInput enter("key Return");
        key = WaitKey();
    }
    EXPECT_EQ(key, 13);
}

TEST_F(Translation, WaitCharAndWaitMouse) {
    int typed;
    {
        RepeatedInput x("type x");
        typed = WaitChar();
    }
    EXPECT_EQ(typed, 'x');
    ASSERT_EQ(Xdo(Move(*window, 40, 40)), 0);
    int button;
    {
        RepeatedInput click("click 3");
        button = WaitMouse();
    }
    EXPECT_EQ(button, 2);
}

TEST_F(Translation, CloseAndActivationMessages) {
    PostMessageW(window->hwnd(), WM_CLOSE, 0, 0);
    std::vector<EventRecord> seen;
    ASSERT_TRUE(Await(seen, EVENT_APPTERMINATE)) << Describe(seen);
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);
    ASSERT_EQ(Xdo("keydown c"), 0);
    ASSERT_TRUE(Await(seen, EVENT_KEYDOWN, 'C')) << Describe(seen);
    EXPECT_EQ(KeyDown('C'), 1);
    PostMessageW(window->hwnd(), WM_ACTIVATEAPP, 0, 0);
    ASSERT_TRUE(Await(seen, EVENT_APPSUSPEND)) << Describe(seen);
    EXPECT_EQ(AppSuspended(), 1);
    EXPECT_EQ(KeyDown('C'), 0);  // flushed on suspend
    EXPECT_EQ(KeyHit('C'), 0);
    PostMessageW(window->hwnd(), WM_ACTIVATEAPP, 1, 0);
    ASSERT_TRUE(Await(seen, EVENT_APPRESUME)) << Describe(seen);
    EXPECT_EQ(AppSuspended(), 0);
    ASSERT_EQ(Xdo("keyup c"), 0);
    ASSERT_TRUE(Await(seen, EVENT_KEYUP, 'C')) << Describe(seen);
}

// ---- the translation itself, message by message ----

TEST(KeyCodes, ScanCodesTellTheModifiersApart) {
    auto lp = [](int scan, bool extended) { return static_cast<LPARAM>((scan << 16) | (extended ? 1 << 24 : 0)); };
    EXPECT_EQ(TranslateKeyCode(VK_SHIFT, lp(42, false)), 160);
    EXPECT_EQ(TranslateKeyCode(VK_SHIFT, lp(54, false)), 161);
    EXPECT_EQ(TranslateKeyCode(VK_CONTROL, lp(29, false)), 162);
    EXPECT_EQ(TranslateKeyCode(VK_CONTROL, lp(29, true)), 163);
    EXPECT_EQ(TranslateKeyCode(VK_MENU, lp(56, false)), 164);
    EXPECT_EQ(TranslateKeyCode(VK_MENU, lp(56, true)), 165);
    EXPECT_EQ(TranslateKeyCode(VK_SHIFT, lp(99, false)), VK_SHIFT);  // an unknown scan code keeps the code
    EXPECT_EQ(TranslateKeyCode('A', lp(42, false)), 'A');            // only modifiers are remapped
    EXPECT_EQ(TranslateKeyCode(0, 0), 0);
    EXPECT_EQ(TranslateKeyCode(256, 0), 0);
    EXPECT_EQ(TranslateKeyCode(255, 0), 255);
}

}  // namespace
