// The driver's services with real dialogs: message boxes, the file and
// folder requesters and OpenURL. A helper thread (which touches no runtime
// object) finds each dialog, looks at it and dismisses it the way a user would.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <string>

#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"

#include <commctrl.h>
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"
#include "tests/system/system_test_support.h"

#include <shellapi.h>

namespace {

const wchar_t kCaption[] = L"Neonara system services test";

// What the helper saw of a dialog.
struct Seen {
    bool found = false;
    HICON icon = nullptr;
    int filterIndex = -1;
    std::wstring fileName;
    std::string problem;  // what the helper waited for in vain, if anything
};

// Waits for the main thread's dialog with the title (any title when null),
// other than `except`: null once the call showing it has returned without
// it. However late a loaded machine shows it, it is found and dealt with:
// a dialog left open would keep the call from ever returning.
HWND WaitForDialog(const std::atomic<bool>& returned, const wchar_t* title, HWND except = nullptr) {
    HWND dialog = nullptr;
    WaitWithoutPumping([&] {
        dialog = FindVisibleWindow(L"#32770", title, except);
        return dialog || returned;
    }, -1);
    return dialog;
}

HICON MessageBoxIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        }
    }
    return nullptr;
}

void Press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// Waits for the box, records what it shows, then presses `button`.
void DismissBox(const std::atomic<bool>& returned, Seen* seen, int button, const wchar_t* title = kCaption) {
    HWND box = WaitForDialog(returned, title);
    if (!box) return;
    seen->found = true;
    seen->icon = MessageBoxIcon(box);
    Press(box, button);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

class Services : public ::testing::Test {
protected:
    void SetUp() override {
        savedTitle = AppTitle.get();
        AppTitle = StringOf(kCaption);
        source = new TWindowSource;
        window = new TestWindow(100, 100, 300, 200, source);
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 24, window->hwnd(),
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        window->Focus();
        SetFocus(edit);
        DrainEvents(30);
    }
    void TearDown() override {
        delete window;
        source = NullObject();
        AppTitle = savedTitle.get();
    }
    Ref<String> savedTitle;
    Ref<Object> source;
    TestWindow* window = nullptr;
    HWND edit = nullptr;
};

// (Wine's message boxes do not turn topmost for MB_TOPMOST, so that style
// can only be seen on Windows.)
TEST_F(Services, NotifyShowsABoxAndGivesTheFocusBack) {
    Seen seen;
    {
        Helper helper([&](const std::atomic<bool>& returned) { DismissBox(returned, &seen, IDOK); });
        Notify(u"Something happened"_s);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32516)));  // information
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, SeriousMessagesShowTheExclamationIcon) {
    Seen seen;
    {
        Helper helper([&](const std::atomic<bool>& returned) { DismissBox(returned, &seen, IDOK); });
        Notify(u"Something went wrong"_s, 1);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32515)));  // exclamation
}

TEST_F(Services, ConfirmAndProceedReportTheButton) {
    auto confirm = [&](int button) {
        Seen seen;
        Helper helper([&](const std::atomic<bool>& returned) { DismissBox(returned, &seen, button); });
        return Confirm(u"Go on?"_s);
    };
    EXPECT_EQ(confirm(IDOK), 1);
    EXPECT_EQ(confirm(IDCANCEL), 0);
    auto proceed = [&](int button) {
        Seen seen;
        Helper helper([&](const std::atomic<bool>& returned) { DismissBox(returned, &seen, button); });
        return Proceed(u"Save first?"_s, 1);
    };
    EXPECT_EQ(proceed(IDYES), 1);
    EXPECT_EQ(proceed(IDNO), 0);
    EXPECT_EQ(proceed(IDCANCEL), -1);
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, TheEscapeKeyCancelsABox) {
    REQUIRE_REAL_INPUT();
    int answer;
    int pressed = -1;
    {
        Helper helper([&](const std::atomic<bool>& returned) {
            HWND box = WaitForDialog(returned, kCaption);
            if (!box) return;
            auto xid = reinterpret_cast<uintptr_t>(GetPropW(box, L"__wine_x11_whole_window"));
            pressed = Xdo("windowfocus --sync " + std::to_string(xid) + " key Escape");
            // A key that did not arrive fails the test instead of leaving the box open.
            if (pressed != 0 || !WaitWithoutPumping([&] { return returned.load(); })) Press(box, IDYES);
        });
        answer = Proceed(u"Escape me"_s);
    }
    EXPECT_EQ(pressed, 0);
    EXPECT_EQ(answer, -1);
}

