// preview_host: stands in for the Display Settings dialog when it shows a
// screensaver in its little monitor picture.
//
//   preview_host.exe SAVER [SHOW_SECONDS [EXIT_SECONDS [CLOSE_FILE]]]
//
// It opens a window titled "Neonara preview host" at screen position
// (100, 100) holding a black 152x112 child window (the preview area) at
// (20, 20), starts SAVER /p <decimal handle of the preview area> with our
// standard output and error handed on, pumps messages for SHOW_SECONDS
// (default 10) or until the file CLOSE_FILE exists, then destroys the
// preview area and the window as the dialog does when it closes, and gives
// the saver EXIT_SECONDS (default 10) to end.
//
// Every step is reported on standard output, one flushed line each:
//   host=<hwnd>  area=<hwnd>  area-screen=<x>,<y>  child-started
//   area-child=<hwnd> class=<name> size=<w>x<h> owner=saver|other visible=0|1
//   (or area-child=none, just before closing)
//   host-closed  child-exit=<code> | child-still-running
// "child-exit" is printed the moment the saver ends, so a saver that gives up
// before the windows are closed shows it before "host-closed".
// Exit code: 0 when the saver ended by itself, 1 when it could not be
// started, 2 when it was still running after EXIT_SECONDS (it is then
// terminated).
//
// The host's own client area is painted in one solid colour, kHostColor, so
// that a test can tell from a screenshot whether the saver drew outside the
// preview area.
#include <windows.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kAreaX = 20;
constexpr int kAreaY = 20;
constexpr int kAreaWidth = 152;
constexpr int kAreaHeight = 112;
constexpr int kMargin = 20;                          // host client around the area, on every side
constexpr COLORREF kHostColor = RGB(58, 110, 165);   // tests/e2e/saver_preview_test.sh checks for it

const wchar_t kHostClass[] = L"NeonaraPreviewHost";
const wchar_t kAreaClass[] = L"NeonaraPreviewArea";

// A GUI-subsystem program has no console; Wine hands the Unix side's file
// descriptors over as the standard handles, so lines go out with WriteFile
// (unbuffered, so every line is flushed as it is written).
void Say(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0) return;
    if (n > static_cast<int>(sizeof line) - 2) n = sizeof line - 2;
    line[n++] = '\n';
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, line, static_cast<DWORD>(n), &written, nullptr);
}

// Handles print as the unsigned decimal numbers a saver receives after /p.
unsigned long HandleNumber(HWND hwnd) { return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)); }

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    // Closing by hand (the close box) is left to the timed close below, which
    // also reports it; the window only goes when the host destroys it.
    if (msg == WM_CLOSE) return 0;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK AreaProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterClasses(HINSTANCE instance) {
    WNDCLASSW host{};
    host.lpfnWndProc = HostProc;
    host.hInstance = instance;
    host.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    host.hbrBackground = CreateSolidBrush(kHostColor);
    host.lpszClassName = kHostClass;
    WNDCLASSW area{};
    area.lpfnWndProc = AreaProc;
    area.hInstance = instance;
    area.hCursor = host.hCursor;
    area.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    area.lpszClassName = kAreaClass;
    return RegisterClassW(&host) != 0 && RegisterClassW(&area) != 0;
}

// Seconds from the command line; fractions are allowed, anything unreadable
// or negative gives the default.
double Seconds(int argc, wchar_t** argv, int index, double fallback) {
    if (index >= argc) return fallback;
    wchar_t* end = nullptr;
    double value = std::wcstod(argv[index], &end);
    if (end == argv[index] || *end != L'\0' || value < 0) return fallback;
    return value;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

ULONGLONG Deadline(double seconds) { return GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000.0); }

// The file that asks the host to close, when one was named; the test makes it
// once it has seen what it wanted, however long that took.
const wchar_t* g_closeFile = nullptr;

bool CloseAsked() { return g_closeFile != nullptr && GetFileAttributesW(g_closeFile) != INVALID_FILE_ATTRIBUTES; }

// Pumps messages until `deadline` (a GetTickCount64 time) or a close request,
// or until the process ends when one is given.  Returns true when it ended.
// Messages keep flowing while waiting so that the saver, whose window may be
// a child of ours, is never blocked on a message sent to this thread.
bool PumpUntil(ULONGLONG deadline, HANDLE process, bool closable = false) {
    for (;;) {
        PumpMessages();
        if (process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline || (closable && CloseAsked())) return false;
        DWORD left = static_cast<DWORD>(deadline - now);
        if (closable && left > 100) left = 100;  // the close file is polled
        MsgWaitForMultipleObjects(process != nullptr ? 1 : 0, &process, FALSE, left, QS_ALLINPUT);
    }
}

