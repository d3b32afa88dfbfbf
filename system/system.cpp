#include "system/system.h"

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/filesystem.h"
#include "system/event.h"
#include "system/win32system.h"

KV_DEFINE_CLASS(TSystemDriver, Object);

void TSystemDriver::Poll() { ThrowNullMethodError(); }
void TSystemDriver::Wait() { ThrowNullMethodError(); }
void TSystemDriver::MoveMouse(int, int) { ThrowNullMethodError(); }
void TSystemDriver::SetMouseVisible(int) { ThrowNullMethodError(); }
void TSystemDriver::Notify(String*, int) { ThrowNullMethodError(); }
int TSystemDriver::Confirm(String*, int) { ThrowNullMethodError(); }
int TSystemDriver::Proceed(String*, int) { ThrowNullMethodError(); }
String* TSystemDriver::RequestFile(String*, String*, int, String*) { ThrowNullMethodError(); }
String* TSystemDriver::RequestDir(String*, String*) { ThrowNullMethodError(); }
int TSystemDriver::OpenURL(String*) { ThrowNullMethodError(); }

namespace {

Ref<TSystemDriver> currentDriver;
bool pumping = false;

// Sets the pumping flag for one pump; clears it even when a hook throws.
class PumpGuard {
public:
    PumpGuard() { pumping = true; }
    ~PumpGuard() { pumping = false; }
    PumpGuard(const PumpGuard&) = delete;
    PumpGuard& operator=(const PumpGuard&) = delete;
};

}  // namespace

TSystemDriver* SystemDriver() { return currentDriver.get(); }

void PollSystem() {
    if (pumping) return;
    PumpGuard guard;
    currentDriver->Poll();
}

void WaitSystem() {
    if (pumping) return;
    PumpGuard guard;
    currentDriver->Wait();
}

bool SystemPumping() { return pumping; }

void WaitSystemFor(const char* waiter) {
    // Inside the pump nothing new can arrive until the hook or window
    // procedure returns, and the nested pump returns at once: the caller's
    // loop would spin for ever.
    if (pumping) {
        RuntimeError(Concat(String::FromCString(waiter),
                            u" cannot wait while the system pump runs (inside an event hook or window procedure)"_s));
    }
    WaitSystem();
}

void MoveMouse(int x, int y) { currentDriver->MoveMouse(x, y); }
void ShowMouse() { currentDriver->SetMouseVisible(1); }
void HideMouse() { currentDriver->SetMouseVisible(0); }

void Notify(String* text, int serious) { currentDriver->Notify(text, serious); }
int Confirm(String* text, int serious) { return currentDriver->Confirm(text, serious); }
int Proceed(String* text, int serious) { return currentDriver->Proceed(text, serious); }

String* RequestFile(String* title, String* extensions, int save, String* initialPath) {
    return currentDriver->RequestFile(title, extensions, save, initialPath);
}

String* RequestDir(String* title, String* initialPath) { return currentDriver->RequestDir(title, initialPath); }

int OpenURL(String* url) { return currentDriver->OpenURL(url); }

void StartSystemModule() {
    KV_START_ONCE();
    StartRuntimeCore();
    StartFileSystemModule();
    StartEventModule();
    RegisterClass(&TSystemDriver::classRecord);
    RegisterClass(&TWin32SystemDriver::classRecord);
    currentDriver = new TWin32SystemDriver;
}
