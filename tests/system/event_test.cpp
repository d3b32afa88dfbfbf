// Hook chains, event records and the event queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "system/event.h"
#include "system/polledinput.h"
#include "system/timer.h"
#include "tests/child_process.h"
#include "tests/runtime/collect_helpers.h"
#include "tests/system/system_test_support.h"

namespace {

std::string hookLog;

// Appends the context's text to the log and passes the data on.
Object* LogHook(int, Object* data, Object* context) {
    hookLog += Utf8(static_cast<String*>(context));
    return data;
}

// Wraps the data: "x" becomes "(x)" with the context's text inside.
Object* WrapHook(int, Object* data, Object* context) {
    return Concat(u"("_s, static_cast<String*>(context), static_cast<String*>(data), u")"_s);
}

Object* RemoveSelfHook(int id, Object* data, Object* context) {
    hookLog += "R";
    RemoveHook(id, RemoveSelfHook, context);
    return data;
}

class Hooks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (chain < 0) chain = AllocHookId();
    }
    void SetUp() override { hookLog.clear(); }
    // Literals are single objects, so the contexts match by identity.
    void TearDown() override {
        String* contexts[] = {u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s};
        for (String* context : contexts) {
            for (int i = 0; i < 3; ++i) RemoveHook(chain, LogHook, context);
        }
        RemoveHook(chain, RemoveSelfHook, u"R"_s);
    }
    static int chain;
};
int Hooks::chain = -1;

TEST_F(Hooks, RunInPriorityOrderAndEqualPrioritiesInAddingOrder) {
    AddHook(chain, LogHook, u"A"_s, 0);
    AddHook(chain, LogHook, u"B"_s, 5);
    AddHook(chain, LogHook, u"C"_s, -10000);
    AddHook(chain, LogHook, u"D"_s, 0);
    AddHook(chain, LogHook, u"E"_s, 5);
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "BEADC");
}

TEST_F(Hooks, EachResultBecomesTheNextHooksData) {
    AddHook(chain, WrapHook, u"1"_s, 2);
    AddHook(chain, WrapHook, u"2"_s, 1);
    Object* result = RunHooks(chain, u"x"_s);
    EXPECT_EQ(Utf8(static_cast<String*>(result)), "(2(1x))");
    RemoveHook(chain, WrapHook, u"1"_s);
    RemoveHook(chain, WrapHook, u"2"_s);
    EXPECT_EQ(RunHooks(chain, u"x"_s), u"x"_s);
}

TEST_F(Hooks, RemoveNeedsBothFunctionAndContext) {
    AddHook(chain, LogHook, u"A"_s, 0);
    AddHook(chain, LogHook, u"B"_s, 0);
    RemoveHook(chain, LogHook, u"C"_s);       // same function, other context
    RemoveHook(chain, WrapHook, u"A"_s);      // same context, other function
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "AB");
    RemoveHook(chain, LogHook, u"A"_s);
    hookLog.clear();
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "B");
}

TEST_F(Hooks, RemovesOnlyTheFirstMatch) {
    AddHook(chain, LogHook, u"A"_s, 0);
    AddHook(chain, LogHook, u"A"_s, 0);
    RemoveHook(chain, LogHook, u"A"_s);
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "A");
}

TEST_F(Hooks, AHookThatRemovesItselfLetsTheChainGoOn) {
    AddHook(chain, LogHook, u"A"_s, 5);
    AddHook(chain, RemoveSelfHook, u"R"_s, 3);
    AddHook(chain, LogHook, u"B"_s, 1);
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "ARB");
    hookLog.clear();
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "AB");
}

TEST_F(Hooks, BadIdsAreArrayBoundsFaults) {
    EXPECT_THROW(RunHooks(256, NullObject()), ThrownObject);
    EXPECT_THROW(AddHook(-1, LogHook, u"A"_s, 0), ThrownObject);
}

TEST_F(Hooks, ANullFunctionIsRefusedAndTheChainStillRuns) {
    AddHook(chain, LogHook, u"A"_s, 0);
    EXPECT_THROW(AddHook(chain, nullptr, u"B"_s, 1), ThrownObject);
    RunHooks(chain, NullObject());
    EXPECT_EQ(hookLog, "A");
}

