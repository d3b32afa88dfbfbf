// What OpenURL hands the shell, and the requesters' filter texts.
#include <gtest/gtest.h>

#include <string>

#include "runtime/string.h"
#include "system/requesters.h"
#include "system/shellurl.h"
#include "tests/system/system_test_support.h"

namespace {

using namespace std::string_literals;

class ShellUrls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Write(L"doc.html", "<p>hi</p>"));
        ASSERT_TRUE(dir.Write(L"notes.TXT", "notes"));
        ASSERT_TRUE(dir.Write(L"tool.exe", "MZ"));
        ASSERT_TRUE(dir.Write(L"run.bat", "echo"));
        ASSERT_TRUE(dir.Write(L"link.lnk", ""));
        ASSERT_TRUE(dir.Write(L"README", "plain"));
        ASSERT_TRUE(CreateDirectoryW((dir.path() + L"/sub").c_str(), nullptr));
    }
    std::string For(const std::wstring& url) { return Utf8(ShellUrlFor(StringOf(url))); }
    std::string Local(const std::wstring& rest) { return Utf8(StringOf(L"file:" + dir.path() + rest)); }
    ScratchDir dir;
};

TEST_F(ShellUrls, WebAndMailAddressesGoUnchanged) {
    EXPECT_EQ(For(L"http://example.com/a#b"), "http://example.com/a#b");
    EXPECT_EQ(For(L"HTTP://EXAMPLE.COM"), "HTTP://EXAMPLE.COM");
    EXPECT_EQ(For(L"https://example.com/x?y=1#z"), "https://example.com/x?y=1#z");
    EXPECT_EQ(For(L"mailto:someone@example.com"), "mailto:someone@example.com");
}

TEST_F(ShellUrls, TextNamingNothingBecomesAWebAddress) {
    EXPECT_EQ(For(L"www.example.com/page"), "http:www.example.com/page");
    EXPECT_EQ(For(L"www.example.com/page#top"), "http:www.example.com/page#top");
    EXPECT_EQ(For(dir.path() + L"/missing.exe"), Utf8(StringOf(L"http:" + dir.path() + L"/missing.exe")));
    // Another scheme cannot reach its handler through an http address.
    EXPECT_EQ(For(L"ms-settings:display"), "http:ms-settings:display");
}

TEST_F(ShellUrls, FoldersAndDocumentsOpenAsFileUrls) {
    EXPECT_EQ(For(dir.path() + L"/doc.html"), Local(L"/doc.html"));
    EXPECT_EQ(For(dir.path() + L"/doc.html#part2"), Local(L"/doc.html#part2"));
    EXPECT_EQ(For(dir.path() + L"/sub/../notes.TXT"), Local(L"/notes.TXT"));
    EXPECT_EQ(For(dir.path() + L"/sub"), Local(L"/sub"));
    std::wstring backslashed = dir.path();
    for (wchar_t& c : backslashed) {
        if (c == L'/') c = L'\\';
    }
    EXPECT_EQ(For(backslashed + L"\\doc.html"), Local(L"/doc.html"));
}

TEST_F(ShellUrls, FileUrlsAreCheckedTheSameWay) {
    EXPECT_EQ(For(L"file:///" + dir.path() + L"/doc.html"), Local(L"/doc.html"));
    EXPECT_EQ(For(L"file:" + dir.path() + L"/doc.html#x"), Local(L"/doc.html#x"));
    EXPECT_EQ(For(L"FILE:///" + dir.path() + L"/do%63.html"), Local(L"/doc.html"));
    EXPECT_EQ(For(L"file:///" + dir.path() + L"/missing.html"), "");
    EXPECT_EQ(For(L"file:"), "");
}

TEST_F(ShellUrls, ProgramsScriptsAndShortcutsAreNeverHandedOver) {
    for (const wchar_t* name : {L"/tool.exe", L"/TOOL.EXE", L"/run.bat", L"/link.lnk", L"/README"}) {
        EXPECT_EQ(For(dir.path() + name), "") << Utf8(StringOf(name));
        EXPECT_EQ(For(L"file:///" + dir.path() + name), "") << Utf8(StringOf(name));
    }
    // Windows would open tool.exe for each of these.
    EXPECT_EQ(For(dir.path() + L"/tool.exe."), "");
    EXPECT_EQ(For(dir.path() + L"/tool.exe. . "), "");
    EXPECT_EQ(For(L"file:///" + dir.path() + L"/tool.exe%00.html"), "");
    EXPECT_EQ(For(L"file:///" + dir.path() + L"/tool.exe%2e"), "");
    EXPECT_EQ(For(dir.path() + L"/sub/../tool.exe#doc.html"), "");
}

TEST_F(ShellUrls, SafeLocalTargets) {
    EXPECT_TRUE(IsSafeLocalTarget(StringOf(dir.path() + L"/doc.html")));
    EXPECT_TRUE(IsSafeLocalTarget(StringOf(dir.path())));
    EXPECT_FALSE(IsSafeLocalTarget(StringOf(dir.path() + L"/tool.exe")));
    EXPECT_FALSE(IsSafeLocalTarget(StringOf(dir.path() + L"/doc.html:stream")));
    EXPECT_FALSE(IsSafeLocalTarget(StringOf(dir.path() + L"/missing.html")));
    EXPECT_FALSE(IsSafeLocalTarget(EmptyString()));
    EXPECT_EQ(For(L""), "");
}

// ---- requester filters ----

std::u16string Filter(const char16_t* extensions) { return FileFilterText(String::FromWString(extensions)); }

int Index(const char16_t* extensions, const char16_t* path) {
    return InitialFilterIndex(String::FromWString(extensions), String::FromWString(path));
}

TEST(RequesterFilters, GroupsBecomeFilterPairs) {
    EXPECT_EQ(Filter(u"Images:png,jpg;Text:txt"), u"Images\0*.png;*.jpg\0Text\0*.txt\0"s);
    EXPECT_EQ(Filter(u"png,jpg"), u"Files\0*.png;*.jpg\0"s);
    EXPECT_EQ(Filter(u"txt"), u"Files\0*.txt\0"s);
    EXPECT_EQ(Filter(u"All:*"), u"All\0*.*\0"s);
    EXPECT_EQ(Filter(u""), u""s);
}

TEST(RequesterFilters, TheInitialExtensionPicksItsGroup) {
    const char16_t* groups = u"Images:png,jpg;Text:txt,log";
    EXPECT_EQ(Index(groups, u"C:/a/b.png"), 1);
    EXPECT_EQ(Index(groups, u"C:/a/b.JPG"), 1);
    EXPECT_EQ(Index(groups, u"C:/a/b.txt"), 2);
    EXPECT_EQ(Index(groups, u"C:/a/b.log"), 2);  // the very last extension
    EXPECT_EQ(Index(groups, u"C:/a/b.gif"), 0);
    EXPECT_EQ(Index(groups, u"C:/a/b.pn"), 0);   // only whole extensions
    EXPECT_EQ(Index(groups, u"C:/a/b.images"), 0);
    EXPECT_EQ(Index(groups, u"C:/a/b"), 0);
    EXPECT_EQ(Index(u"png,jpg", u"x.png"), 1);   // the very first extension
    EXPECT_EQ(Index(u"png,jpg", u"x.jpg"), 1);
}

}  // namespace
