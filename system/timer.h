// Timers: a TTimer ticks at a given frequency and on every tick emits an
// event on the main thread (by default EVENT_TIMERTICK with the timer as
// source and the tick count as data).
//
// The ticks come from the multimedia timer, whose callback runs on a thread
// of its own and touches no runtime object: it only posts the registered
// message "kyn_timer_kvtimertick" to the main thread with the multimedia
// timer id and the start's serial number (never an object address). A
// WH_GETMESSAGE hook on the main thread sees that message whenever the
// thread retrieves it with removal (the pump, but also any modal loop) and
// fires the timer that owns the id, if that start is still active.
//
// Invariants kept here:
//  - at most 16 starts are active; active[i] and activeTimers[i] for
//    i < activeCount describe them, and a timer is in that table exactly
//    while its handle is not 0;
//  - a running timer holds a counted reference to itself (self), so it is
//    never freed while it runs even if the program keeps no reference;
//  - serial numbers are never reused, so a tick posted for a stopped start
//    is ignored even when Windows hands the same id to a later start.
#pragma once
#include "runtime/object.h"
#include "system/event.h"

constexpr int kMaxTimers = 16;

class TTimer : public Object {
    KV_CLASS(TTimer, Object)
public:
    int ticks = 0;        // ticks fired so far
    int seen = 0;         // the ticks value at the last Wait
    Ref<TTimer> self;     // this timer while it runs, else the null object
    Ref<TEvent> event;    // emitted on each tick; the null object: a tick event
    int handle = 0;       // the multimedia timer id; 0 when stopped

    virtual int Ticks();
    // Stops the multimedia timer and drops the timer's hold on itself.
    virtual void Stop();
    // One tick, on the main thread: counts it and emits the tick event.
    virtual void Fire();
    // Pumps until at least one tick came since the last Wait; returns how many.
    virtual int Wait();

    // A running timer, or the null object when it cannot be started (16
    // timers run already, hertz is not positive, or Windows refuses).
    static TTimer* Create(float hertz, TEvent* event);

    // Starts an unstarted timer at `hertz`; false when it cannot be started.
    bool Start(float hertz, TEvent* tickEvent);
};

TTimer* CreateTimer(float hertz, TEvent* event = NullOf<TEvent>());
int TimerTicks(TTimer* timer);
int WaitTimer(TTimer* timer);
void StopTimer(TTimer* timer);

// The period a frequency gets: 1000 / hertz milliseconds, truncated; 0 when
// no period of at least 1 ms fits.
int TimerPeriod(float hertz);

// The registered tick message (0 before the first timer started) and the
// number of active multimedia timers.
unsigned TimerTickMessage();
int ActiveTimerCount();

void StartTimerModule();