void ReportExit(HANDLE process) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    Say("child-exit=%lu", static_cast<unsigned long>(code));
}

// What the saver put into the area: its first child window, that window's
// class and client size, and whether the saver's process owns it.
void ReportAreaChild(HWND area, DWORD saverProcess) {
    HWND child = GetWindow(area, GW_CHILD);
    if (child == nullptr) {
        Say("area-child=none");
        return;
    }
    char className[128] = "";
    GetClassNameA(child, className, sizeof className);
    RECT r{};
    GetClientRect(child, &r);
    DWORD owner = 0;
    GetWindowThreadProcessId(child, &owner);
    Say("area-child=%lu class=%s size=%ldx%ld owner=%s visible=%d", HandleNumber(child), className,
        static_cast<long>(r.right), static_cast<long>(r.bottom), owner == saverProcess ? "saver" : "other",
        IsWindowVisible(child) ? 1 : 0);
}

int Run(int argc, wchar_t** argv) {
    if (argc < 2) {
        Say("usage: preview_host SAVER [SHOW_SECONDS [EXIT_SECONDS [CLOSE_FILE]]]");
        return 1;
    }
    double show = Seconds(argc, argv, 2, 10);
    double grace = Seconds(argc, argv, 3, 10);
    if (argc > 4) g_closeFile = argv[4];

    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterClasses(instance)) {
        Say("error: RegisterClass failed (%lu)", GetLastError());
        return 1;
    }
    RECT frame{0, 0, kAreaX + kAreaWidth + kMargin, kAreaY + kAreaHeight + kMargin};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    HWND host = CreateWindowExW(0, kHostClass, L"Neonara preview host", style, 100, 100, frame.right - frame.left,
                                frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (host == nullptr) {
        Say("error: CreateWindow (host) failed (%lu)", GetLastError());
        return 1;
    }
    // The area clips its children: when the saver puts its own window in
    // it, repainting the black background never paints over the saver.
    HWND area = CreateWindowExW(0, kAreaClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, kAreaX,
                                kAreaY, kAreaWidth, kAreaHeight, host, nullptr, instance, nullptr);
    if (area == nullptr) {
        Say("error: CreateWindow (area) failed (%lu)", GetLastError());
        return 1;
    }
    ShowWindow(host, SW_SHOWNORMAL);
    UpdateWindow(host);
    POINT origin{0, 0};
    ClientToScreen(area, &origin);
    Say("host=%lu", HandleNumber(host));
    Say("area=%lu", HandleNumber(area));
    Say("area-screen=%ld,%ld", static_cast<long>(origin.x), static_cast<long>(origin.y));
    PumpMessages();

    // The saver's path may hold spaces: it is quoted.  The standard handles
    // are made inheritable so the saver writes where we do.
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\" /p " + std::to_wstring(HandleNumber(area));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE h : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        Say("error: cannot start %ls (%lu)", argv[1], GetLastError());
        DestroyWindow(host);
        return 1;
    }
    CloseHandle(child.hThread);
    Say("child-started");

    ULONGLONG close_at = Deadline(show);
    bool ended = PumpUntil(close_at, child.hProcess, true);
    if (ended) {
        // Reported at once, so the order of the lines shows that it ended
        // early; the windows still stay up for the whole showing time.
        ReportExit(child.hProcess);
        PumpUntil(close_at, nullptr, true);
    }

    ReportAreaChild(area, child.dwProcessId);
    // As the dialog closing: the preview area first, then its window.
    DestroyWindow(area);
    DestroyWindow(host);
    PumpMessages();
    Say("host-closed");
    if (ended) {
        CloseHandle(child.hProcess);
        return 0;
    }

    if (PumpUntil(Deadline(grace), child.hProcess)) {
        ReportExit(child.hProcess);
        CloseHandle(child.hProcess);
        return 0;
    }
    Say("child-still-running");
    TerminateProcess(child.hProcess, 2);
    WaitForSingleObject(child.hProcess, 5000);
    CloseHandle(child.hProcess);
    return 2;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 1;
    int rc = Run(argc, argv);
    LocalFree(argv);
    return rc;
}
