#include "system/timer.h"

#include <cstdlib>

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include "system/system.h"

KV_DEFINE_CLASS(TTimer, Object);

namespace {

struct ActiveStart {
    UINT id;        // the multimedia timer id
    DWORD serial;   // this start's serial number
};

// Set on the main thread before the first timeSetEvent and never changed
// after: the callback thread reads them.
DWORD mainThreadId = 0;
UINT tickMessage = 0;

HHOOK messageHook = nullptr;
ActiveStart active[kMaxTimers];
Ref<TTimer> activeTimers[kMaxTimers];
int activeCount = 0;
DWORD lastSerial = 0;

// Multimedia timer thread: posts the tick and touches nothing else.
void CALLBACK TickCallback(UINT id, UINT, DWORD_PTR serial, DWORD_PTR, DWORD_PTR) {
    PostThreadMessageW(mainThreadId, tickMessage, id, static_cast<LPARAM>(serial));
}

int FindActive(UINT id, DWORD serial) {
    for (int i = 0; i < activeCount; ++i) {
        if (active[i].id == id && active[i].serial == serial) return i;
    }
    return -1;
}

int FindActiveId(UINT id) {
    for (int i = 0; i < activeCount; ++i) {
        if (active[i].id == id) return i;
    }
    return -1;
}

void FireActive(int index) {
    TTimer* timer = activeTimers[index].get();
    timer->Fire();
}

// Main thread, for every message retrieved: a tick of an active start fires
// its timer. Nothing thrown by the hooks that Fire runs may leave here.
LRESULT CALLBACK TickMessageHook(int code, WPARAM removal, LPARAM lParam) {
    if (code >= 0 && removal == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == tickMessage && !message->hwnd) {
            int index = FindActive(static_cast<UINT>(message->wParam), static_cast<DWORD>(message->lParam));
            if (index >= 0) {
                KV_CALLBACK_TRY { FireActive(index); }
                KV_CALLBACK_CATCH
            }
        }
    }
    return CallNextHookEx(messageHook, code, removal, lParam);
}

void EndTimers() {
    for (int i = 0; i < activeCount; ++i) timeKillEvent(active[i].id);
    activeCount = 0;
    if (messageHook) UnhookWindowsHookEx(messageHook);
    messageHook = nullptr;
}

// The first start in the process: the main thread, its message hook and the
// tick message.
bool PrepareTicks() {
    if (messageHook) return true;
    mainThreadId = GetCurrentThreadId();
    tickMessage = RegisterWindowMessageW(L"kyn_timer_kvtimertick");
    if (!tickMessage) return false;
    messageHook = SetWindowsHookExW(WH_GETMESSAGE, TickMessageHook, nullptr, mainThreadId);
    if (!messageHook) return false;
    std::atexit(EndTimers);
    return true;
}

// Starts a multimedia timer for `serial`; its id, or 0.
UINT StartLowLevel(float hertz, DWORD serial) {
    if (!PrepareTicks() || activeCount >= kMaxTimers) return 0;
    int period = TimerPeriod(hertz);
    if (period == 0) return 0;
    return timeSetEvent(static_cast<UINT>(period), 0, TickCallback, serial, TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
}

void StopLowLevel(UINT id) {
    int index = FindActiveId(id);
    if (index < 0) return;
    --activeCount;
    active[index] = active[activeCount];
    activeTimers[index] = activeTimers[activeCount].get();
    activeTimers[activeCount] = NullOf<TTimer>();
    timeKillEvent(id);
}

}  // namespace

int TimerPeriod(float hertz) {
    if (!(hertz > 0)) return 0;  // also NaN
    double period = 1000.0 / static_cast<double>(hertz);
    if (!(period >= 1.0) || period >= 2147483648.0) return 0;
    return static_cast<int>(period);
}

bool TTimer::Start(float hertz, TEvent* tickEvent) {
    if (handle != 0) return false;
    DWORD serial = ++lastSerial;
    UINT id = StartLowLevel(hertz, serial);
    if (id == 0) return false;
    active[activeCount] = ActiveStart{id, serial};
    activeTimers[activeCount] = this;
    ++activeCount;
    self = this;
    event = tickEvent;
    handle = static_cast<int>(id);
    return true;
}

TTimer* TTimer::Create(float hertz, TEvent* event) {
    TTimer* timer = new TTimer;
    if (!timer->Start(hertz, event)) return NullOf<TTimer>();
    return timer;
}

int TTimer::Ticks() { return ticks; }

void TTimer::Stop() {
    if (handle == 0) return;
    StopLowLevel(static_cast<UINT>(handle));
    handle = 0;
    event = NullOf<TEvent>();
    self = NullOf<TTimer>();
}

void TTimer::Fire() {
    if (handle == 0) return;
    ++ticks;
    TEvent* tick = event.get();
    if (IsNull(tick)) tick = CreateEvent(EVENT_TIMERTICK, this, ticks, 0, 0, 0, NullObject());
    tick->Emit();
}

int TTimer::Wait() {
    if (handle == 0) return 0;
    // A hook that stops the timer meanwhile ends the wait too.
    while (ticks == seen && handle != 0) WaitSystemFor("WaitTimer");
    int count = ticks - seen;
    seen = ticks;
    return count;
}

TTimer* CreateTimer(float hertz, TEvent* event) { return TTimer::Create(hertz, event); }
int TimerTicks(TTimer* timer) { return Checked(timer)->Ticks(); }
int WaitTimer(TTimer* timer) { return Checked(timer)->Wait(); }
void StopTimer(TTimer* timer) { Checked(timer)->Stop(); }

unsigned TimerTickMessage() { return tickMessage; }
int ActiveTimerCount() { return activeCount; }

void StartTimerModule() {
    KV_START_ONCE();
    StartEventModule();
    StartSystemModule();
    RegisterClass(&TTimer::classRecord);
}
