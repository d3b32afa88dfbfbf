#include "system/win32system.h"

#include <cstdlib>

#include <shellapi.h>

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "system/osevent.h"
#include "system/requesters.h"
#include "system/shellurl.h"

KV_DEFINE_CLASS(TWin32SystemDriver, TSystemDriver);

namespace {

bool timerPeriodRequested = false;

void EndTimerPeriod() { timeEndPeriod(1); }

bool IsTabStopChild(HWND window) {
    const LONG both = WS_CHILD | WS_TABSTOP;
    return (GetWindowLongW(window, GWL_STYLE) & both) == both;
}

void TranslateAndDispatch(const MSG& message) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void DispatchOne(MSG& message) {
    HWND dialog = DialogMessageTarget(message.hwnd);
    if (!dialog || !IsDialogMessageW(dialog, &message)) TranslateAndDispatch(message);
}

int ShowMessageBox(String* text, int serious, UINT buttons) {
    UINT style = buttons | MB_TOPMOST | (serious ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
    std::wstring body = WideText(text);
    std::wstring caption = WideText(AppTitle.get());
    int answer;
    {
        FocusKeeper focus;
        answer = MessageBoxW(GetActiveWindow(), body.c_str(), caption.c_str(), style);
    }
    // Timer ticks fire inside the box's modal loop; a hook may have thrown there.
    RethrowPending();
    return answer;
}

}  // namespace

HWND DialogMessageTarget(HWND window) {
    if (!window || !IsTabStopChild(window)) return nullptr;
    HWND ancestor = GetParent(window);
    while (ancestor && IsTabStopChild(ancestor)) ancestor = GetParent(ancestor);
    return ancestor;
}

bool TimerPeriodRequested() { return timerPeriodRequested; }

std::wstring WideText(String* text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text->Text()), static_cast<size_t>(text->length));
}

String* StringFromWide(const wchar_t* text) { return String::FromWString(reinterpret_cast<const char16_t*>(text)); }

TWin32SystemDriver::TWin32SystemDriver() {
    if (!timerPeriodRequested) {
        timeBeginPeriod(1);
        timerPeriodRequested = true;
        std::atexit(EndTimerPeriod);
    }
    SetCursorVisibleFlag(1);
}

void TWin32SystemDriver::Poll() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsModifierKeyMessage(message)) UpdateModifierState();
        DispatchOne(message);
        RethrowPending();
    }
    // The message hook runs inside PeekMessage even when it finds nothing more.
    RethrowPending();
}

void TWin32SystemDriver::Wait() {
    // MWMO_INPUTAVAILABLE: input that an earlier peek saw but left queued
    // wakes the wait as well, instead of only input that arrives later.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    Poll();
}

void TWin32SystemDriver::MoveMouse(int x, int y) {
    POINT point{x, y};
    if (HWND active = GetActiveWindow()) ClientToScreen(active, &point);
    SetCursorPos(point.x, point.y);
}

void TWin32SystemDriver::SetMouseVisible(int visible) { SetCursorVisibleFlag(visible); }

void TWin32SystemDriver::Notify(String* text, int serious) { ShowMessageBox(text, serious, MB_OK); }

int TWin32SystemDriver::Confirm(String* text, int serious) {
    return ShowMessageBox(text, serious, MB_OKCANCEL) == IDOK ? 1 : 0;
}

int TWin32SystemDriver::Proceed(String* text, int serious) {
    switch (ShowMessageBox(text, serious, MB_YESNOCANCEL)) {
        case IDYES: return 1;
        case IDNO: return 0;
        default: return -1;
    }
}

String* TWin32SystemDriver::RequestFile(String* title, String* extensions, int save, String* initialPath) {
    String* chosen;
    {
        FocusKeeper focus;
        chosen = ShowFileRequester(title, extensions, save, initialPath);
    }
    RethrowPending();
    return chosen;
}

String* TWin32SystemDriver::RequestDir(String* title, String* initialPath) {
    String* chosen;
    {
        FocusKeeper focus;
        chosen = ShowDirRequester(title, initialPath);
    }
    RethrowPending();
    return chosen;
}

int TWin32SystemDriver::OpenURL(String* url) {
    String* target = ShellUrlFor(url);
    if (target->length == 0) return 0;
    std::wstring wide = WideText(target);
    HINSTANCE result = ShellExecuteW(nullptr, nullptr, wide.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    RethrowPending();
    return reinterpret_cast<INT_PTR>(result) > 32 ? 1 : 0;
}
