#include "tests/system/system_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "system/osevent.h"
#include "system/polledinput.h"
#include "tests/child_process.h"
#include "system/system.h"
#include "system/timer.h"

KV_DEFINE_CLASS(TWindowSource, Object);

void (*testWindowMessageHook)(HWND, UINT, WPARAM, LPARAM) = nullptr;

namespace {

const wchar_t kWindowClass[] = L"NeonaraSystemTestWindow";

LRESULT CALLBACK TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    KV_CALLBACK_TRY {
        if (testWindowMessageHook) testWindowMessageHook(hwnd, message, wParam, lParam);
        Object* source = HandleToObject(static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)));
        SystemEmitOSEvent(hwnd, message, wParam, lParam, source);
    }
    KV_CALLBACK_CATCH
    switch (message) {
        // Alt alone would start the system menu's modal loop; a close
        // request is the test's to handle.
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
        case WM_CLOSE: return 0;
        default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void RegisterTestClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    registered = true;
}

bool WaitQuietly(int ms) {
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return true;
}

}  // namespace

// Windows are reused: under Wine on a display without a window manager,
// hiding, destroying or moving a visible top-level window off the screen
// waits two seconds for a state change that never comes. A released window
// is parked as a 1x1 window in the top right corner, away from where the
// tests point.
std::vector<HWND>& WindowPool() {
    static std::vector<HWND> pool;
    return pool;
}

BOOL CALLBACK DestroyChild(HWND child, LPARAM) {
    if (GetParent(child) && IsWindow(child)) DestroyWindow(child);
    return TRUE;
}

TestWindow::TestWindow(int x, int y, int width, int height, Object* source, const wchar_t* title) {
    RegisterTestClass();
    sourceHandle_ = HandleFromObject(source);
    std::vector<HWND>& pool = WindowPool();
    if (!pool.empty()) {
        hwnd_ = pool.back();
        pool.pop_back();
        SetWindowTextW(hwnd_, title);
    } else {
        hwnd_ = CreateWindowExW(0, kWindowClass, title, WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    }
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, sourceHandle_);
    SetWindowPos(hwnd_, HWND_TOP, x, y, width, height, SWP_SHOWWINDOW);
    UpdateWindow(hwnd_);
}

TestWindow::~TestWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        EnumChildWindows(hwnd_, DestroyChild, 0);
        SetWindowPos(hwnd_, HWND_BOTTOM, 1023, 0, 1, 1, SWP_NOACTIVATE);
        WindowPool().push_back(hwnd_);
    }
    if (sourceHandle_) ReleaseHandle(sourceHandle_);
    // Leave nothing of this window behind for the next test.
    DiscardQueuedEvents();
}

void TestWindow::Destroy() {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

POINT TestWindow::ScreenPoint(int x, int y) const {
    POINT point{x, y};
    ClientToScreen(hwnd_, &point);
    return point;
}

void TestWindow::Focus() const {
    SetForegroundWindow(hwnd_);
    SetActiveWindow(hwnd_);
    SetFocus(hwnd_);
    // Without a window manager the X server sends keys to the window under
    // the pointer unless it is told the focus window: Wine's X window for
    // ours is named by a window property.
    auto xid = reinterpret_cast<uintptr_t>(GetPropW(hwnd_, L"__wine_x11_whole_window"));
    if (xid && RealInputAvailable()) Xdo("windowfocus --sync " + std::to_string(xid));
}

EventRecord RecordOf(TEvent* event) {
    return EventRecord{event->id, event->data, event->mods, event->x, event->y,
                       ~reinterpret_cast<uintptr_t>(event->source.get()), ~reinterpret_cast<uintptr_t>(event->extra.get())};
}

std::string Describe(const std::vector<EventRecord>& events) {
    std::string text;
    for (const EventRecord& e : events) {
        char line[160];
        std::snprintf(line, sizeof line, "  %s data=%d mods=%d x=%d y=%d\n", Utf8(EventIdText(e.id)).c_str(), e.data,
                      e.mods, e.x, e.y);
        text += line;
    }
    return text;
}

bool PumpEventsUntil(std::vector<EventRecord>& seen, const std::function<bool(const EventRecord&)>& done,
                     int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        while (PollEvent()) {
            seen.push_back(RecordOf(CurrentEvent()));
            if (done(seen.back())) return true;
        }
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return false;
        WaitQuietly(10);
    }
}