// Inside the system pump nothing new can arrive until the hook returns: each
// wait called there raises an error that names it instead of spinning.
TEST(Waits, InsideTheSystemPumpRaiseAnErrorInsteadOfSpinning) {
    static TTimer* slow;
    static std::vector<std::string> outcomes;
    static int (*const waits[])() = {WaitEvent, WaitKey, WaitChar, WaitMouse, [] { return WaitTimer(slow); }};
    constexpr int kWaits = sizeof waits / sizeof waits[0];
    auto hook = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (IsNull(event) || event->id != EVENT_TIMERTICK || event->source.get() == slow) return data;
        if (outcomes.size() < kWaits) {
            try {
                waits[outcomes.size()]();
                outcomes.push_back("returned");
            } catch (ThrownObject& thrown) {
                auto* error = thrown.As<TRuntimeException>();
                outcomes.push_back(error ? Utf8(error->error) : "another fault");
            }
        }
        return data;
    };
    outcomes.clear();
    TTimer* fast = CreateTimer(50);
    slow = CreateTimer(0.5f);
    AddHook(EmitEventHook, hook, NullObject(), 1);
    for (DWORD start = GetTickCount(); outcomes.size() < kWaits && GetTickCount() - start < 60000;) WaitTimer(fast);
    RemoveHook(EmitEventHook, hook, NullObject());
    StopTimer(fast);
    StopTimer(slow);
    const char* names[] = {"WaitEvent", "WaitKey", "WaitChar", "WaitMouse", "WaitTimer"};
    ASSERT_EQ(outcomes.size(), static_cast<size_t>(kWaits));
    for (int i = 0; i < kWaits; ++i) {
        EXPECT_EQ(outcomes[i], std::string(names[i]) +
                                   " cannot wait while the system pump runs (inside an event hook or window procedure)");
    }
    DiscardQueuedEvents();
}

TEST(HookIds, DISABLED_Exhaust) {
    int last = -1;
    try {
        for (;;) last = AllocHookId();
    } catch (ThrownObject& thrown) {
        String* text = Downcast<String>(thrown.object());
        std::printf("last=%d thrown=%s\n", last, IsNull(text) ? "(not a string)" : Utf8(text).c_str());
    }
    try {
        AllocHookId();
        std::printf("again=allocated\n");
    } catch (ThrownObject&) {
        std::printf("again=thrown\n");
    }
}

TEST(HookIds, TheIdAfter255IsRefusedWithTheString) {
    ChildResult child = RunChild(ChildTestCommand(L"HookIds.DISABLED_Exhaust"));
    ASSERT_TRUE(child.finished) << child.err;
    EXPECT_NE(child.out.find("last=255 thrown=Too many hook ids"), std::string::npos) << child.out;
    EXPECT_NE(child.out.find("again=thrown"), std::string::npos) << child.out;
    EXPECT_EQ(EmitEventHook, 0);
}

// ---- event records ----

TEST(EventText, KeyDownWithShiftAndNoExtra) {
    TEvent* event = CreateEvent(EVENT_KEYDOWN, NullObject(), 65, 1, 0, 0, NullObject());
    EXPECT_EQ(Utf8(event->ToString()), "KeyDown: data=65, mods=1, x=0, y=0, extra=\"\"");
}

TEST(EventText, StringExtraIsQuotedOtherExtrasAreLeftOut) {
    TEvent* withText = CreateEvent(EVENT_GADGETACTION, NullObject(), -3, 0, 10, -20, u"http://a/b"_s);
    EXPECT_EQ(Utf8(withText->ToString()), "GadgetAction: data=-3, mods=0, x=10, y=-20, extra=\"http://a/b\"");
    TEvent* withObject = CreateEvent(EVENT_MOUSEMOVE, NullObject(), 0, 0, 1, 2, new TWindowSource);
    EXPECT_EQ(Utf8(withObject->ToString()), "MouseMove: data=0, mods=0, x=1, y=2, extra=\"\"");
}

