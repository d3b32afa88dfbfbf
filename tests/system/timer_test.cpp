// Timers on the real multimedia timer: waiting, ticks as events, stopping,
// the 16-timer limit, the self-reference and faults raised on a tick.
#include <gtest/gtest.h>

#include <atomic>

#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"
#include "tests/runtime/collect_helpers.h"
#include "tests/system/system_test_support.h"

namespace {

class Timers : public ::testing::Test {
protected:
    void SetUp() override {
        DiscardQueuedEvents();
        ASSERT_EQ(ActiveTimerCount(), 0);
    }
    void TearDown() override { DiscardQueuedEvents(); }
};

int TickEventsFrom(const std::vector<EventRecord>& events, Object* timer) {
    int n = 0;
    for (const EventRecord& e : events) {
        if (e.id == EVENT_TIMERTICK && e.From(timer)) ++n;
    }
    return n;
}

int MsSince(DWORD start) { return static_cast<int>(timeGetTime() - start); }

// A count of ticks a timer of `periodMs` gave by now, `start` being read
// before the timer was created: at least one, and no more than the periods
// since then could post (a loaded machine may hand over several at once).
void ExpectTicksSince(int ticks, DWORD start, int periodMs) {
    int elapsed = MsSince(start);
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, elapsed / periodMs + 1) << "after " << elapsed << " ms";
}

// A multimedia timer of the test's own that only counts its ticks, on the
// timer thread: a clock of periods to wait by without pumping. Made after
// the timer under test with the same period, it never runs ahead of it by
// more than the one tick being handled.
class PeriodCounter {
public:
    explicit PeriodCounter(int periodMs)
        : id_(timeSetEvent(static_cast<UINT>(periodMs), 0, Count, reinterpret_cast<DWORD_PTR>(&count_),
                           TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS)) {}
    ~PeriodCounter() {
        if (id_) timeKillEvent(id_);
    }
    PeriodCounter(const PeriodCounter&) = delete;
    PeriodCounter& operator=(const PeriodCounter&) = delete;
    // Waits until `periods` ticks came; false when the limit passed first.
    bool Wait(int periods) {
        return id_ != 0 && WaitWithoutPumping([&] { return count_ >= periods; });
    }

private:
    static void CALLBACK Count(UINT, UINT, DWORD_PTR counter, DWORD_PTR, DWORD_PTR) {
        ++*reinterpret_cast<std::atomic<int>*>(counter);
    }
    std::atomic<int> count_{0};
    UINT id_;
};

TEST(TimerPeriods, AreTruncatedMilliseconds) {
    EXPECT_EQ(TimerPeriod(60), 16);
    EXPECT_EQ(TimerPeriod(50), 20);
    EXPECT_EQ(TimerPeriod(1000), 1);
    EXPECT_EQ(TimerPeriod(0.5f), 2000);
    EXPECT_EQ(TimerPeriod(1001), 0);  // no whole millisecond
    EXPECT_EQ(TimerPeriod(0), 0);
    EXPECT_EQ(TimerPeriod(-60), 0);
    EXPECT_EQ(TimerPeriod(__builtin_nanf("")), 0);
    EXPECT_EQ(TimerPeriod(1e-9f), 0);  // beyond any period Windows takes
}

TEST_F(Timers, FrequenciesWithoutAPeriodGiveTheNullObject) {
    EXPECT_TRUE(IsNull(CreateTimer(0)));
    EXPECT_TRUE(IsNull(CreateTimer(-5)));
    EXPECT_TRUE(IsNull(CreateTimer(5000)));
    EXPECT_EQ(ActiveTimerCount(), 0);
}

TEST_F(Timers, WaitRightAfterCreateReturnsAfterAPeriod) {
    DWORD start = timeGetTime();
    TTimer* timer = CreateTimer(10);
    ASSERT_FALSE(IsNull(timer));
    EXPECT_NE(timer->handle, 0);
    int ticks = WaitTimer(timer);
    EXPECT_GE(MsSince(start), 50);  // it really waited for the tick
    ExpectTicksSince(ticks, start, 100);
    EXPECT_EQ(TimerTicks(timer), ticks);
    StopTimer(timer);
}

TEST_F(Timers, WaitAfterBeingBusyReturnsTheTicksMissed) {
    DWORD start = timeGetTime();
    TTimer* timer = CreateTimer(10);
    ASSERT_FALSE(IsNull(timer));
    PeriodCounter periods(100);
    ASSERT_TRUE(periods.Wait(4));  // busy for three periods and more, not pumping
    int missed = WaitTimer(timer);
    int elapsed = MsSince(start);
    EXPECT_GE(missed, 3);
    EXPECT_LE(missed, elapsed / 100 + 1);
    EXPECT_EQ(TimerTicks(timer), missed);
    StopTimer(timer);
}

