// The system driver: the program's link to the platform's message system.
//
// PollSystem and WaitSystem pump the thread's window messages through the
// current driver; window procedures turn the messages of the program's own
// windows into events (SystemEmitOSEvent, osevent.h). The driver also offers
// the few system services that go through the same object: moving and
// hiding the pointer, message boxes, file and folder requesters, opening a
// URL. One TWin32SystemDriver (win32system.h) is made at module start-up.
#pragma once
#include "runtime/object.h"
#include "runtime/string.h"

class TSystemDriver : public Object {
    KV_CLASS(TSystemDriver, Object)
public:
    // Every slot is abstract here: the base class raises TNullMethodException.
    virtual void Poll();
    virtual void Wait();
    virtual void MoveMouse(int x, int y);
    virtual void SetMouseVisible(int visible);
    virtual void Notify(String* text, int serious);
    virtual int Confirm(String* text, int serious);
    virtual int Proceed(String* text, int serious);
    virtual String* RequestFile(String* title, String* extensions, int save, String* initialPath);
    virtual String* RequestDir(String* title, String* initialPath);
    virtual int OpenURL(String* url);
};

TSystemDriver* SystemDriver();

// Pump the messages waiting now (Poll) or wait for at least one first
// (Wait). A call made while the pump runs (from a hook or a window
// procedure) returns at once instead of pumping recursively.
void PollSystem();
void WaitSystem();
// True while PollSystem or WaitSystem runs.
bool SystemPumping();
// WaitSystem for a loop that waits until something arrives; called while the
// pump runs (from a hook or window procedure) it raises a runtime error
// naming `waiter` instead of returning at once for ever.
void WaitSystemFor(const char* waiter);

// The point in client coordinates of the active window (screen coordinates
// when there is none).
void MoveMouse(int x, int y);
// The pointer is hidden only while it is over one of the program's windows.
void ShowMouse();
void HideMouse();

// Message boxes captioned with AppTitle. Confirm: 1 for OK, 0 otherwise.
// Proceed: 1 for Yes, 0 for No, -1 for Cancel.
void Notify(String* text, int serious = 0);
int Confirm(String* text, int serious = 0);
int Proceed(String* text, int serious = 0);

// The chosen path ("/" separators), or the empty string when cancelled.
// extensions: "png,jpg" or groups "Images:png,jpg;Text:txt".
String* RequestFile(String* title, String* extensions = EmptyString(), int save = 0,
                    String* initialPath = EmptyString());
String* RequestDir(String* title, String* initialPath = EmptyString());

// Hands the url to the shell; 1 if the shell accepted it, 0 if it refused
// or the url was not safe to hand over (see shellurl.h).
int OpenURL(String* url);

void StartSystemModule();
