// The hot-key registry: key and modifier combinations that raise an event,
// optionally only while a given window is in front. A singly linked list,
// the newest registration first.
#pragma once
#include <cstdint>

#include "runtime/object.h"
#include "system/event.h"

constexpr int EVENT_HOTKEYHIT = 4097;  // the event of a registration made without one

class THotKey : public Object {
    KV_CLASS(THotKey, Object)
public:
    Ref<THotKey> next;
    int key = 0;   // virtual key code
    int mods = 0;  // 1 shift, 2 control, 4 alt, 8 the Windows key
    Ref<TEvent> event;
    uintptr_t owner = 0;  // native window handle; 0 any window
};

// Registers (or, for a key and mods already registered, updates) a hot key;
// a null event becomes a new EVENT_HOTKEYHIT event with data = key and
// mods = mods. Returns the registration.
THotKey* SetHotKeyEvent(int key, int mods, TEvent* event, uintptr_t owner);
// Unlinks a registration; one not in the registry is ignored.
void RemoveHotKey(THotKey* hotKey);
// The event of the first registration for key and mods whose owner is 0 or
// `window`, or the null object.
TEvent* HotKeyEvent(int key, int mods, uintptr_t window);

void StartHotKeyModule();
