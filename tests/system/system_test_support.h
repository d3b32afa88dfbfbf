// Shared helpers of the system tests: plain Win32 test windows whose window
// procedure hands every message to SystemEmitOSEvent, real input through
// xdotool on the Xvfb display, and event readers that pump with a timeout.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/object.h"
#include "runtime/win32.h"
#include "system/event.h"

// How long a test waits for something it expects before it gives up: long
// enough for a loaded machine running the collector's stress mode.
constexpr int kWaitLimitMs = 60000;

// A borderless top-level window at a fixed place of the screen. Its source
// object (given to SystemEmitOSEvent) is kept through a handle in the
// window's user data, never as a raw pointer.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height, Object* source, const wchar_t* title = L"neonara-system-test");
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // Screen position of a client point.
    POINT ScreenPoint(int x, int y) const;
    // Makes the window the foreground window with the keyboard focus.
    void Focus() const;
    // Really destroys the window (slow under Wine: about two seconds).
    void Destroy();

private:
    HWND hwnd_ = nullptr;
    int sourceHandle_ = 0;
};

// Called by the test window procedure before SystemEmitOSEvent, for tests
// that make a window procedure throw; nullptr for none.
extern void (*testWindowMessageHook)(HWND, UINT, WPARAM, LPARAM);

// A plain copy of an event; the source is kept as an inverted address, so
// that the records hide no object from the collector.
struct EventRecord {
    int id;
    int data;
    int mods;
    int x;
    int y;
    uintptr_t source;
    uintptr_t extra;  // kept inverted like the source, so the record holds no object
    bool From(Object* object) const { return source == ~reinterpret_cast<uintptr_t>(object); }
    bool ExtraIs(Object* object) const { return extra == ~reinterpret_cast<uintptr_t>(object); }
};
EventRecord RecordOf(TEvent* event);
std::string Describe(const std::vector<EventRecord>& events);

// Pumps with PollEvent until `done` holds for an event taken (recorded into
// `seen`) or the timeout passes; true when it held.
bool PumpEventsUntil(std::vector<EventRecord>& seen, const std::function<bool(const EventRecord&)>& done,
                     int timeoutMs = kWaitLimitMs);
// Pumps and records events until none arrives for `quietMs`.
std::vector<EventRecord> DrainEvents(int quietMs = 150, int limitMs = 3000);
// Takes every queued event without pumping further.
void DiscardQueuedEvents();

// Pumps (PollSystem) until `done` returns true or the timeout passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = kWaitLimitMs);

// Waits on the calling thread without pumping (nothing queued is taken)
// until `done` returns true or the timeout passes (never when negative);
// true when it held.
bool WaitWithoutPumping(const std::function<bool()>& done, int timeoutMs = kWaitLimitMs);

// True when a timer tick message is queued for this thread, not yet taken.
bool TickMessageQueued();

// Runs "xdotool ARGS" on the X display through /bin/sh and waits until it
// has finished, without pumping our messages (the input stays queued for the
// code under test). Returns xdotool's exit code, or -1 when it could not be
// run or did not finish.
int Xdo(const std::string& args, int timeoutMs = kWaitLimitMs);
// True when the tests run on an X display with xdotool (inside the harness).
// A display where xdotool is installed but does not answer is a failure of
// the calling test, not a reason to skip it.
bool RealInputAvailable();

#define REQUIRE_REAL_INPUT()                                                          \
    do {                                                                              \
        if (!RealInputAvailable()) GTEST_SKIP() << "needs the X display and xdotool"; \
    } while (0)

// The cursor display counter, read without changing it.
int CursorCounter();

// Runs `body` on another thread (which must touch no runtime object) and
// joins it when the guard goes out of scope. The guard usually spans one
// modal call of the main thread that the body deals with (a dialog, a menu):
// the flag given to the body turns true when the guard starts to go out of
// scope, that is once that call has returned.
class Helper {
public:
    explicit Helper(std::function<void(const std::atomic<bool>& returned)> body);
    explicit Helper(std::function<void()> body);
    ~Helper();
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

private:
    struct State;
    State* state_;
};

// A visible top-level window of the class with the title (any title when
// null) other than `except`; null when there is none.
HWND FindVisibleWindow(const wchar_t* className, const wchar_t* title, HWND except = nullptr);

// A unique scratch folder (Windows path with "/" separators) removed by the
// destructor.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring File(const wchar_t* name) const { return path_ + L"/" + name; }
    bool Write(const wchar_t* name, const char* content) const;

private:
    std::wstring path_;
};

String* StringOf(const std::wstring& text);
std::wstring StringOfWide(String* text);
std::string Utf8(String* text);

// The name of a test-window source object for diagnostics.
class TWindowSource : public Object {
    KV_CLASS(TWindowSource, Object)
};