TEST(EventText, UnknownIds) {
    EXPECT_EQ(Utf8(CreateEvent(0x1234, NullObject())->ToString()), "Unknown Event, id=4660: data=0, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_EQ(Utf8(CreateEvent(0, NullObject())->ToString()), "Unknown Event, id=0: data=0, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_EQ(Utf8(EventIdText(-1)), "Unknown Event, id=-1");
}

TEST(EventText, EveryIdHasItsName) {
    const struct {
        int id;
        const char* name;
    } table[] = {{257, "AppSuspend"},     {258, "AppResume"},       {259, "AppTerminate"},    {260, "AppOpenFile"},
                 {513, "KeyDown"},        {514, "KeyUp"},           {515, "KeyChar"},         {516, "KeyRepeat"},
                 {1025, "MouseDown"},     {1026, "MouseUp"},        {1027, "MouseMove"},      {1028, "MouseWheel"},
                 {1029, "MouseEnter"},    {1030, "MouseLeave"},     {2049, "TimerTick"},      {8193, "GadgetAction"},
                 {8194, "GadgetPaint"},   {8195, "GadgetSelect"},   {8196, "GadgetMenu"},     {8197, "GadgetOpen"},
                 {8198, "GadgetClose"},   {8199, "GadgetDone"},     {8200, "GadgetLostFocus"}, {16385, "WindowMove"},
                 {16386, "WindowSize"},   {16387, "WindowClose"},   {16388, "WindowActivate"}, {16389, "WindowAccept"},
                 {32769, "MenuAction"}};
    for (const auto& entry : table) EXPECT_EQ(Utf8(EventIdText(entry.id)), entry.name) << entry.id;
    EXPECT_STREQ(TEvent::classRecord.name, "TEvent");
}

// ---- the queue ----

class Queue : public ::testing::Test {
protected:
    void SetUp() override { DiscardQueuedEvents(); }
    void TearDown() override { DiscardQueuedEvents(); }

    // Takes every queued event (no pumping needed: they are queued already).
    std::vector<EventRecord> TakeAll() {
        std::vector<EventRecord> taken;
        while (!IsNull(PeekEvent())) {
            PollEvent();
            taken.push_back(RecordOf(CurrentEvent()));
        }
        return taken;
    }
};

TEST_F(Queue, EmptyQueuePollsToTheNullEvent) {
    EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), 1));
    ASSERT_EQ(PollEvent(), EVENT_KEYDOWN);
    EXPECT_EQ(EventID(), EVENT_KEYDOWN);
    EXPECT_EQ(PollEvent(), 0);
    EXPECT_EQ(EventID(), 0);
    EXPECT_EQ(EventData(), 0);
    EXPECT_TRUE(IsNull(EventSource()));
    EXPECT_TRUE(IsNull(EventExtra()));
    EXPECT_EQ(Utf8(CurrentEvent()->ToString()), "Unknown Event, id=0: data=0, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_TRUE(IsNull(PeekEvent()));
}

TEST_F(Queue, TicksFromOneTimerMergeIntoTheLatest) {
    Object* timer = new TWindowSource;
    Object* other = new TWindowSource;
    EmitEvent(CreateEvent(EVENT_TIMERTICK, timer, 1));
    EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), 65));
    EmitEvent(CreateEvent(EVENT_TIMERTICK, other, 1));
    EmitEvent(CreateEvent(EVENT_TIMERTICK, timer, 2, 4, 5, 6, u"late"_s));
    std::vector<EventRecord> taken = TakeAll();
    ASSERT_EQ(taken.size(), 3u) << Describe(taken);
    EXPECT_EQ(taken[0].id, EVENT_TIMERTICK);
    EXPECT_TRUE(taken[0].From(timer));
    EXPECT_EQ(taken[0].data, 2);
    EXPECT_EQ(taken[0].mods, 4);
    EXPECT_EQ(taken[0].x, 5);
    EXPECT_EQ(taken[0].y, 6);
    EXPECT_EQ(taken[1].id, EVENT_KEYDOWN);
    EXPECT_TRUE(taken[2].From(other));
    EXPECT_EQ(taken[2].data, 1);
}

TEST_F(Queue, MergedEntryTakesTheNewExtra) {
    Object* gadget = new TWindowSource;
    EmitEvent(CreateEvent(EVENT_GADGETACTION, gadget, 1, 0, 0, 0, u"first"_s));
    EmitEvent(CreateEvent(EVENT_GADGETACTION, gadget, 2, 0, 0, 0, u"second"_s));
    EmitEvent(CreateEvent(EVENT_WINDOWMOVE, gadget, 0, 0, 10, 10));
    EmitEvent(CreateEvent(EVENT_WINDOWMOVE, gadget, 0, 0, 30, 40));
    EmitEvent(CreateEvent(EVENT_WINDOWSIZE, gadget, 0, 0, 100, 100));
    EmitEvent(CreateEvent(EVENT_WINDOWSIZE, gadget, 0, 0, 200, 300));
    ASSERT_EQ(PollEvent(), EVENT_GADGETACTION);
    EXPECT_EQ(EventData(), 2);
    EXPECT_EQ(Utf8(EventText()), "second");
    ASSERT_EQ(PollEvent(), EVENT_WINDOWMOVE);
    EXPECT_EQ(EventX(), 30);
    EXPECT_EQ(EventY(), 40);
    ASSERT_EQ(PollEvent(), EVENT_WINDOWSIZE);
    EXPECT_EQ(EventX(), 200);
    EXPECT_EQ(EventY(), 300);
    EXPECT_TRUE(IsNull(PeekEvent()));
}

TEST_F(Queue, KeysAndOtherEventsQueueOneEntryEach) {
    Object* window = new TWindowSource;
    EmitEvent(CreateEvent(EVENT_KEYDOWN, window, 65));
    EmitEvent(CreateEvent(EVENT_KEYDOWN, window, 65));
    EmitEvent(CreateEvent(EVENT_WINDOWCLOSE, window));
    EmitEvent(CreateEvent(EVENT_WINDOWCLOSE, window));
    EXPECT_EQ(TakeAll().size(), 4u);
}

