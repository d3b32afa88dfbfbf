#include "system/event.h"

#include <string>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "system/system.h"

KV_DEFINE_CLASS(THook, Object);
KV_DEFINE_CLASS(TEvent, Object);

int EmitEventHook = -1;

namespace {

Ref<Array> hookTable;  // ":THook", kHookIdCount chain heads
int hookCounter = -1;

Ref<Array> eventQueue;  // ":kyn.event.TEvent", kEventQueueSize slots
uint32_t queuePut = 0;
uint32_t queueGet = 0;

Ref<TEvent> currentEvent;
Ref<TEvent> nullEvent;

void CheckHookId(int id) {
    if (id < 0 || id >= kHookIdCount) ThrowArrayBoundsError();
}

THook* ChainHead(int id) { return static_cast<THook*>(hookTable->ObjectAt(id)); }

bool QueueEmpty() { return queuePut == queueGet; }

TEvent* QueuedAt(uint32_t counter) {
    return static_cast<TEvent*>(eventQueue->ObjectAt(static_cast<int>(counter & (kEventQueueSize - 1))));
}

// The ids whose bursts from one source are merged into one queue entry.
bool IsCoalesced(int id) {
    return id == EVENT_TIMERTICK || id == EVENT_GADGETACTION || id == EVENT_WINDOWMOVE ||
           id == EVENT_WINDOWSIZE;
}

// Updates the first queued event with the same id and source; false if none.
bool UpdateQueued(TEvent* event) {
    for (uint32_t i = queueGet; i != queuePut; ++i) {
        TEvent* queued = QueuedAt(i);
        if (queued->id == event->id && queued->source.get() == event->source.get()) {
            queued->data = event->data;
            queued->mods = event->mods;
            queued->x = event->x;
            queued->y = event->y;
            queued->extra = event->extra.get();
            return true;
        }
    }
    return false;
}

// Removes the oldest event into CurrentEvent; the queue must not be empty.
int TakeEvent() {
    int slot = static_cast<int>(queueGet & (kEventQueueSize - 1));
    currentEvent = static_cast<TEvent*>(eventQueue->ObjectAt(slot));
    eventQueue->SetObject(slot, NullObject());
    ++queueGet;
    return currentEvent->id;
}

Object* QueueHook(int, Object* data, Object*) {
    TEvent* event = Downcast<TEvent>(data);
    if (IsNull(event)) return NullObject();
    PostEvent(event, IsCoalesced(event->id) ? 1 : 0);
    return event;
}

const char16_t* KnownEventName(int id) {
    switch (id) {
        case EVENT_APPSUSPEND: return u"AppSuspend";
        case EVENT_APPRESUME: return u"AppResume";
        case EVENT_APPTERMINATE: return u"AppTerminate";
        case EVENT_APPOPENFILE: return u"AppOpenFile";
        case EVENT_KEYDOWN: return u"KeyDown";
        case EVENT_KEYUP: return u"KeyUp";
        case EVENT_KEYCHAR: return u"KeyChar";
        case EVENT_KEYREPEAT: return u"KeyRepeat";
        case EVENT_MOUSEDOWN: return u"MouseDown";
        case EVENT_MOUSEUP: return u"MouseUp";
        case EVENT_MOUSEMOVE: return u"MouseMove";
        case EVENT_MOUSEWHEEL: return u"MouseWheel";
        case EVENT_MOUSEENTER: return u"MouseEnter";
        case EVENT_MOUSELEAVE: return u"MouseLeave";
        case EVENT_TIMERTICK: return u"TimerTick";
        case EVENT_GADGETACTION: return u"GadgetAction";
        case EVENT_GADGETPAINT: return u"GadgetPaint";
        case EVENT_GADGETSELECT: return u"GadgetSelect";
        case EVENT_GADGETMENU: return u"GadgetMenu";
        case EVENT_GADGETOPEN: return u"GadgetOpen";
        case EVENT_GADGETCLOSE: return u"GadgetClose";
        case EVENT_GADGETDONE: return u"GadgetDone";
        case EVENT_GADGETLOSTFOCUS: return u"GadgetLostFocus";
        case EVENT_WINDOWMOVE: return u"WindowMove";
        case EVENT_WINDOWSIZE: return u"WindowSize";
        case EVENT_WINDOWCLOSE: return u"WindowClose";
        case EVENT_WINDOWACTIVATE: return u"WindowActivate";
        case EVENT_WINDOWACCEPT: return u"WindowAccept";
        case EVENT_MENUACTION: return u"MenuAction";
        default: return nullptr;
    }
}

void Append(std::u16string& text, String* s) { text.append(s->Text(), static_cast<size_t>(s->length)); }

void AppendNumber(std::u16string& text, const char16_t* label, int value) {
    text += label;
    Append(text, String::FromInt(value));
}

}  // namespace

// ---- hooks ----

int AllocHookId() {
    if (hookCounter >= kHookIdCount - 1) ThrowCError("Too many hook ids");
    return ++hookCounter;
}

