// Translation of window messages into events, for the program's own windows.
//
// A window procedure hands each message to SystemEmitOSEvent with the object
// that stands for the window (a gadget, or the null object for the graphics
// window); what else the procedure does with the message is its own affair.
// Input messages become events emitted at once, inside the window procedure.
// Messages outside the translation table are ignored, except WM_DESTROY,
// which makes the tracking forget a destroyed window (so window procedures
// should hand that message on too).
//
// SystemEmitOSEvent never throws: it runs inside window procedures, which
// Windows calls. Whatever a hook throws is kept (CatchForRethrow) and thrown
// again by the message pump right after DispatchMessage returns.
//
// The module also keeps the modifier-key state, which window the pointer is
// over (for the enter and leave events) and the cursor rule.
#pragma once
#include "runtime/object.h"
#include "runtime/win32.h"

void SystemEmitOSEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Object* source);

// The key code of a key message: the virtual key, with the shift, control
// and alt keys told apart by their scan codes (160 to 165); 0 for keys the
// translation ignores (virtual key 0, or 256 and above).
int TranslateKeyCode(WPARAM wParam, LPARAM lParam);

// 1 shift, 2 control, 4 alt, 8 either Windows key; the pump recomputes it
// whenever it takes a modifier key's message.
int ModifierState();
void UpdateModifierState();
bool IsModifierKeyMessage(const MSG& message);

// The cursor-visible flag (1 at start) and the cursor rule: the pointer is
// hidden only when the flag is 0 and a window of the program is tracked.
void SetCursorVisibleFlag(int visible);
int CursorVisibleFlag();
void ApplyCursorRule();

// The window the pointer is over, or null.
HWND TrackedWindow();
Object* TrackedSource();