TEST_F(Timers, TicksOfOneTimerMergeInTheQueue) {
    TTimer* timer = CreateTimer(200);
    ASSERT_FALSE(IsNull(timer));
    PeriodCounter periods(5);
    ASSERT_TRUE(periods.Wait(6));  // five ticks or more posted, none taken yet
    PollSystem();
    int ticks = TimerTicks(timer);
    StopTimer(timer);
    std::vector<EventRecord> seen = DrainEvents(20);
    EXPECT_GE(ticks, 5);
    ASSERT_EQ(TickEventsFrom(seen, timer), 1) << Describe(seen);
    for (const EventRecord& e : seen) {
        if (e.id == EVENT_TIMERTICK) {
            EXPECT_EQ(e.data, ticks);
        }
    }
}

TEST_F(Timers, AGivenEventIsEmittedInsteadOfTheTick) {
    Ref<Object> owner = new TWindowSource;
    TEvent* custom = CreateEvent(EVENT_GADGETACTION, owner.get(), 77);
    DWORD start = timeGetTime();
    TTimer* timer = CreateTimer(100, custom);
    ASSERT_FALSE(IsNull(timer));
    ExpectTicksSince(WaitTimer(timer), start, 10);
    StopTimer(timer);
    EXPECT_TRUE(IsNull(timer->event.get()));  // released on stop
    std::vector<EventRecord> seen = DrainEvents(20);
    EXPECT_EQ(TickEventsFrom(seen, timer), 0);
    ASSERT_GE(seen.size(), 1u);
    EXPECT_EQ(seen[0].id, EVENT_GADGETACTION);
    EXPECT_TRUE(seen[0].From(owner));
    EXPECT_EQ(seen[0].data, 77);
}

TEST_F(Timers, TicksArriveOnTheMainThreadAsTickEvents) {
    static DWORD firingThread;
    firingThread = 0;
    auto hook = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_TIMERTICK) firingThread = GetCurrentThreadId();
        return data;
    };
    AddHook(EmitEventHook, hook, NullObject(), 1);
    DWORD start = timeGetTime();
    TTimer* timer = CreateTimer(100);
    ASSERT_FALSE(IsNull(timer));
    std::vector<EventRecord> seen;
    bool ticked = PumpEventsUntil(seen, [&](const EventRecord& e) { return e.id == EVENT_TIMERTICK; });
    int ticks = TimerTicks(timer);
    StopTimer(timer);
    RemoveHook(EmitEventHook, hook, NullObject());
    ASSERT_TRUE(ticked);
    EXPECT_TRUE(seen.back().From(timer));
    EXPECT_EQ(seen.back().data, ticks);  // ticks taken together make one event
    ExpectTicksSince(ticks, start, 10);
    EXPECT_EQ(firingThread, GetCurrentThreadId());
    EXPECT_NE(TimerTickMessage(), 0u);
    EXPECT_EQ(TimerTickMessage(), RegisterWindowMessageW(L"kyn_timer_kvtimertick"));
}

TEST_F(Timers, StoppingTwiceIsHarmlessAndAStoppedTimerDoesNotWait) {
    TTimer* timer = CreateTimer(50);
    ASSERT_FALSE(IsNull(timer));
    StopTimer(timer);
    StopTimer(timer);
    EXPECT_EQ(timer->handle, 0);
    EXPECT_TRUE(IsNull(timer->self.get()));
    EXPECT_EQ(ActiveTimerCount(), 0);
    EXPECT_EQ(WaitTimer(timer), 0);
}

TEST_F(Timers, TicksPostedBeforeAStopAreIgnored) {
    TTimer* timer = CreateTimer(500);
    ASSERT_FALSE(IsNull(timer));
    EXPECT_TRUE(WaitWithoutPumping(TickMessageQueued));  // ticks posted, none retrieved
    StopTimer(timer);
    std::vector<EventRecord> seen = DrainEvents(30);
    EXPECT_EQ(TimerTicks(timer), 0);
    EXPECT_EQ(TickEventsFrom(seen, timer), 0);
}

TEST_F(Timers, StaleTicksNeverReachALaterTimer) {
    // Windows may hand a new timer the id of a stopped one; the stopped
    // one's posted ticks must not count for it.
    TTimer* first = CreateTimer(1000);
    ASSERT_FALSE(IsNull(first));
    int firstId = first->handle;
    EXPECT_TRUE(WaitWithoutPumping(TickMessageQueued));
    StopTimer(first);
    TTimer* second = CreateTimer(1);  // its first tick is a second away
    ASSERT_FALSE(IsNull(second));
    DrainEvents(30);
    EXPECT_EQ(TimerTicks(second), 0) << "ids " << firstId << " and " << second->handle;
    StopTimer(second);
}