// Counts the main thread's tick messages of one multimedia timer as they
// are taken from the queue, by whatever loop takes them.
std::atomic<int> ticksTaken;
int countedTimer;
LRESULT CALLBACK CountTicksTaken(int code, WPARAM removal, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && removal == PM_REMOVE && message->message == TimerTickMessage() && !message->hwnd &&
        static_cast<int>(message->wParam) == countedTimer) {
        ++ticksTaken;
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

TEST_F(Services, TimerTicksFireInsideTheBoxesModalLoop) {
    TTimer* timer = CreateTimer(100);
    ASSERT_FALSE(IsNull(timer));
    ticksTaken = 0;
    countedTimer = timer->handle;
    HHOOK counting = SetWindowsHookExW(WH_GETMESSAGE, CountTicksTaken, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(counting);
    Seen seen;
    {
        Helper helper([&](const std::atomic<bool>& returned) {
            HWND box = WaitForDialog(returned, kCaption);
            if (!box) return;
            seen.found = true;
            if (!WaitWithoutPumping([] { return ticksTaken >= 5; })) seen.problem = "five ticks taken";
            Press(box, IDOK);
        });
        Notify(u"Wait a little"_s);
    }
    UnhookWindowsHookEx(counting);
    int ticks = TimerTicks(timer);  // no pumping since the box closed
    StopTimer(timer);
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.problem, "");
    EXPECT_GE(ticks, 5);
    std::vector<EventRecord> queued = DrainEvents(20);
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued[0].id, EVENT_TIMERTICK);
}

// ---- requesters ----

void SeeFileDialog(const std::atomic<bool>& returned, Seen* seen, int button, const wchar_t* title) {
    HWND dialog = WaitForDialog(returned, title);
    if (!dialog) return;
    seen->found = true;
    seen->filterIndex = static_cast<int>(SendDlgItemMessageW(dialog, 0x470, CB_GETCURSEL, 0, 0));
    wchar_t name[512] = L"";
    if (!GetDlgItemTextW(dialog, 0x47c, name, 512)) GetDlgItemTextW(dialog, 0x480, name, 512);
    seen->fileName = name;
    Press(dialog, button);
}

TEST_F(Services, RequestFileOpensInTheInitialFolderWithTheInitialName) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write(L"pick.txt", "x"));
    Seen seen;
    String* chosen;
    {
        Helper helper(
            [&](const std::atomic<bool>& returned) { SeeFileDialog(returned, &seen, IDOK, L"Open a test file"); });
        chosen = RequestFile(u"Open a test file"_s, u"Images:png,jpg;Text:txt"_s, 0, StringOf(dir.File(L"pick.txt")));
    }
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.fileName, L"pick.txt");
    EXPECT_EQ(seen.filterIndex, 1);  // the second group, Text
    EXPECT_EQ(Lower(StringOfWide(chosen)), Lower(dir.File(L"pick.txt")));
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, RequestFileCancelledGivesTheEmptyString) {
    Seen seen;
    String* chosen;
    {
        Helper helper(
            [&](const std::atomic<bool>& returned) { SeeFileDialog(returned, &seen, IDCANCEL, L"Cancel me"); });
        chosen = RequestFile(u"Cancel me"_s, u"txt"_s, 0, u"C:/nowhere/none.txt"_s);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(chosen->length, 0);
}

TEST_F(Services, RequestFileTakesAnOverlongInitialPathSafely) {
    std::wstring longName(6000, L'a');
    Seen seen;
    String* chosen;
    {
        Helper helper(
            [&](const std::atomic<bool>& returned) { SeeFileDialog(returned, &seen, IDCANCEL, L"Long name"); });
        chosen = RequestFile(u"Long name"_s, EmptyString(), 0, StringOf(L"C:/" + longName + L".txt"));
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(chosen->length, 0);
}

TEST_F(Services, SavingOverAnExistingFileAsksFirst) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write(L"old.dat", "x"));
    Seen seen;
    std::atomic<bool> asked{false};
    String* chosen;
    {
        Helper helper([&](const std::atomic<bool>& returned) {
            HWND dialog = WaitForDialog(returned, L"Save a test file");
            if (!dialog) return;
            seen.found = true;
            Press(dialog, IDOK);
            // The overwrite question is a box of its own, captioned like the dialog.
            HWND question = WaitForDialog(returned, L"Save a test file", dialog);
            if (!question) return;
            asked = true;
            Press(question, IDYES);
        });
        chosen = RequestFile(u"Save a test file"_s, u"dat"_s, 1, StringOf(dir.File(L"old.dat")));
    }
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(asked);
    EXPECT_EQ(Lower(StringOfWide(chosen)), Lower(dir.File(L"old.dat")));
}