TEST_F(Queue, The257thUnreadEventIsDroppedAndOrderKept) {
    for (int i = 0; i < 300; ++i) EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), i));
    std::vector<EventRecord> taken = TakeAll();
    ASSERT_EQ(taken.size(), 256u);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(taken[i].data, i);
    // Room again after reading.
    EmitEvent(CreateEvent(EVENT_KEYUP, NullObject(), 7));
    ASSERT_EQ(PollEvent(), EVENT_KEYUP);
    EXPECT_EQ(EventData(), 7);
}

TEST_F(Queue, AFullQueueStillMergesIntoItsEntries) {
    Object* timer = new TWindowSource;
    EmitEvent(CreateEvent(EVENT_TIMERTICK, timer, 1));
    for (int i = 0; i < 300; ++i) EmitEvent(CreateEvent(EVENT_MOUSEMOVE, NullObject(), 0, 0, i, i));
    EmitEvent(CreateEvent(EVENT_TIMERTICK, timer, 99));
    EmitEvent(CreateEvent(EVENT_TIMERTICK, new TWindowSource, 5));  // a new source finds no room
    std::vector<EventRecord> taken = TakeAll();
    ASSERT_EQ(taken.size(), 256u);
    EXPECT_EQ(taken[0].id, EVENT_TIMERTICK);
    EXPECT_EQ(taken[0].data, 99);
    EXPECT_EQ(taken[255].id, EVENT_MOUSEMOVE);
    EXPECT_EQ(taken[255].x, 254);
}

TEST_F(Queue, WrapsAroundTheRingManyTimes) {
    int next = 0;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 200; ++i) EmitEvent(CreateEvent(EVENT_KEYCHAR, NullObject(), next + i));
        std::vector<EventRecord> taken = TakeAll();
        ASSERT_EQ(taken.size(), 200u);
        for (int i = 0; i < 200; ++i) ASSERT_EQ(taken[i].data, next + i);
        next += 200;
    }
}

TEST_F(Queue, DataThatIsNoEventIsNotQueued) {
    Object* result = RunHooks(EmitEventHook, u"not an event"_s);
    EXPECT_TRUE(IsNull(result));
    EXPECT_TRUE(IsNull(PeekEvent()));
    TEvent* event = CreateEvent(EVENT_KEYUP, NullObject(), 3);
    EXPECT_EQ(RunHooks(EmitEventHook, event), event);
}

TEST_F(Queue, PeekLeavesTheEventQueued) {
    EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), 1));
    EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), 2));
    EXPECT_EQ(PeekEvent()->data, 1);
    EXPECT_EQ(PeekEvent()->data, 1);
    EXPECT_EQ(WaitEvent(), EVENT_KEYDOWN);  // queued already: no waiting
    EXPECT_EQ(EventData(), 1);
    EXPECT_EQ(PeekEvent()->data, 2);
}

TEST_F(Queue, AccessorsReadTheCurrentEvent) {
    Object* source = new TWindowSource;
    EmitEvent(CreateEvent(EVENT_GADGETACTION, source, 4, 2, 8, 9, u"text"_s));
    ASSERT_EQ(PollEvent(), EVENT_GADGETACTION);
    EXPECT_EQ(EventSource(), source);
    EXPECT_EQ(EventMods(), 2);
    EXPECT_EQ(Utf8(EventText()), "text");
    int handle = EventSourceHandle();
    EXPECT_NE(handle, 0);
    EXPECT_EQ(HandleToObject(handle), source);
    ReleaseHandle(handle);
    EmitEvent(CreateEvent(EVENT_GADGETACTION, source, 0, 0, 0, 0, new TWindowSource));
    PollEvent();
    EXPECT_EQ(EventText()->length, 0);
}

// An event that was taken and is no longer current belongs to nobody.
__attribute__((noinline)) uintptr_t EmitHidden() {
    TEvent* event = CreateEvent(EVENT_KEYDOWN, NullObject(), 11);
    EmitEvent(event);
    return Hide(event);
}

CLEAN_STACK_TEST(QueueRelease, TakenEventsAreFreedOnceReplaced) {
    DiscardQueuedEvents();
    volatile uintptr_t hidden = EmitHidden();
    CollectFully();
    EXPECT_TRUE(IsLive(hidden));  // held by its queue slot
    PollEvent();
    EmitEvent(CreateEvent(EVENT_KEYDOWN, NullObject(), 12));
    PollEvent();  // the first is neither queued nor current any more
    CollectFully();
    EXPECT_FALSE(IsLive(hidden));
}

}  // namespace
