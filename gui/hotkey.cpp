#include "gui/hotkey.h"

#include "runtime/startup.h"

KV_DEFINE_CLASS(THotKey, Object);

namespace {

Ref<THotKey> firstHotKey;  // newest first; the null object when none

THotKey* FindHotKey(int key, int mods) {
    for (THotKey* hotKey = firstHotKey; !IsNull(hotKey); hotKey = hotKey->next) {
        if (hotKey->key == key && hotKey->mods == mods) return hotKey;
    }
    return NullOf<THotKey>();
}

}  // namespace

THotKey* SetHotKeyEvent(int key, int mods, TEvent* event, uintptr_t owner) {
    if (IsNull(event)) event = TEvent::Create(EVENT_HOTKEYHIT, NullObject(), key, mods, 0, 0, NullObject());
    THotKey* hotKey = FindHotKey(key, mods);
    if (IsNull(hotKey)) {
        hotKey = new THotKey();
        hotKey->key = key;
        hotKey->mods = mods;
        hotKey->next = firstHotKey.get();
        firstHotKey = hotKey;
    }
    hotKey->event = event;
    hotKey->owner = owner;
    return hotKey;
}

void RemoveHotKey(THotKey* hotKey) {
    if (IsNull(hotKey)) return;
    if (firstHotKey.get() == hotKey) {
        firstHotKey = hotKey->next.get();
        return;
    }
    for (THotKey* before = firstHotKey; !IsNull(before); before = before->next) {
        if (before->next.get() == hotKey) {
            before->next = hotKey->next.get();
            return;
        }
    }
}

TEvent* HotKeyEvent(int key, int mods, uintptr_t window) {
    for (THotKey* hotKey = firstHotKey; !IsNull(hotKey); hotKey = hotKey->next) {
        if (hotKey->key == key && hotKey->mods == mods && (hotKey->owner == 0 || hotKey->owner == window)) {
            return hotKey->event;
        }
    }
    return NullOf<TEvent>();
}

void StartHotKeyModule() {
    KV_START_ONCE();
    StartEventModule();
    RegisterClass(&THotKey::classRecord);
}
