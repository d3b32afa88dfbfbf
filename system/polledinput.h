// Polled input: key and button states and hit counters, the typed
// characters, the pointer position and wheel total, and the application's
// suspend and terminate flags, kept by a hook on EmitEventHook (priority 0,
// so it sees every event before the queue hook).
//
// The hook is installed by EnablePolledInput and removed by
// DisablePolledInput; the graphics layer enables it (for every source) when
// it opens the default graphics context. Every query below except the flush
// and wait operations first pumps the system (PollSystem) while the
// auto-poll flag is set, which it is from the start.
//
// Invariants kept here: key codes index 1..255 and buttons 1..3 only (events
// carrying other numbers change nothing); 0 <= charPut - charGet <= 256.
#pragma once
#include "runtime/object.h"

// Events from other sources than `source` are ignored, unless it is the null object.
void EnablePolledInput(Object* source = NullObject());
void DisablePolledInput();
bool PolledInputEnabled();
Object* PolledInputSource();

int KeyDown(int key);  // 1 while the key with that virtual-key code is down
int KeyHit(int key);   // presses since the last call for that key
int GetChar();         // the oldest typed character (removed), or 0
void FlushKeys();

int MouseDown(int button);  // 1 left, 2 right, 3 middle
int MouseHit(int button);
int MouseX();
int MouseY();
int MouseZ();  // wheel total
// The button states and hits and the wheel total; x and y stay.
void FlushMouse();

// Flush first, then pump until a key (1..255) is hit / a character is
// typed / a button is hit; the lowest such key or button.
int WaitKey();
int WaitChar();
int WaitMouse();

int AppSuspended();
int AppTerminate();  // the terminate flag, cleared by reading it

void StartPolledInputModule();