TEST_F(Timers, ATickMessageMustNameTheActiveStart) {
    // What a reused id looks like: the right id without the start's serial.
    TTimer* timer = CreateTimer(0.5f);
    ASSERT_FALSE(IsNull(timer));
    PostThreadMessageW(GetCurrentThreadId(), TimerTickMessage(), static_cast<WPARAM>(timer->handle), 0);
    PostThreadMessageW(GetCurrentThreadId(), TimerTickMessage(), static_cast<WPARAM>(timer->handle + 1), 1);
    DrainEvents(20);
    EXPECT_EQ(TimerTicks(timer), 0);
    StopTimer(timer);
}

TEST_F(Timers, SixteenRunAtMostAndAStopMakesRoom) {
    Ref<Array> timers = NewArray(":TTimer", kMaxTimers + 1);
    for (int i = 0; i < kMaxTimers; ++i) {
        TTimer* timer = CreateTimer(2);
        ASSERT_FALSE(IsNull(timer)) << i;
        timers->SetObject(i, timer);
    }
    EXPECT_EQ(ActiveTimerCount(), kMaxTimers);
    EXPECT_TRUE(IsNull(CreateTimer(2)));
    StopTimer(static_cast<TTimer*>(timers->ObjectAt(5)));
    DWORD start = timeGetTime();
    TTimer* again = CreateTimer(100);
    ASSERT_FALSE(IsNull(again));
    timers->SetObject(kMaxTimers, again);
    ExpectTicksSince(WaitTimer(again), start, 10);  // the replacement really ticks
    for (int i = 0; i <= kMaxTimers; ++i) StopTimer(static_cast<TTimer*>(timers->ObjectAt(i)));
    EXPECT_EQ(ActiveTimerCount(), 0);
}

TEST_F(Timers, AFaultInATickHookReachesWaitTimer) {
    auto hook = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_TIMERTICK && event->data == 2) RuntimeError("tick fault");
        return data;
    };
    AddHook(EmitEventHook, hook, NullObject(), 1);
    TTimer* timer = CreateTimer(100);
    ASSERT_FALSE(IsNull(timer));
    std::string caught;
    try {
        for (int i = 0; i < 5; ++i) WaitTimer(timer);
    } catch (ThrownObject& thrown) {
        if (auto* error = thrown.As<TRuntimeException>()) caught = Utf8(error->error);
    }
    RemoveHook(EmitEventHook, hook, NullObject());
    EXPECT_EQ(caught, "tick fault");
    EXPECT_EQ(TimerTicks(timer), 2);
    EXPECT_FALSE(SystemPumping());
    EXPECT_GE(WaitTimer(timer), 1);  // the timer goes on
    StopTimer(timer);
}

TEST_F(Timers, AHookThatStopsTheTimerEndsItsWait) {
    auto hook = [](int, Object* data, Object*) -> Object* {
        TEvent* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_GADGETDONE) StopTimer(static_cast<TTimer*>(event->source.get()));
        return data;
    };
    AddHook(EmitEventHook, hook, NullObject(), 1);
    // A timer whose tick event asks the hook to stop it: its ticks count
    // only once, and the wait must come back instead of waiting for ever.
    TTimer* timer = new TTimer;
    ASSERT_TRUE(timer->Start(50, CreateEvent(EVENT_GADGETDONE, timer)));
    int ticks = WaitTimer(timer);
    RemoveHook(EmitEventHook, hook, NullObject());
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer->handle, 0);
    EXPECT_EQ(WaitTimer(timer), 0);
}

// ---- the self-reference ----

__attribute__((noinline)) uintptr_t StartUnreferencedTimer() { return Hide(CreateTimer(100)); }

__attribute__((noinline)) void StopHidden(uintptr_t hidden) { StopTimer(static_cast<TTimer*>(Unhide(hidden))); }

CLEAN_STACK_TEST(TimerLifetime, ARunningTimerLivesWithoutReferencesAndDiesWhenStopped) {
    DiscardQueuedEvents();
    volatile uintptr_t hidden = StartUnreferencedTimer();
    CollectFully();
    ASSERT_TRUE(IsLive(hidden));
    // Still ticking: its tick events come with it as the source.
    std::vector<EventRecord> seen;
    uintptr_t expected = hidden;
    ASSERT_TRUE(PumpEventsUntil(seen, [&](const EventRecord& e) {
        return e.id == EVENT_TIMERTICK && e.source == expected && e.data >= 2;
    }));
    StopHidden(hidden);
    DiscardQueuedEvents();
    PollEvent();  // the current event no longer names it
    seen.clear();
    CollectFully();
    EXPECT_FALSE(IsLive(hidden));
}

}  // namespace
