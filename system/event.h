// Events, hook chains and the event queue.
//
// Everything that happens to the program becomes a TEvent that is emitted:
// it runs through the hook chain of EmitEventHook in priority order. The
// runtime installs two hooks there: the polled-input hook (priority 0, see
// polledinput.h) and the queue hook (priority -10000), which stores the event
// in a 256-entry ring that PollEvent and WaitEvent read.
//
// Invariants kept here:
//  - the hook table has 256 slots, each the head of one chain (the null
//    object when empty); along a chain priorities never increase, and hooks
//    of equal priority stand in the order they were added;
//  - an unlinked hook keeps its succ, so RunHooks, which holds the hook it is
//    calling in a local, carries on correctly when a hook removes itself;
//  - queue slots in [get, put) (taken & 255) hold the queued events in
//    arrival order; every other slot holds the null object; 0 <= put - get
//    <= 256, both counters count up and wrap at 2^32.
#pragma once
#include "runtime/object.h"
#include "runtime/string.h"

// Event ids: the high bits name the group, the low bits the event.
constexpr int EVENT_APPSUSPEND = 0x101;
constexpr int EVENT_APPRESUME = 0x102;
constexpr int EVENT_APPTERMINATE = 0x103;
constexpr int EVENT_APPOPENFILE = 0x104;
constexpr int EVENT_KEYDOWN = 0x201;
constexpr int EVENT_KEYUP = 0x202;
constexpr int EVENT_KEYCHAR = 0x203;
constexpr int EVENT_KEYREPEAT = 0x204;
constexpr int EVENT_MOUSEDOWN = 0x401;
constexpr int EVENT_MOUSEUP = 0x402;
constexpr int EVENT_MOUSEMOVE = 0x403;
constexpr int EVENT_MOUSEWHEEL = 0x404;
constexpr int EVENT_MOUSEENTER = 0x405;
constexpr int EVENT_MOUSELEAVE = 0x406;
constexpr int EVENT_TIMERTICK = 0x801;
constexpr int EVENT_GADGETACTION = 0x2001;
constexpr int EVENT_GADGETPAINT = 0x2002;
constexpr int EVENT_GADGETSELECT = 0x2003;
constexpr int EVENT_GADGETMENU = 0x2004;
constexpr int EVENT_GADGETOPEN = 0x2005;
constexpr int EVENT_GADGETCLOSE = 0x2006;
constexpr int EVENT_GADGETDONE = 0x2007;
constexpr int EVENT_GADGETLOSTFOCUS = 0x2008;
constexpr int EVENT_WINDOWMOVE = 0x4001;
constexpr int EVENT_WINDOWSIZE = 0x4002;
constexpr int EVENT_WINDOWCLOSE = 0x4003;
constexpr int EVENT_WINDOWACTIVATE = 0x4004;
constexpr int EVENT_WINDOWACCEPT = 0x4005;
constexpr int EVENT_MENUACTION = 0x8001;

constexpr int kEventQueueSize = 256;
constexpr int kHookIdCount = 256;

// ---- hooks ----

// A hook function: its result becomes the data passed to the next hook.
using HookFunction = Object* (*)(int id, Object* data, Object* context);

class THook : public Object {
    KV_CLASS(THook, Object)
public:
    Ref<THook> succ;  // the next hook; the null object ends the chain
    int priority = 0;  // higher runs earlier
    HookFunction func = nullptr;
    Ref<Object> context;  // passed back to func unchanged
};

// The next free hook id, 0 to 255; throws the string "Too many hook ids" after that.
int AllocHookId();
// Inserts after every hook of the chain whose priority is >= `priority`.
void AddHook(int id, HookFunction func, Object* context, int priority);
// Calls each hook of the chain in order, each time replacing data by its result.
Object* RunHooks(int id, Object* data);
// Unlinks the first hook with this func and context; nothing if none matches.
void RemoveHook(int id, HookFunction func, Object* context);

// The id whose chain every emitted event runs through (the first id allocated).
extern int EmitEventHook;

// ---- events ----

class TEvent : public Object {
    KV_CLASS(TEvent, Object)
public:
    int id = 0;
    Ref<Object> source;  // what raised it, or the null object
    int data = 0;        // key code, button, wheel steps, tick count...
    int mods = 0;        // 1 shift, 2 control, 4 alt, 8 the Windows keys
    int x = 0;           // pointer position in client coordinates where relevant
    int y = 0;
    Ref<Object> extra;   // an additional object, often a string

    // "KeyDown: data=65, mods=1, x=0, y=0, extra=\"\""
    String* ToString() override;
    // Runs the EmitEventHook chain with this event, discarding the result.
    virtual void Emit();
    static TEvent* Create(int id, Object* source, int data, int mods, int x, int y, Object* extra);
};

// The name text of an event id ("KeyDown"), or "Unknown Event, id=N".
String* EventIdText(int id);

TEvent* CreateEvent(int id, Object* source, int data = 0, int mods = 0, int x = 0, int y = 0,
                    Object* extra = NullObject());
void EmitEvent(TEvent* event);
// Stores an event in the queue; with `update` set, an event already queued
// with the same id and source takes the new values instead.
void PostEvent(TEvent* event, int update);

// Takes the oldest event into CurrentEvent and returns its id; pumps the
// system once when the queue is empty; 0 (and the null event) if nothing came.
int PollEvent();
// Pumps the system until an event is queued, then takes it like PollEvent.
int WaitEvent();
// The oldest queued event without taking it (pumping once when the queue is
// empty), or the null object.
TEvent* PeekEvent();

TEvent* CurrentEvent();
int EventID();
int EventData();
int EventMods();
int EventX();
int EventY();
Object* EventSource();
Object* EventExtra();
String* EventText();  // the extra if it is a string, else the empty string
int EventSourceHandle();

void StartEventModule();
