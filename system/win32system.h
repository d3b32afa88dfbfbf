// The Win32 system driver: the message pump, waiting for messages, the
// pointer, message boxes, the requesters and opening URLs.
//
// Pump rules (Poll): every message of the thread is taken with PM_REMOVE;
// a modifier key's message first updates the modifier state; a message for
// a tab-stop child goes through IsDialogMessage of its nearest ancestor that
// is not itself a tab-stop child; everything else is translated and
// dispatched. Whatever a window procedure or message hook caught is thrown
// again right after the message is dispatched.
#pragma once
#include <string>

#include "runtime/win32.h"
#include "system/system.h"

class TWin32SystemDriver : public TSystemDriver {
    KV_CLASS(TWin32SystemDriver, TSystemDriver)
public:
    // Requests the 1 ms system timer period (once per process).
    TWin32SystemDriver();

    void Poll() override;
    void Wait() override;
    void MoveMouse(int x, int y) override;
    void SetMouseVisible(int visible) override;
    void Notify(String* text, int serious) override;
    int Confirm(String* text, int serious) override;
    int Proceed(String* text, int serious) override;
    String* RequestFile(String* title, String* extensions, int save, String* initialPath) override;
    String* RequestDir(String* title, String* initialPath) override;
    int OpenURL(String* url) override;
};

// The window that gets a tab-stop child's messages through IsDialogMessage,
// or null when the message goes straight to TranslateMessage and
// DispatchMessage.
HWND DialogMessageTarget(HWND window);

// True once the 1 ms timer period has been requested.
bool TimerPeriodRequested();

// Text conversions for the wide Windows calls.
std::wstring WideText(String* text);
String* StringFromWide(const wchar_t* text);

// Remembers the keyboard focus window and gives the focus back to it when
// the modal call it surrounds has returned.
class FocusKeeper {
public:
    FocusKeeper() : focus_(GetFocus()) {}
    ~FocusKeeper() {
        if (focus_ && IsWindow(focus_)) SetFocus(focus_);
    }
    FocusKeeper(const FocusKeeper&) = delete;
    FocusKeeper& operator=(const FocusKeeper&) = delete;

private:
    HWND focus_;
};
