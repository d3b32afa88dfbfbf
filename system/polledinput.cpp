#include "system/polledinput.h"

#include <cstring>

#include "runtime/startup.h"
#include "system/event.h"
#include "system/system.h"

namespace {

constexpr int kKeys = 256;
constexpr int kButtons = 4;  // index 1 left, 2 right, 3 middle
constexpr int kCharQueue = 256;

int keyStates[kKeys];
int keyHits[kKeys];
int mouseStates[kButtons];
int mouseHits[kButtons];
int mouseLocation[3];  // x, y, wheel total
int charQueue[kCharQueue];
uint32_t charPut = 0;
uint32_t charGet = 0;
int suspended = 0;
int terminateFlag = 0;
int autoPoll = 1;
Ref<Object> inputSource;
bool enabled = false;

void AutoPoll() {
    if (autoPoll) PollSystem();
}

bool ValidKey(int key) { return key > 0 && key < kKeys; }
bool ValidButton(int button) { return button > 0 && button < kButtons; }

void ClearKeys() {
    charGet = charPut;
    std::memset(keyStates, 0, sizeof keyStates);
    std::memset(keyHits, 0, sizeof keyHits);
}

void ClearMouse() {
    std::memset(mouseStates, 0, sizeof mouseStates);
    std::memset(mouseHits, 0, sizeof mouseHits);
    mouseLocation[2] = 0;
}

void Press(int* states, int* hits, int index) {
    if (states[index] == 0) {
        states[index] = 1;
        ++hits[index];
    }
}

void QueueChar(int code) {
    if (charPut - charGet >= static_cast<uint32_t>(kCharQueue)) return;  // full: dropped
    charQueue[charPut++ & (kCharQueue - 1)] = code;
}

void Apply(TEvent* event) {
    int data = event->data;
    switch (event->id) {
        case EVENT_APPSUSPEND:
        case EVENT_APPRESUME:
            ClearKeys();
            ClearMouse();
            suspended = event->id == EVENT_APPSUSPEND ? 1 : 0;
            break;
        case EVENT_APPTERMINATE: terminateFlag = 1; break;
        case EVENT_KEYDOWN:
            if (ValidKey(data)) Press(keyStates, keyHits, data);
            break;
        case EVENT_KEYUP:
            if (ValidKey(data)) keyStates[data] = 0;
            break;
        case EVENT_KEYCHAR: QueueChar(data); break;
        case EVENT_MOUSEDOWN:
            if (ValidButton(data)) Press(mouseStates, mouseHits, data);
            break;
        case EVENT_MOUSEUP:
            if (ValidButton(data)) mouseStates[data] = 0;
            break;
        case EVENT_MOUSEMOVE:
            mouseLocation[0] = event->x;
            mouseLocation[1] = event->y;
            break;
        case EVENT_MOUSEWHEEL: mouseLocation[2] += data; break;
        default: break;
    }
}

Object* PolledInputHook(int, Object* data, Object*) {
    TEvent* event = Downcast<TEvent>(data);
    if (!IsNull(event) && (IsNull(inputSource.get()) || inputSource.get() == event->source.get())) Apply(event);
    return data;
}

// The lowest key (or button) in [1, count) with a hit, its hit count reset; 0 if none.
int TakeLowestHit(int* hits, int count) {
    for (int i = 1; i < count; ++i) {
        if (hits[i]) {
            hits[i] = 0;
            return i;
        }
    }
    return 0;
}

}  // namespace

void EnablePolledInput(Object* source) {
    if (enabled) return;
    inputSource = source;
    FlushKeys();
    FlushMouse();
    AddHook(EmitEventHook, PolledInputHook, NullObject(), 0);
    enabled = true;
}

void DisablePolledInput() {
    if (!enabled) return;
    RemoveHook(EmitEventHook, PolledInputHook, NullObject());
    FlushKeys();
    FlushMouse();
    inputSource = NullObject();
    enabled = false;
}

bool PolledInputEnabled() { return enabled; }
Object* PolledInputSource() { return inputSource.get(); }

int KeyDown(int key) {
    AutoPoll();
    return ValidKey(key) ? keyStates[key] : 0;
}

int KeyHit(int key) {
    AutoPoll();
    if (!ValidKey(key)) return 0;
    int hits = keyHits[key];
    keyHits[key] = 0;
    return hits;
}

int GetChar() {
    AutoPoll();
    if (charGet == charPut) return 0;
    return charQueue[charGet++ & (kCharQueue - 1)];
}

void FlushKeys() {
    PollSystem();
    ClearKeys();
}

int MouseDown(int button) {
    AutoPoll();
    return ValidButton(button) ? mouseStates[button] : 0;
}

int MouseHit(int button) {
    AutoPoll();
    if (!ValidButton(button)) return 0;
    int hits = mouseHits[button];
    mouseHits[button] = 0;
    return hits;
}

int MouseX() {
    AutoPoll();
    return mouseLocation[0];
}

int MouseY() {
    AutoPoll();
    return mouseLocation[1];
}

int MouseZ() {
    AutoPoll();
    return mouseLocation[2];
}

void FlushMouse() {
    PollSystem();
    ClearMouse();
}

int WaitKey() {
    FlushKeys();
    for (;;) {
        if (int key = TakeLowestHit(keyHits, kKeys)) return key;
        WaitSystemFor("WaitKey");
    }
}

int WaitChar() {
    FlushKeys();
    for (;;) {
        if (charGet != charPut) return charQueue[charGet++ & (kCharQueue - 1)];
        WaitSystemFor("WaitChar");
    }
}

int WaitMouse() {
    FlushMouse();
    for (;;) {
        if (int button = TakeLowestHit(mouseHits, kButtons)) return button;
        WaitSystemFor("WaitMouse");
    }
}

int AppSuspended() {
    AutoPoll();
    return suspended;
}

int AppTerminate() {
    AutoPoll();
    int flag = terminateFlag;
    terminateFlag = 0;
    return flag;
}

void StartPolledInputModule() {
    KV_START_ONCE();
    StartEventModule();
    StartSystemModule();
}
