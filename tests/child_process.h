// Starting a test program as a child process with its standard output and
// error captured, for the tests of what a whole process does (exit codes,
// the unhandled-exception path, the working directory at start).
//
// The reader threads only fill std::string buffers: they never touch
// runtime objects.
#pragma once
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "runtime/win32.h"

struct ChildResult {
    bool started = false;
    bool finished = false;  // false: it outlived the timeout and was ended
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

struct ChildOptions {
    const wchar_t* workingDirectory = nullptr;  // null: the parent's
    DWORD timeoutMs = 60000;                    // a hang guard, not a speed target
    // Runs after the child is created suspended and before it starts.
    std::function<void(DWORD processId)> beforeStart;
};

// The path of the running program.
inline std::wstring OwnProgramPath() {
    wchar_t path[MAX_PATH + 1];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n);
}

inline std::wstring QuoteArgument(const std::wstring& text) { return L"\"" + text + L"\""; }

// The test program itself, started again to run only the named (disabled) test.
inline std::wstring ChildTestCommand(const wchar_t* testName) {
    return QuoteArgument(OwnProgramPath()) + L" --gtest_also_run_disabled_tests --gtest_catch_exceptions=0" +
           L" --gtest_filter=" + testName;
}

namespace child_process_detail {

// Reads what the child writes until the pipe breaks (every write end is
// closed and nothing is left), or, once `stop` is set, until nothing more has
// come for a second, five seconds at most. Waiting for the end of the pipe
// alone is not enough: a process the child starts (Wine starts helper
// services on demand) can inherit the write end and keep it open long after
// the child is gone. Nor is stopping at the child's end: under Wine its last
// writes can reach the pipe after its process handle has been signalled.
inline void ReadAll(HANDLE pipe, std::string* into, const std::atomic<bool>* stop) {
    constexpr DWORD kQuietMs = 1000, kDrainMs = 5000;
    char buffer[4096];
    DWORD quietSince = 0, stoppedAt = 0;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
        if (stop->load() && stoppedAt == 0) stoppedAt = GetTickCount();
        if (stoppedAt != 0 && GetTickCount() - stoppedAt >= kDrainMs) return;
        if (available == 0) {
            if (stoppedAt != 0) {
                if (quietSince == 0) quietSince = GetTickCount();
                if (GetTickCount() - quietSince >= kQuietMs) return;
            }
            Sleep(2);
            continue;
        }
        quietSince = 0;
        DWORD got = 0;
        DWORD want = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
        if (!ReadFile(pipe, buffer, want, &got, nullptr) || got == 0) return;
        into->append(buffer, got);
    }
}

inline bool InheritablePipe(HANDLE* read, HANDLE* write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!CreatePipe(read, write, &sa, 0)) return false;
    SetHandleInformation(*read, HANDLE_FLAG_INHERIT, 0);  // only the child's end is inherited
    return true;
}

// Waits for the process while handling this thread's messages (out-of-context
// event hooks are delivered through them).
inline bool WaitPumping(HANDLE process, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

}  // namespace child_process_detail

inline ChildResult RunChild(const std::wstring& commandLine, const ChildOptions& options = {}) {
    using namespace child_process_detail;
    ChildResult result;
    HANDLE outRead, outWrite, errRead, errWrite;
    if (!InheritablePipe(&outRead, &outWrite)) return result;
    if (!InheritablePipe(&errRead, &errWrite)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return result;
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0,
                             nullptr);

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;  // CreateProcessW may write into it
    result.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                    options.workingDirectory, &si, &pi) != 0;
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!result.started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        return result;
    }

    if (options.beforeStart) options.beforeStart(pi.dwProcessId);
    std::atomic<bool> ended{false};
    std::thread outReader(ReadAll, outRead, &result.out, &ended);
    std::thread errReader(ReadAll, errRead, &result.err, &ended);
    ResumeThread(pi.hThread);
    result.finished = WaitPumping(pi.hProcess, options.timeoutMs);
    if (!result.finished) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
    }
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    ended = true;  // drain what the child wrote, then stop
    outReader.join();
    errReader.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

// Runs a command line of /bin/sh on the Unix side (Wine starts a Unix
// program named by its Unix path) and returns its exit status, or -1 when it
// cannot start or gives no status within the limit.  Wine's process handle
// for a Unix program cannot be waited for, so the shell leaves its status in
// a file under /tmp, which is Z:\tmp here.
inline int RunUnixShell(const std::string& script, int timeoutMs = 60000) {
    static std::atomic<int> counter{0};  // helper threads run commands too
    std::string name = "neonara-sh-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    std::string unixMarker = "/tmp/" + name;
    std::string windowsMarker = "Z:\\tmp\\" + name;
    DeleteFileA(windowsMarker.c_str());
    std::string command = "/bin/sh -c \"" + script + "; echo $? > " + unixMarker + ".part && mv " + unixMarker +
                          ".part " + unixMarker + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    // For a Unix program Wine leaves arbitrary values in `pi`: they are not closed.
    for (DWORD start = GetTickCount(); static_cast<int>(GetTickCount() - start) < timeoutMs; Sleep(5)) {
        if (FILE* f = std::fopen(windowsMarker.c_str(), "r")) {
            int code = -1;
            if (std::fscanf(f, "%d", &code) != 1) code = -1;
            std::fclose(f);
            DeleteFileA(windowsMarker.c_str());
            return code;
        }
    }
    return -1;
}
