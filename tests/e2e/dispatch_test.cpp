// neonara.scr started as Windows starts a screensaver, watched from outside:
// exit code, standard streams, and whether it created any window.
#include <gtest/gtest.h>

#include <string>

#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "tests/child_process.h"

namespace {

std::wstring NextToThisProgram(const wchar_t* name) {
    char16_t* dir = AppDir->ToWString();
    std::wstring path(reinterpret_cast<wchar_t*>(dir));
    MemFreeBlock(dir);
    return path + L"/" + name;
}

// Counts the windows a child process creates, through an out-of-context
// event hook (delivered as messages while RunChild waits).
int windowsCreated;

void CALLBACK OnObjectCreated(HWINEVENTHOOK, DWORD, HWND, LONG object, LONG child, DWORD, DWORD) {
    if (object == OBJID_WINDOW && child == CHILDID_SELF) ++windowsCreated;
}

struct Watched {
    ChildResult result;
    int windows = 0;
};

// Handles the events still queued when the child has ended.
void DrainEvents(DWORD settleMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < settleMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, settleMs, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

Watched RunWatched(const std::wstring& commandLine) {
    Watched watched;
    windowsCreated = 0;
    HWINEVENTHOOK hook = nullptr;
    ChildOptions options;
    options.timeoutMs = 30000;
    options.beforeStart = [&](DWORD pid) {
        hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnObjectCreated, pid, 0,
                               WINEVENT_OUTOFCONTEXT);
    };
    watched.result = RunChild(commandLine, options);
    DrainEvents(300);
    if (hook) UnhookWinEvent(hook);
    watched.windows = windowsCreated;
    return watched;
}

std::wstring Saver(const wchar_t* arguments) {
    return QuoteArgument(NextToThisProgram(L"neonara.scr")) + L" " + arguments;
}

}  // namespace

// Run only as a child process: the watch's positive control.
TEST(E2EChild, DISABLED_CreatesAWindow) {
    HWND window = CreateWindowExW(0, L"STATIC", L"visible", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ShowWindow(window, SW_SHOW);
    DestroyWindow(window);
}

TEST(WindowWatch, SeesTheWindowOfAChildProcess) {
    Watched w = RunWatched(ChildTestCommand(L"E2EChild.DISABLED_CreatesAWindow"));
    ASSERT_TRUE(w.result.started);
    ASSERT_TRUE(w.result.finished);
    EXPECT_EQ(w.result.exitCode, 0u) << w.result.out;
    EXPECT_GE(w.windows, 1) << "the watch cannot see windows here, so the checks below would prove nothing";
}

TEST(SaverSwitches, PasswordSwitchEndsAtOnceWithoutAWindow) {
    for (const wchar_t* s : {L"/a", L"-A", L"/a 1234"}) {
        Watched w = RunWatched(Saver(s));
        ASSERT_TRUE(w.result.started) << "neonara.scr missing next to the tests";
        EXPECT_TRUE(w.result.finished);
        EXPECT_EQ(w.result.exitCode, 0u);
        EXPECT_EQ(w.windows, 0);
        EXPECT_EQ(w.result.out, "");
        EXPECT_EQ(w.result.err, "");
    }
}

TEST(SaverSwitches, UnknownSwitchEndsAtOnceWithoutAWindow) {
    for (const wchar_t* s : {L"/x", L"-q", L"/", L"save", L"\"\""}) {
        Watched w = RunWatched(Saver(s));
        ASSERT_TRUE(w.result.started);
        EXPECT_TRUE(w.result.finished) << s;
        EXPECT_EQ(w.result.exitCode, 0u);
        EXPECT_EQ(w.windows, 0);
        EXPECT_EQ(w.result.out, "");
        EXPECT_EQ(w.result.err, "");
    }
}

TEST(GuiSubsystem, StandardStreamsReachTheParent) {
    ChildResult probe = RunChild(QuoteArgument(NextToThisProgram(L"gui_stdio_probe.exe")));
    ASSERT_TRUE(probe.started);
    ASSERT_TRUE(probe.finished);
    EXPECT_EQ(probe.out, "probe: standard output\r\n");
    EXPECT_EQ(probe.err, "probe: standard error");
    EXPECT_EQ(probe.exitCode, 0xFFFFFFFFu);
}
