// The message pump: the dialog-message rule, the re-entry guard, faults
// raised inside window procedures and hooks, and floods of messages.
#include <gtest/gtest.h>

#include <string>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "system/polledinput.h"
#include "system/system.h"
#include "system/timer.h"
#include "system/win32system.h"
#include "tests/child_process.h"
#include "tests/system/system_test_support.h"

namespace {

constexpr UINT kThrowMessage = WM_APP + 1;

void ThrowOnAppMessage(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == kThrowMessage) RuntimeError(Concat(u"window procedure fault "_s, String::FromInt(int(wParam))));
}

class Pump : public ::testing::Test {
protected:
    void SetUp() override {
        source = new TWindowSource;
        window = new TestWindow(100, 100, 300, 200, source);
        DrainEvents(50);
    }
    void TearDown() override {
        testWindowMessageHook = nullptr;
        delete window;
        source = NullObject();
    }
    // Puts the pointer on a client point and waits until its move has come,
    // so that no late move joins what the test does next. A pointer already
    // there would make no move: it first goes one pixel aside.
    void RestPointerAt(int x, int y) {
        POINT target = window->ScreenPoint(x, y);
        POINT now;
        GetCursorPos(&now);
        if (now.x == target.x && now.y == target.y) MovePointerTo(x - 1, y);
        MovePointerTo(x, y);
        DrainEvents(50);
    }
    void MovePointerTo(int x, int y) {
        POINT point = window->ScreenPoint(x, y);
        SetCursorPos(point.x, point.y);
        std::vector<EventRecord> seen;
        ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) {
            return e.id == EVENT_MOUSEMOVE && e.x == x && e.y == y && e.From(source);
        })) << Describe(seen);
    }

    Ref<Object> source;
    TestWindow* window = nullptr;
};

std::string CaughtText(void (*body)()) {
    try {
        body();
    } catch (ThrownObject& thrown) {
        if (auto* error = thrown.As<TRuntimeException>()) return Utf8(error->error);
        return "(another object)";
    }
    return "(nothing thrown)";
}

TEST_F(Pump, AFaultInAWindowProcedureReachesTheCaller) {
    testWindowMessageHook = ThrowOnAppMessage;
    PostMessageW(window->hwnd(), kThrowMessage, 7, 0);
    PostMessageW(window->hwnd(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(CaughtText([] { PollEvent(); }), "window procedure fault 7");
    EXPECT_FALSE(SystemPumping());
    // The rest of the messages are still there for the next pump.
    std::vector<EventRecord> seen;
    ASSERT_TRUE(PumpEventsUntil(seen, [](const EventRecord& e) { return e.id == EVENT_KEYDOWN; }));
    EXPECT_EQ(seen.back().data, VK_F5);
}

TEST_F(Pump, AFaultInAnEventHookReachesWaitEvent) {
    static auto throwing = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_KEYDOWN && event->data == VK_F6) RuntimeError("hook fault");
        return data;
    };
    AddHook(EmitEventHook, throwing, NullObject(), 5);
    PostMessageW(window->hwnd(), WM_KEYDOWN, VK_F6, 0);
    std::string text = CaughtText([] { WaitEvent(); });
    RemoveHook(EmitEventHook, throwing, NullObject());
    EXPECT_EQ(text, "hook fault");
    EXPECT_TRUE(IsNull(PeekEvent()));  // the chain stopped before the queue hook
}

TEST(PumpFaults, DISABLED_UncaughtWindowProcedureFault) {
    Ref<Object> source = new TWindowSource;
    TestWindow window(100, 100, 200, 100, source);
    testWindowMessageHook = ThrowOnAppMessage;
    PostMessageW(window.hwnd(), kThrowMessage, 42, 0);
    PollSystem();
    std::printf("not reached\n");
}

TEST(PumpFaults, AnUncaughtFaultEndsTheProcessWithMinusOne) {
    ChildResult child = RunChild(ChildTestCommand(L"PumpFaults.DISABLED_UncaughtWindowProcedureFault"));
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0xFFFFFFFFu);
    EXPECT_NE(child.err.find("window procedure fault 42"), std::string::npos) << child.err;
    EXPECT_EQ(child.out.find("not reached"), std::string::npos);
}

// Re-entry: a hook that pumps during the pump must not dispatch the next
// message from inside the first one's handling.
int nestedEvents = 0;
bool insideFirst = false;
Object* NestedPollHook(int, Object* data, Object*) {
    TEvent* event = Downcast<TEvent>(data);
    if (IsNull(event) || event->id != EVENT_KEYDOWN) return data;
    if (insideFirst) ++nestedEvents;
    if (event->data == VK_F7) {
        insideFirst = true;
        PollSystem();
        WaitSystem();  // returns at once instead of waiting
        insideFirst = false;
    }
    return data;
}

TEST_F(Pump, ANestedPollFromAHookDoesNothing) {
    nestedEvents = 0;
    AddHook(EmitEventHook, NestedPollHook, NullObject(), 5);
    PostMessageW(window->hwnd(), WM_KEYDOWN, VK_F7, 0);
    PostMessageW(window->hwnd(), WM_KEYDOWN, VK_F8, 0);
    std::vector<EventRecord> seen = DrainEvents(50);
    RemoveHook(EmitEventHook, NestedPollHook, NullObject());
    EXPECT_EQ(nestedEvents, 0);
    ASSERT_EQ(seen.size(), 2u) << Describe(seen);
    EXPECT_EQ(seen[0].data, VK_F7);
    EXPECT_EQ(seen[1].data, VK_F8);
}