// The text of the folder browser's selected tree item ("" for none).
static std::wstring TreeSelection(HWND dialog) {
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    LRESULT selected = tree ? SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0) : 0;
    if (!selected) return std::wstring();
    wchar_t text[MAX_PATH] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(selected);
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

// True when the folder browser's tree has selected the folder named last in
// `path`.
static bool TreeSelects(HWND dialog, const std::wstring& path) {
    std::wstring leaf = path.substr(path.find_last_of(L"/\\") + 1);
    return _wcsicmp(TreeSelection(dialog).c_str(), leaf.c_str()) == 0;
}

// Opens the folder browser at `folder`, waits up to `limitMs` for the tree
// to select it and presses OK, or Cancel when it does not; `seen` says what
// went wrong, if anything.
String* ChooseTheInitialFolder(const std::wstring& folder, int limitMs, Seen* seen) {
    Helper helper([&](const std::atomic<bool>& returned) {
        HWND dialog = WaitForDialog(returned, nullptr);
        if (!dialog) return;
        seen->found = true;
        if (WaitWithoutPumping([&] { return TreeSelects(dialog, folder); }, limitMs)) {
            Press(dialog, IDOK);
        } else {
            // What the tree shows instead, for the failure's message.
            std::string shown;
            for (wchar_t c : TreeSelection(dialog)) shown.push_back(c < 128 ? static_cast<char>(c) : '?');
            seen->problem = "the initial folder selected; the tree shows '" + shown + "'";
            Press(dialog, IDCANCEL);
        }
    });
    return RequestDir(u"Pick a folder"_s, StringOf(folder));
}

TEST_F(Services, RequestDirStartsAtTheInitialFolder) {
    ScratchDir dir;
    // Wine's browser matches each folder on the way by its write, creation
    // and access times as well as its name, read once for the request and
    // once when it fills the tree: a folder that another program writes to
    // in between (the temporary folder most of all) makes it miss the
    // initial folder. So a miss is tried again, twice, before it counts.
    Seen seen;
    String* chosen = EmptyString();
    for (int attempt = 0; attempt < 3 && chosen->length == 0; ++attempt) {
        seen = Seen();
        chosen = ChooseTheInitialFolder(dir.path(), kWaitLimitMs / 3, &seen);
        if (!seen.problem.empty()) std::printf("attempt %d: %s\n", attempt + 1, seen.problem.c_str());
    }
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.problem, "");
    EXPECT_EQ(Lower(StringOfWide(chosen)), Lower(dir.path()));
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, RequestDirCancelledGivesTheEmptyString) {
    Seen seen;
    String* chosen;
    {
        Helper helper([&](const std::atomic<bool>& returned) {
            HWND dialog = WaitForDialog(returned, nullptr);
            if (!dialog) return;
            seen.found = true;
            Press(dialog, IDCANCEL);
        });
        chosen = RequestDir(u"Pick no folder"_s, u"C:/"_s);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(chosen->length, 0);
}

// ---- OpenURL ----

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Script(const std::wstring& marker) {
    std::string path;
    for (wchar_t c : marker) path += c == L'/' ? '\\' : static_cast<char>(c);
    return "@echo ran> \"" + path + "\"\r\n";
}

TEST_F(Services, OpenURLNeverRunsALocalProgram) {
    ScratchDir dir;
    ASSERT_TRUE(dir.Write(L"probe.bat", Script(dir.File(L"probe.txt")).c_str()));
    ASSERT_TRUE(dir.Write(L"control.bat", Script(dir.File(L"control.txt")).c_str()));
    EXPECT_EQ(OpenURL(StringOf(dir.File(L"probe.bat"))), 0);
    EXPECT_EQ(OpenURL(StringOf(L"file:///" + dir.File(L"probe.bat"))), 0);
    EXPECT_EQ(OpenURL(EmptyString()), 0);
    // The same script given to the shell directly does run: once its marker
    // is there, the refused one would have had its time too.
    std::wstring control = dir.File(L"control.bat");
    ASSERT_GT(reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, control.c_str(), nullptr, nullptr, SW_HIDE)),
              32);
    bool ran = PumpUntil([&] { return Exists(dir.File(L"control.txt")); });
    ASSERT_TRUE(ran);
    EXPECT_FALSE(Exists(dir.File(L"probe.txt")));
}

}  // namespace
