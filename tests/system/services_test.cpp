// The driver's services with real dialogs: message boxes, the file and
// folder requesters and OpenURL. A helper thread (which touches no runtime
// object) finds each dialog, looks at it and dismisses it the way a user would.
#include <gtest/gtest.h>

#include <atomic>
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
};

HICON MessageBoxIcon(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        }
    }
    return nullptr;
}

void Press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// Waits for the dialog, records what it shows, then presses `button`.
void DismissBox(Seen* seen, int button, const wchar_t* title = kCaption) {
    HWND box = WaitForWindow(L"#32770", title);
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
        Helper helper([&] { DismissBox(&seen, IDOK); });
        Notify(u"Something happened"_s);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32516)));  // information
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, SeriousMessagesShowTheExclamationIcon) {
    Seen seen;
    {
        Helper helper([&] { DismissBox(&seen, IDOK); });
        Notify(u"Something went wrong"_s, 1);
    }
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, LoadIconW(nullptr, MAKEINTRESOURCEW(32515)));  // exclamation
}

TEST_F(Services, ConfirmAndProceedReportTheButton) {
    auto confirm = [&](int button) {
        Seen seen;
        Helper helper([&] { DismissBox(&seen, button); });
        return Confirm(u"Go on?"_s);
    };
    EXPECT_EQ(confirm(IDOK), 1);
    EXPECT_EQ(confirm(IDCANCEL), 0);
    auto proceed = [&](int button) {
        Seen seen;
        Helper helper([&] { DismissBox(&seen, button); });
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
    {
        Helper helper([] {
            HWND box = WaitForWindow(L"#32770", kCaption);
            if (!box) return;
            auto xid = reinterpret_cast<uintptr_t>(GetPropW(box, L"__wine_x11_whole_window"));
            Xdo("windowfocus --sync " + std::to_string(xid) + " key Escape");
        });
        answer = Proceed(u"Escape me"_s);
    }
    EXPECT_EQ(answer, -1);
}

TEST_F(Services, TimerTicksFireInsideTheBoxesModalLoop) {
    TTimer* timer = CreateTimer(100);
    ASSERT_FALSE(IsNull(timer));
    Seen seen;
    {
        Helper helper([&] {
            HWND box = WaitForWindow(L"#32770", kCaption);
            Sleep(150);
            if (box) Press(box, IDOK);
        });
        Notify(u"Wait a little"_s);
    }
    int ticks = TimerTicks(timer);  // no pumping since the box closed
    StopTimer(timer);
    EXPECT_GE(ticks, 5);
    std::vector<EventRecord> queued = DrainEvents(20);
    ASSERT_FALSE(queued.empty());
    EXPECT_EQ(queued[0].id, EVENT_TIMERTICK);
}

// ---- requesters ----

void SeeFileDialog(Seen* seen, int button, const wchar_t* title) {
    HWND dialog = WaitForWindow(L"#32770", title);
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
        Helper helper([&] { SeeFileDialog(&seen, IDOK, L"Open a test file"); });
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
        Helper helper([&] { SeeFileDialog(&seen, IDCANCEL, L"Cancel me"); });
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
        Helper helper([&] { SeeFileDialog(&seen, IDCANCEL, L"Long name"); });
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
        Helper helper([&] {
            HWND dialog = WaitForWindow(L"#32770", L"Save a test file");
            if (!dialog) return;
            seen.found = true;
            Press(dialog, IDOK);
            // The overwrite question is a box of its own, captioned like the dialog.
            for (int i = 0; i < 500; ++i) {
                HWND question = FindWindowW(L"#32770", L"Save a test file");
                if (question && question != dialog && IsWindowVisible(question)) {
                    asked = true;
                    Press(question, IDYES);
                    return;
                }
                Sleep(10);
            }
        });
        chosen = RequestFile(u"Save a test file"_s, u"dat"_s, 1, StringOf(dir.File(L"old.dat")));
    }
    EXPECT_TRUE(seen.found);
    EXPECT_TRUE(asked);
    EXPECT_EQ(Lower(StringOfWide(chosen)), Lower(dir.File(L"old.dat")));
}

// Waits (up to 10 s) until the folder browser's tree has selected the
// folder named last in `path`: the browser sets its initial selection only
// after it has started, later still on a loaded machine.
static void WaitForTreeSelection(HWND dialog, const std::wstring& path) {
    std::wstring leaf = path.substr(path.find_last_of(L"/\\") + 1);
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    if (!tree) {
        Sleep(100);
        return;
    }
    for (int i = 0; i < 500; ++i) {
        LRESULT selected = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        if (selected) {
            wchar_t text[MAX_PATH] = {};
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem = reinterpret_cast<HTREEITEM>(selected);
            item.pszText = text;
            item.cchTextMax = MAX_PATH;
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            if (_wcsicmp(text, leaf.c_str()) == 0) return;
        }
        Sleep(20);
    }
}

TEST_F(Services, RequestDirStartsAtTheInitialFolder) {
    ScratchDir dir;
    Seen seen;
    String* chosen;
    {
        Helper helper([&] {
            HWND dialog = WaitForWindow(L"#32770", nullptr);
            if (!dialog) return;
            seen.found = true;
            WaitForTreeSelection(dialog, dir.path());  // the browser selects it after it starts
            Press(dialog, IDOK);
        });
        chosen = RequestDir(u"Pick a folder"_s, StringOf(dir.path()));
    }
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(Lower(StringOfWide(chosen)), Lower(dir.path()));
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(Services, RequestDirCancelledGivesTheEmptyString) {
    Seen seen;
    String* chosen;
    {
        Helper helper([&] {
            HWND dialog = WaitForWindow(L"#32770", nullptr);
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
    bool ran = PumpUntil([&] { return Exists(dir.File(L"control.txt")); }, 20000);
    ASSERT_TRUE(ran);
    EXPECT_FALSE(Exists(dir.File(L"probe.txt")));
}

}  // namespace