// A parent window with two edit fields; Tab moves between them only when
// they are tab stops.
class DialogRule : public Pump {
protected:
    HWND Edit(HWND parent, int y, DWORD extraStyle) {
        return CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | extraStyle, 10, y, 200, 24,
                               parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
};

TEST_F(DialogRule, TabMovesBetweenTabStopChildrenThroughTheAncestor) {
    REQUIRE_REAL_INPUT();
    HWND first = Edit(window->hwnd(), 10, WS_TABSTOP);
    HWND second = Edit(window->hwnd(), 50, WS_TABSTOP);
    window->Focus();
    SetFocus(first);
    ASSERT_EQ(Xdo("key Tab"), 0);
    EXPECT_TRUE(PumpUntil([&] { return GetFocus() == second; }));
    ASSERT_EQ(Xdo("key Tab"), 0);
    EXPECT_TRUE(PumpUntil([&] { return GetFocus() == first; }));
}

TEST_F(DialogRule, NestedTabStopContainersUseTheFirstOtherAncestor) {
    REQUIRE_REAL_INPUT();
    HWND panel = CreateWindowExW(WS_EX_CONTROLPARENT, L"STATIC", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 250,
                                 150, window->hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND first = Edit(panel, 10, WS_TABSTOP);
    HWND second = Edit(panel, 50, WS_TABSTOP);
    EXPECT_EQ(DialogMessageTarget(first), window->hwnd());
    EXPECT_EQ(DialogMessageTarget(panel), window->hwnd());
    EXPECT_EQ(DialogMessageTarget(window->hwnd()), nullptr);
    window->Focus();
    SetFocus(first);
    ASSERT_EQ(Xdo("key Tab"), 0);
    EXPECT_TRUE(PumpUntil([&] { return GetFocus() == second; }));
}

TEST_F(DialogRule, OtherChildrenGetTheirKeysDirectly) {
    REQUIRE_REAL_INPUT();
    HWND first = Edit(window->hwnd(), 10, 0);
    HWND second = Edit(window->hwnd(), 50, 0);
    EXPECT_EQ(DialogMessageTarget(first), nullptr);
    window->Focus();
    SetFocus(first);
    ASSERT_EQ(Xdo("type ab key Tab type c"), 0);
    wchar_t text[32] = L"";
    EXPECT_TRUE(PumpUntil([&] {
        GetWindowTextW(first, text, 32);
        return std::wstring(text).find(L'c') != std::wstring::npos;
    }));
    EXPECT_EQ(std::wstring(text).substr(0, 2), L"ab");
    EXPECT_EQ(GetFocus(), first);
    (void)second;
}

// ---- floods ----

int FloodSize() { return CollectorMode() == kCollectEveryAllocation ? 600 : 4000; }

// Posts moves and key presses alternately (none of them makes a character)
// while a fast timer ticks, then pumps once.
void Flood(HWND window, TTimer* timer, int count) {
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0) {
            PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM((i / 2) % 250, (i / 2) / 250));
        } else {
            PostMessageW(window, WM_KEYDOWN, VK_F1 + (i / 2) % 12, 0);
        }
    }
    // A tick joins the posted messages meanwhile; waiting without pumping
    // leaves everything queued for the one poll.
    EXPECT_TRUE(WaitWithoutPumping(TickMessageQueued));
    PollSystem();
    StopTimer(timer);  // no more ticks while the queue is read
}

TEST_F(Pump, AFloodBetweenTwoPollsKeepsTheFirst256InOrder) {
    EnablePolledInput();
    // The pointer rests inside the window, so no enter or leave joins the flood.
    RestPointerAt(150, 150);

    int64_t memoryAfterFirst = 0;
    for (int round = 0; round < 2; ++round) {
        TTimer* timer = CreateTimer(500);
        ASSERT_FALSE(IsNull(timer));
        // Its first tick is queued before the flood (a slow first wait may
        // have taken more than one).
        int first = WaitTimer(timer);
        ASSERT_GE(first, 1);
        ASSERT_EQ(first, TimerTicks(timer));
        Flood(window->hwnd(), timer, FloodSize());

        std::vector<EventRecord> taken;
        while (!IsNull(PeekEvent())) {
            PollEvent();
            taken.push_back(RecordOf(CurrentEvent()));
        }
        ASSERT_EQ(taken.size(), 256u);
        EXPECT_EQ(taken[0].id, EVENT_TIMERTICK);
        EXPECT_TRUE(taken[0].From(timer));
        EXPECT_EQ(taken[0].data, TimerTicks(timer));  // the latest tick count
        EXPECT_GT(taken[0].data, first);
        for (int i = 0; i < 255; ++i) {
            const EventRecord& e = taken[i + 1];
            if (i % 2 == 0) {
                ASSERT_EQ(e.id, EVENT_MOUSEMOVE) << i;
                ASSERT_EQ(e.x, (i / 2) % 250) << i;
            } else {
                ASSERT_EQ(e.id, EVENT_KEYDOWN) << i;
                ASSERT_EQ(e.data, VK_F1 + (i / 2) % 12) << i;
            }
        }
        // The polled input saw the whole flood, dropped or not.
        EXPECT_EQ(KeyHit(VK_F1), 1);
        EXPECT_EQ(MouseX(), (FloodSize() / 2 - 1) % 250);
        FlushKeys();
        timer = nullptr;
        CollectMemory();
        CollectMemory();
        if (round == 0) {
            memoryAfterFirst = MemoryAllocated();
        } else {
            // Nothing of the second flood stays behind (a few objects may
            // still be held by stale stack words).
            EXPECT_LT(MemoryAllocated() - memoryAfterFirst, 4096);
        }
    }
    DisablePolledInput();
}

}  // namespace