std::vector<EventRecord> DrainEvents(int quietMs, int limitMs) {
    std::vector<EventRecord> seen;
    DWORD start = GetTickCount();
    DWORD last = start;
    for (;;) {
        while (PollEvent()) {
            seen.push_back(RecordOf(CurrentEvent()));
            last = GetTickCount();
        }
        DWORD now = GetTickCount();
        if (static_cast<int>(now - last) >= quietMs || static_cast<int>(now - start) >= limitMs) return seen;
        WaitQuietly(10);
    }
}

void DiscardQueuedEvents() {
    while (!IsNull(PeekEvent())) PollEvent();
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        PollSystem();
        if (done()) return true;
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return false;
        WaitQuietly(10);
    }
}

bool WaitWithoutPumping(const std::function<bool()>& done, int timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (timeoutMs >= 0 && static_cast<int>(GetTickCount() - start) >= timeoutMs) return false;
        Sleep(5);
    }
}

bool TickMessageQueued() {
    UINT tick = TimerTickMessage();
    MSG message;
    return tick != 0 && PeekMessageW(&message, reinterpret_cast<HWND>(-1), tick, tick, PM_NOREMOVE | PM_NOYIELD);
}

int Xdo(const std::string& args, int timeoutMs) { return RunUnixShell("xdotool " + args, timeoutMs); }

bool RealInputAvailable() {
    static int available = -1;
    if (available >= 0) return available == 1;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display || GetFileAttributesA("Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES) {
        available = 0;
        return false;
    }
    // Only an answer is kept: a probe that failed or did not finish fails the
    // test that asked, and the next test asks again.
    int probe = Xdo("getmouselocation > /dev/null");
    if (probe == 0) {
        available = 1;
        return true;
    }
    ADD_FAILURE() << "xdotool is installed on display " << display << " but did not answer (" << probe << ")";
    return false;
}

int CursorCounter() {
    int counter = ShowCursor(TRUE);
    ShowCursor(FALSE);
    return counter - 1;
}

struct Helper::State {
    std::atomic<bool> returned{false};
    std::thread thread;
};

Helper::Helper(std::function<void(const std::atomic<bool>&)> body) : state_(new State) {
    state_->thread = std::thread([state = state_, body = std::move(body)] { body(state->returned); });
}

Helper::Helper(std::function<void()> body) : Helper([body = std::move(body)](const std::atomic<bool>&) { body(); }) {}

Helper::~Helper() {
    state_->returned = true;
    state_->thread.join();
    delete state_;
}

HWND FindVisibleWindow(const wchar_t* className, const wchar_t* title, HWND except) {
    for (HWND found = FindWindowExW(nullptr, nullptr, className, title); found;
         found = FindWindowExW(nullptr, found, className, title)) {
        if (found != except && IsWindowVisible(found)) return found;
    }
    return nullptr;
}

ScratchDir::ScratchDir() {
    static int counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t name[MAX_PATH + 64];
    std::swprintf(name, sizeof name / sizeof name[0], L"%lsneonara-system-%lu-%d", temp, GetCurrentProcessId(),
                  ++counter);
    CreateDirectoryW(name, nullptr);
    path_ = name;
    for (wchar_t& c : path_) {
        if (c == L'\\') c = L'/';
    }
}

ScratchDir::~ScratchDir() {
    // Files first, then the folder (the tests make no subfolders deeper than one).
    WIN32_FIND_DATAW data;
    std::wstring pattern = path_ + L"/*";
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring entry = path_ + L"/" + data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (data.cFileName[0] != L'.') RemoveDirectoryW(entry.c_str());
            } else {
                DeleteFileW(entry.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
}

bool ScratchDir::Write(const wchar_t* name, const char* content) const {
    FILE* f = _wfopen(File(name).c_str(), L"wb");
    if (!f) return false;
    std::fputs(content, f);
    std::fclose(f);
    return true;
}

String* StringOf(const std::wstring& text) {
    return String::FromShorts(reinterpret_cast<const char16_t*>(text.data()), static_cast<int>(text.size()));
}

std::wstring StringOfWide(String* text) {
    return std::wstring(reinterpret_cast<const wchar_t*>(text->Text()), static_cast<size_t>(text->length));
}

std::string Utf8(String* text) {
    char* utf8 = text->ToUtf8();
    std::string result(utf8);
    MemFreeBlock(utf8);
    return result;
}

namespace {

// Starts the system modules once, inside the test run (the runtime is up).
class SystemEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        StartEventModule();
        StartSystemModule();
        StartPolledInputModule();
        StartTimerModule();
    }
};

[[maybe_unused]] ::testing::Environment* const systemEnvironment =
    ::testing::AddGlobalTestEnvironment(new SystemEnvironment);

}  // namespace