void AddHook(int id, HookFunction func, Object* context, int priority) {
    CheckHookId(id);
    if (!func) RuntimeError("AddHook needs a hook function");
    THook* hook = new THook;
    hook->priority = priority;
    hook->func = func;
    hook->context = context;
    THook* head = ChainHead(id);
    if (IsNull(head) || head->priority < priority) {
        hook->succ = head;
        hookTable->SetObject(id, hook);
        return;
    }
    THook* after = head;
    while (!IsNull(after->succ.get()) && after->succ->priority >= priority) after = after->succ.get();
    hook->succ = after->succ.get();
    after->succ = hook;
}

Object* RunHooks(int id, Object* data) {
    CheckHookId(id);
    for (THook* hook = ChainHead(id); !IsNull(hook); hook = hook->succ.get()) {
        data = hook->func(id, data, hook->context.get());
    }
    return data;
}

void RemoveHook(int id, HookFunction func, Object* context) {
    CheckHookId(id);
    THook* previous = nullptr;
    for (THook* hook = ChainHead(id); !IsNull(hook); hook = hook->succ.get()) {
        if (hook->func == func && hook->context.get() == context) {
            // The unlinked hook keeps its succ for a RunHooks standing on it.
            if (previous) {
                previous->succ = hook->succ.get();
            } else {
                hookTable->SetObject(id, hook->succ.get());
            }
            return;
        }
        previous = hook;
    }
}

// ---- events ----

TEvent* TEvent::Create(int id, Object* source, int data, int mods, int x, int y, Object* extra) {
    TEvent* event = new TEvent;
    event->id = id;
    event->source = source;
    event->data = data;
    event->mods = mods;
    event->x = x;
    event->y = y;
    event->extra = extra;
    return event;
}

void TEvent::Emit() { RunHooks(EmitEventHook, this); }

String* EventIdText(int id) {
    if (const char16_t* name = KnownEventName(id)) return String::FromWString(name);
    return Concat(u"Unknown Event, id="_s, String::FromInt(id));
}

String* TEvent::ToString() {
    std::u16string text;
    Append(text, EventIdText(id));
    AppendNumber(text, u": data=", data);
    AppendNumber(text, u", mods=", mods);
    AppendNumber(text, u", x=", x);
    AppendNumber(text, u", y=", y);
    text += u", extra=\"";
    if (String* s = Downcast<String>(extra.get()); !IsNull(s)) Append(text, s);
    text += u'"';
    return String::FromShorts(text.data(), static_cast<int>(text.size()));
}

TEvent* CreateEvent(int id, Object* source, int data, int mods, int x, int y, Object* extra) {
    return TEvent::Create(id, source, data, mods, x, y, extra);
}

void EmitEvent(TEvent* event) { Checked(event)->Emit(); }

void PostEvent(TEvent* event, int update) {
    Checked(event);
    if (update && UpdateQueued(event)) return;
    if (queuePut - queueGet >= static_cast<uint32_t>(kEventQueueSize)) return;  // full: dropped
    eventQueue->SetObject(static_cast<int>(queuePut & (kEventQueueSize - 1)), event);
    ++queuePut;
}

int PollEvent() {
    if (QueueEmpty()) PollSystem();
    if (QueueEmpty()) {
        currentEvent = nullEvent.get();
        return 0;
    }
    return TakeEvent();
}

int WaitEvent() {
    while (QueueEmpty()) WaitSystemFor("WaitEvent");
    return TakeEvent();
}

TEvent* PeekEvent() {
    if (QueueEmpty()) PollSystem();
    if (QueueEmpty()) return NullOf<TEvent>();
    return QueuedAt(queueGet);
}

TEvent* CurrentEvent() { return currentEvent.get(); }
int EventID() { return currentEvent->id; }
int EventData() { return currentEvent->data; }
int EventMods() { return currentEvent->mods; }
int EventX() { return currentEvent->x; }
int EventY() { return currentEvent->y; }
Object* EventSource() { return currentEvent->source.get(); }
Object* EventExtra() { return currentEvent->extra.get(); }

String* EventText() {
    String* text = Downcast<String>(currentEvent->extra.get());
    return IsNull(text) ? EmptyString() : text;
}

int EventSourceHandle() { return HandleFromObject(currentEvent->source.get()); }

void StartEventModule() {
    KV_START_ONCE();
    StartRuntimeCore();
    RegisterClass(&THook::classRecord);
    RegisterClass(&TEvent::classRecord);
    hookTable = NewArray(":THook", kHookIdCount);
    EmitEventHook = AllocHookId();
    StartSystemModule();
    eventQueue = NewArray(":kyn.event.TEvent", kEventQueueSize);
    AddHook(EmitEventHook, QueueHook, NullObject(), -10000);
    nullEvent = TEvent::Create(0, NullObject(), 0, 0, 0, 0, NullObject());
    currentEvent = nullEvent.get();
}
