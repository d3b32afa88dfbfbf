// The file system: path texts, examining, creating, copying and deleting
// files and folders, listings, OpenFile's fall-back, date and time.
#include "runtime/win32.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "runtime/exception.h"
#include "stream/bankstream.h"
#include "stream/filesystem.h"
#include "stream_test_support.h"
#include "tests/child_process.h"

namespace {

std::string Fix(const char* path, int strip = 0) { return Narrow(FixPath(S(path), strip)); }
std::string Real(const char* path) { return Narrow(RealPath(S(path))); }

// Restores the working directory when the test ends.
class KeepCurrentDir {
public:
    KeepCurrentDir() : saved_(Units(CurrentDir())) {}
    ~KeepCurrentDir() { ChangeDir(Saved()); }
    String* Saved() const { return String::FromShorts(saved_.data(), static_cast<int>(saved_.size())); }

private:
    std::u16string saved_;
};

// A path of more than 1023 characters in folders of 200 characters each.
String* LongPath(String* base, int folders) {
    String* part = String::FromCString(std::string(200, 'L').c_str());
    String* p = base;
    for (int i = 0; i < folders; ++i) p = Concat(p, u"/"_s, part);
    return p;
}

}  // namespace

// ---- path texts ----

TEST(PathText, FixPath) {
    EXPECT_EQ(Fix("C:"), "C:/");
    EXPECT_EQ(Fix("C:a"), "C:/a");
    EXPECT_EQ(Fix("C:\\a\\b"), "C:/a/b");
    EXPECT_EQ(Fix("C:/", 1), "C:/");
    EXPECT_EQ(Fix("C:/a/", 1), "C:/a");
    EXPECT_EQ(Fix("C:/a/", 0), "C:/a/");
    EXPECT_EQ(Fix("/", 1), "/");
    EXPECT_EQ(Fix("a/", 1), "a");
    EXPECT_EQ(Fix(""), "");
    EXPECT_EQ(Fix("", 1), "");
    EXPECT_EQ(Fix("c", 1), "c");
}

TEST(PathText, StripSlashRemovesOneSlash) {
    EXPECT_EQ(Narrow(StripSlash(S("C:/"))), "C:/");
    EXPECT_EQ(Narrow(StripSlash(S("a//"))), "a/");
    EXPECT_EQ(Narrow(StripSlash(S("/"))), "/");
    EXPECT_EQ(Narrow(StripSlash(S("d:\\x\\"))), "d:/x");
}

TEST(PathText, RealPathResolvesDotsAgainstTheRoot) {
    EXPECT_EQ(Real("C:/a/b/../c/./d"), "C:/a/c/d");
    EXPECT_EQ(Real("C:/.."), "<bad_dir>");
    EXPECT_EQ(Real("C:/a/b/../../.."), "<bad_dir>");
    EXPECT_EQ(Real("C:\\a\\\\b\\"), "C:/a/b");
    EXPECT_EQ(Real("C:"), "C:/");
    EXPECT_EQ(Real("/a/b/.."), "/a");
    EXPECT_EQ(Real("/a/.."), "/");
    EXPECT_EQ(Real("//server/share/x/.."), "//server/share");
}

TEST(PathText, RealPathOfRelativePathsStartsAtTheCurrentDir) {
    std::string here = Narrow(CurrentDir());
    ASSERT_FALSE(here.empty());
    EXPECT_EQ(Real(""), here);
    EXPECT_EQ(Real("."), here);
    EXPECT_EQ(Real("x/./y"), here + (here.back() == '/' ? "" : "/") + "x/y");
    EXPECT_EQ(Real("x/.."), here);
}

TEST(PathText, ExtractAndStrip) {
    EXPECT_EQ(Narrow(ExtractDir(S("name.txt"))), "<bad_dir>");
    EXPECT_EQ(Narrow(ExtractDir(S("C:/a"))), "C:/");
    EXPECT_EQ(Narrow(ExtractDir(S("C:\\a\\b.txt"))), "C:/a");
    EXPECT_EQ(Narrow(ExtractDir(S("C:/a/"))), "<bad_dir>");
    EXPECT_EQ(Narrow(StripDir(S("C:/a/name.txt"))), "name.txt");
    EXPECT_EQ(Narrow(StripDir(S("name"))), "name");
    EXPECT_EQ(Narrow(ExtractExt(S("C:/a.b/file"))), "");
    EXPECT_EQ(Narrow(ExtractExt(S("file.tar.gz"))), "gz");
    EXPECT_EQ(Narrow(StripExt(S("file.tar.gz"))), "file.tar");
    EXPECT_EQ(Narrow(StripExt(S("C:/a.b/file"))), "C:/a.b/file");
    EXPECT_EQ(Narrow(StripAll(S("C:\\x\\y.png"))), "y");
    EXPECT_EQ(Narrow(ExtractExt(S("noext"))), "");
}

// ---- examining ----

TEST(FileInfo, TypesSizesTimesAndModes) {
    ScratchFolder dir;
    String* file = dir.Path("info.txt");
    PutFile(file, "12345");
    EXPECT_EQ(FileType(file), FILETYPE_FILE);
    EXPECT_EQ(FileType(dir.Path()), FILETYPE_DIR);
    EXPECT_EQ(FileType(Concat(dir.Path(), u"/"_s)), FILETYPE_DIR);  // a trailing slash still names the folder
    EXPECT_EQ(FileType(dir.Path("missing")), FILETYPE_NONE);
    EXPECT_EQ(FileSize(file), 5);
    EXPECT_EQ(FileSize(dir.Path("missing")), -1);
    int now = static_cast<int>(std::time(nullptr));
    EXPECT_LT(std::abs(FileTime(file) - now), 24 * 3600);
    EXPECT_EQ(FileTime(dir.Path("missing")), 0);
    EXPECT_NE(FileMode(file) & 0200, 0);  // writable
    EXPECT_EQ(FileMode(file) & ~511, 0);
    EXPECT_EQ(FileMode(dir.Path("missing")), -1);
    SetFileMode(file, 0444);
    EXPECT_EQ(FileMode(file) & 0200, 0);
    EXPECT_EQ(DeleteFile(file), 1);  // read-only files are removed too
    EXPECT_EQ(FileType(file), FILETYPE_NONE);
}

TEST(FileInfo, BackslashesAndDriveLetters) {
    ScratchFolder dir;
    PutFile(dir.Path("b.txt"), "x");
    String* back = dir.Path("b.txt")->Replace(u"/"_s, u"\\"_s);
    EXPECT_EQ(FileType(back), FILETYPE_FILE);
    EXPECT_EQ(FileSize(back), 1);
    EXPECT_EQ(FileType(S("C:")), FILETYPE_DIR);
    EXPECT_EQ(FileType(S("C:\\")), FILETYPE_DIR);
}

TEST(FileInfo, PathsWithAngleBracketsNeverExist) {
    ScratchFolder dir;
    String* bad = dir.Path("<bad_dir>");
    EXPECT_EQ(FileType(bad), FILETYPE_NONE);
    EXPECT_EQ(FileType(Concat(dir.Path(), u"/a>b"_s)), FILETYPE_NONE);
    EXPECT_EQ(FileSize(bad), -1);
    EXPECT_EQ(FileTime(bad), 0);
    EXPECT_EQ(FileMode(bad), -1);
    EXPECT_EQ(CreateFile(Concat(bad, u"/x.txt"_s)), 0);
    EXPECT_EQ(CreateFile(dir.Path("a<b.txt")), 0);
    EXPECT_EQ(CreateDir(dir.Path("a>b"), 0), 0);
    EXPECT_EQ(CreateDir(Concat(bad, u"/sub"_s), 1), 0);
    EXPECT_EQ(ReadDir(bad), nullptr);
    EXPECT_EQ(LoadDir(dir.Path(), 1)->Length(), 0);  // nothing was created
    EXPECT_EQ(DeleteFile(bad), 1);                   // nothing is there
}

TEST(FileInfo, EmptyPaths) {
    EXPECT_EQ(FileType(EmptyString()), FILETYPE_NONE);
    EXPECT_EQ(FileSize(EmptyString()), -1);
    EXPECT_EQ(CreateFile(EmptyString()), 0);
    EXPECT_EQ(CreateDir(EmptyString(), 0), 0);
    EXPECT_EQ(ChangeDir(EmptyString()), 0);
    EXPECT_EQ(ReadDir(EmptyString()), nullptr);
    EXPECT_EQ(LoadDir(EmptyString())->Length(), 0);
    EXPECT_EQ(CasedFileName(EmptyString())->length, 0);
}

TEST(FileInfo, DeleteDirOfTheEmptyPathLeavesTheCurrentFolderAlone) {
    ScratchFolder dir;
    KeepCurrentDir keep;  // restored before the folder is removed
    PutFile(dir.Path("precious.txt"), "keep me");
    ASSERT_EQ(ChangeDir(dir.Path()), 1);
    DeleteDir(EmptyString(), 1);
    DeleteDir(S("."), 0);
    EXPECT_EQ(FileBytes(dir.Path("precious.txt")), "keep me");
}

// ---- files ----

TEST(Files, CreateFileReplacesAnExistingOne) {
    ScratchFolder dir;
    String* f = dir.Path("c.txt");
    EXPECT_EQ(CreateFile(f), 1);
    EXPECT_EQ(FileSize(f), 0);
    PutFile(f, "old content");
    SetFileMode(f, 0444);
    EXPECT_EQ(CreateFile(f), 1);
    EXPECT_EQ(FileSize(f), 0);
    EXPECT_EQ(CreateFile(dir.Path("no/such/c.txt")), 0);
    EXPECT_EQ(CreateFile(dir.Path()), 0);  // a folder is not replaced
    EXPECT_EQ(FileType(dir.Path()), FILETYPE_DIR);
}

TEST(Files, DeleteAndRename) {
    ScratchFolder dir;
    PutFile(dir.Path("r1.txt"), "r");
    EXPECT_EQ(RenameFile(dir.Path("r1.txt"), dir.Path("r2.txt")), 1);
    EXPECT_EQ(FileType(dir.Path("r1.txt")), FILETYPE_NONE);
    EXPECT_EQ(FileBytes(dir.Path("r2.txt")), "r");
    EXPECT_EQ(RenameFile(dir.Path("r1.txt"), dir.Path("r3.txt")), 0);
    EXPECT_EQ(DeleteFile(dir.Path("r2.txt")), 1);
    EXPECT_EQ(DeleteFile(dir.Path("r2.txt")), 1);  // nothing there: still 1
    EXPECT_EQ(DeleteFile(dir.Path()), 0);           // a folder is not a file
}

TEST(Files, CopyFile) {
    ScratchFolder dir;
    std::string bytes;
    for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>(i % 251));
    PutFile(dir.Path("src.bin"), bytes);
    EXPECT_EQ(CopyFile(dir.Path("src.bin"), dir.Path("dst.bin")), 1);
    EXPECT_EQ(FileBytes(dir.Path("dst.bin")), bytes);
    PutFile(dir.Path("empty.bin"), "");
    EXPECT_EQ(CopyFile(dir.Path("empty.bin"), dir.Path("dst.bin")), 1);
    EXPECT_EQ(FileSize(dir.Path("dst.bin")), 0);
    EXPECT_EQ(CopyFile(dir.Path("missing.bin"), dir.Path("dst2.bin")), 0);
    EXPECT_EQ(FileType(dir.Path("dst2.bin")), FILETYPE_NONE);
    EXPECT_EQ(CopyFile(dir.Path("src.bin"), dir.Path("no/such/dst.bin")), 0);
}

TEST(Files, CopyFileOntoItselfKeepsTheContent) {
    ScratchFolder dir;
    PutFile(dir.Path("self.txt"), "precious");
    EXPECT_EQ(CopyFile(dir.Path("self.txt"), dir.Path("self.txt")), 0);
    String* other = dir.Path("SELF.TXT")->Replace(u"/"_s, u"\\"_s);
    EXPECT_EQ(CopyFile(dir.Path("self.txt"), other), 0);
    EXPECT_EQ(CopyFile(dir.Path("self.txt"), Concat(dir.Path(), u"/./x/../self.txt"_s)), 0);
    EXPECT_EQ(FileBytes(dir.Path("self.txt")), "precious");
    // Other names of the same file: a hard link and the short 8.3 name.
    std::u16string link = Units(dir.Path("another name for self.txt"));
    std::u16string self = Units(dir.Path("self.txt"));
    ASSERT_TRUE(CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.c_str()),
                                reinterpret_cast<const wchar_t*>(self.c_str()), nullptr));
    EXPECT_EQ(CopyFile(dir.Path("self.txt"), dir.Path("another name for self.txt")), 0);
    char16_t shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(reinterpret_cast<const wchar_t*>(link.c_str()),
                                reinterpret_cast<wchar_t*>(shortName), MAX_PATH),
              0u);
    EXPECT_NE(std::u16string(shortName), link);
    EXPECT_EQ(CopyFile(dir.Path("self.txt"), String::FromWString(shortName)), 0);
    EXPECT_EQ(FileBytes(dir.Path("self.txt")), "precious");
}

TEST(Files, NonAsciiNames) {
    ScratchFolder dir;
    String* name = Concat(dir.Path(), u"/\u00fcber-\u4e2d.txt"_s);
    EXPECT_EQ(CreateFile(name), 1);
    EXPECT_EQ(FileType(name), FILETYPE_FILE);
    Array* names = LoadDir(dir.Path(), 1);
    ASSERT_EQ(names->Length(), 1);
    EXPECT_EQ(Units(names->StringAt(0)), u"\u00fcber-\u4e2d.txt");
    EXPECT_EQ(DeleteFile(name), 1);
}

// ---- folders ----

TEST(Folders, CreateDirWithAndWithoutRecursion) {
    ScratchFolder dir;
    EXPECT_EQ(CreateDir(dir.Path("a/b/c"), 0), 0);
    EXPECT_EQ(CreateDir(dir.Path("a/b/c/"), 1), 1);
    EXPECT_EQ(FileType(dir.Path("a/b/c")), FILETYPE_DIR);
    EXPECT_EQ(CreateDir(dir.Path("a/b/c"), 1), 1);  // already there
    EXPECT_EQ(CreateDir(dir.Path("single"), 0), 1);
    PutFile(dir.Path("a/file"), "f");
    EXPECT_EQ(CreateDir(dir.Path("a/file/sub"), 1), 0);  // a prefix is a file
    EXPECT_EQ(CreateDir(dir.Path("a/file"), 0), 0);
    String* relative = S("relative-made-here");
    {
        KeepCurrentDir keep;
        ASSERT_EQ(ChangeDir(dir.Path()), 1);
        EXPECT_EQ(CreateDir(Concat(relative, u"/x\\y"_s), 1), 1);
    }
    EXPECT_EQ(FileType(dir.Path("relative-made-here/x/y")), FILETYPE_DIR);
}

TEST(Folders, DeleteDirWithAndWithoutRecursion) {
    ScratchFolder dir;
    ASSERT_EQ(CreateDir(dir.Path("t/u/v"), 1), 1);
    PutFile(dir.Path("t/one.txt"), "1");
    PutFile(dir.Path("t/u/two.txt"), "2");
    SetFileMode(dir.Path("t/u/two.txt"), 0444);
    EXPECT_EQ(DeleteDir(dir.Path("t"), 0), 0);  // not empty
    EXPECT_EQ(FileType(dir.Path("t/one.txt")), FILETYPE_FILE);
    EXPECT_EQ(DeleteDir(dir.Path("t/"), 1), 1);
    EXPECT_EQ(FileType(dir.Path("t")), FILETYPE_NONE);
    EXPECT_EQ(DeleteDir(dir.Path("t"), 1), 1);  // nothing there
}

// A link inside the tree is removed as itself, never followed: what it points
// to is kept.  Under Wine the link is a Unix symbolic link, which Wine cannot
// remove through Windows calls, so there the link stays and DeleteDir says 0.
// (Wine shows a Unix link to a file as a plain file and deletes its target
// when asked to delete it: only Windows can show file links.)
TEST(Folders, DeleteDirLeavesTheTargetsOfLinksAlone) {
    std::string base = "/tmp/neonara-links-" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RunUnixShell("rm -rf " + base + " && mkdir -p " + base + "/kept " + base + "/doomed && echo keep > " +
                           base + "/kept/keep.txt && echo x > " + base + "/doomed/plain.txt && ln -s " + base +
                           "/kept " + base + "/doomed/link"),
              0);
    String* root = String::FromCString(("Z:" + base).c_str());
    String* doomed = Concat(root, u"/doomed"_s);
    int deleted = DeleteDir(doomed, 1);
    EXPECT_EQ(FileBytes(Concat(root, u"/kept/keep.txt"_s)), "keep\n");
    EXPECT_EQ(FileType(Concat(doomed, u"/plain.txt"_s)), FILETYPE_NONE);
    EXPECT_EQ(deleted, FileType(doomed) == FILETYPE_NONE);
    // The folder link named as the folder to delete: the same.
    EXPECT_EQ(RunUnixShell("ln -s " + base + "/kept " + base + "/top-link"), 0);
    DeleteDir(Concat(root, u"/top-link"_s), 1);
    EXPECT_EQ(FileBytes(Concat(root, u"/kept/keep.txt"_s)), "keep\n");
    EXPECT_EQ(RunUnixShell("rm -rf " + base), 0);
}

TEST(Folders, CopyDirCopiesTheTree) {
    ScratchFolder dir;
    ASSERT_EQ(CreateDir(dir.Path("from/sub/deeper"), 1), 1);
    PutFile(dir.Path("from/a.txt"), "A");
    PutFile(dir.Path("from/sub/b.txt"), "BB");
    PutFile(dir.Path("from/sub/deeper/c.txt"), "CCC");
    EXPECT_EQ(CopyDir(dir.Path("from"), dir.Path("to")), 1);
    EXPECT_EQ(FileBytes(dir.Path("to/a.txt")), "A");
    EXPECT_EQ(FileBytes(dir.Path("to/sub/b.txt")), "BB");
    EXPECT_EQ(FileBytes(dir.Path("to/sub/deeper/c.txt")), "CCC");
    EXPECT_EQ(CopyDir(dir.Path("from/a.txt"), dir.Path("to2")), 0);  // not a folder
    PutFile(dir.Path("blocker"), "");
    EXPECT_EQ(CopyDir(dir.Path("from"), dir.Path("blocker")), 0);  // the target is a file
}

TEST(Folders, CopyDirIntoItselfIsRefused) {
    ScratchFolder dir;
    ASSERT_EQ(CreateDir(dir.Path("loop/inner"), 1), 1);
    PutFile(dir.Path("loop/f.txt"), "f");
    EXPECT_EQ(CopyDir(dir.Path("loop"), dir.Path("loop/inner/copy")), 0);
    EXPECT_EQ(CopyDir(dir.Path("loop"), dir.Path("LOOP")), 0);
    EXPECT_EQ(FileType(dir.Path("loop/inner/copy")), FILETYPE_NONE);
    EXPECT_EQ(CopyDir(dir.Path("loop/inner"), dir.Path("loop/inner2")), 1);  // a sibling is fine
}

TEST(Folders, CurrentDirAndChangeDir) {
    ScratchFolder dir;
    KeepCurrentDir keep;  // restored before the folder is removed
    ASSERT_EQ(CreateDir(dir.Path("cd"), 0), 1);
    EXPECT_EQ(ChangeDir(Concat(dir.Path("cd"), u"/"_s)), 1);
    EXPECT_EQ(Narrow(CurrentDir()->ToLower()), Narrow(dir.Path("cd")->ToLower()));
    EXPECT_EQ(CurrentDir()->Find(u"\\"_s), -1);
    EXPECT_EQ(ChangeDir(S("..")), 1);
    EXPECT_EQ(Narrow(CurrentDir()->ToLower()), Narrow(dir.Path()->ToLower()));
    EXPECT_EQ(ChangeDir(dir.Path("missing")), 0);
    EXPECT_EQ(ChangeDir(S("C:")), 1);
    EXPECT_EQ(Narrow(CurrentDir()), "C:/");
}

TEST(Folders, VeryLongPathsFailCleanlyOrWork) {
    ScratchFolder dir;
    KeepCurrentDir keep;  // restored before the folder is removed
    String* deep = LongPath(dir.Path(), 6);
    ASSERT_GT(deep->length, 1023);
    int made = CreateDir(deep, 1);
    EXPECT_EQ(made == 1, FileType(deep) == FILETYPE_DIR);
    String* file = Concat(deep, u"/f.txt"_s);
    int created = CreateFile(file);
    EXPECT_EQ(created == 1, FileType(file) == FILETYPE_FILE);
    EXPECT_EQ(ChangeDir(deep), 0);  // longer than any Windows current folder
    EXPECT_EQ(Narrow(CurrentDir()), Narrow(keep.Saved()));
    EXPECT_EQ(DeleteDir(Concat(dir.Path(), u"/"_s, Slice(deep, dir.Path()->length + 1, dir.Path()->length + 201)), 1),
              1);
    EXPECT_EQ(FileType(deep), FILETYPE_NONE);
    String* component = Concat(dir.Path(), u"/"_s, String::FromCString(std::string(300, 'n').c_str()));
    EXPECT_EQ(CreateDir(component, 0), 0);  // one name longer than any file system allows
    EXPECT_EQ(CreateFile(component), 0);
}

// ---- listings ----

TEST(Listings, ReadDirGivesEveryEntryThenTheEmptyString) {
    ScratchFolder dir;
    PutFile(dir.Path("one"), "");
    ASSERT_EQ(CreateDir(dir.Path("two"), 0), 1);
    DirStream* d = ReadDir(dir.Path());
    ASSERT_NE(d, nullptr);
    std::vector<std::string> names;
    for (String* n = NextFile(d); n->length; n = NextFile(d)) names.push_back(Narrow(n));
    EXPECT_EQ(NextFile(d)->length, 0);
    CloseDir(d);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "one", "two"}));
    EXPECT_EQ(ReadDir(dir.Path("missing")), nullptr);
    EXPECT_EQ(NextFile(nullptr)->length, 0);
    CloseDir(nullptr);
}

TEST(Listings, LoadDirGrowsPastItsFirstHundred) {
    ScratchFolder dir;
    int n = Stressed() ? 130 : 250;
    for (int i = 0; i < n; ++i) PutFile(dir.Path(("f" + std::to_string(i)).c_str()), "");
    Array* all = LoadDir(dir.Path(), 0);
    EXPECT_EQ(all->Length(), n + 2);
    Array* named = LoadDir(dir.Path(), 1);
    ASSERT_EQ(named->Length(), n);
    EXPECT_EQ(std::string(named->type), "$");
    int dots = 0;
    for (int i = 0; i < named->Length(); ++i) dots += named->StringAt(i)->StartsWith(u"."_s);
    EXPECT_EQ(dots, 0);
    EXPECT_EQ(LoadDir(dir.Path("missing"))->Length(), 0);
}

TEST(Listings, CasedFileName) {
    ScratchFolder dir;
    PutFile(dir.Path("MixedCase.txt"), "");
    EXPECT_EQ(Narrow(CasedFileName(dir.Path("MixedCase.txt"))), Narrow(dir.Path("MixedCase.txt")));
    // Windows names ignore case, so a differently cased name exists unchanged.
    String* other = CasedFileName(dir.Path("mixedcase.TXT"));
    EXPECT_EQ(Narrow(other->ToLower()), Narrow(dir.Path("mixedcase.txt")->ToLower()));
    EXPECT_EQ(CasedFileName(dir.Path("missing.txt"))->length, 0);
    EXPECT_EQ(CasedFileName(dir.Path("missing/deeper/x.txt"))->length, 0);
    EXPECT_EQ(CasedFileName(S("Q:/no/such/drive"))->length, 0);
    EXPECT_EQ(CasedFileName(S("<bad_dir>/x"))->length, 0);
    EXPECT_EQ(CasedFileName(S("no-slash-and-missing"))->length, 0);
}

// ---- OpenFile ----

TEST(OpenFileFallBack, SeekableStreamsAreReturnedAsTheyAre) {
    ScratchFolder dir;
    PutFile(dir.Path("plain.txt"), "plain");
    TStream* s = OpenFile(dir.Path("plain.txt"), 1, 0);
    EXPECT_TRUE(IsA<TCStream>(s));
    s->Close();
    EXPECT_TRUE(IsNull(OpenFile(dir.Path("missing.txt"), 1, 0)));
}

TEST(OpenFileFallBack, AStreamThatCannotSeekIsLoadedIntoABank) {
    StartFileSystemModule();
    int fds[2];
    ASSERT_EQ(_pipe(fds, 65536, _O_BINARY), 0);
    FILE* writer = _fdopen(fds[1], "wb");
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes.push_back(static_cast<char>(i * 13));
    std::fwrite(bytes.data(), 1, bytes.size(), writer);
    std::fclose(writer);
    TCStream* piped = TCStream::CreateWithCStream(_fdopen(fds[0], "rb"), TCStream::MODE_READ);
    ASSERT_EQ(piped->Pos(), -1);
    TStream* s = OpenFile(piped, 1, 0);
    ASSERT_TRUE(IsA<TBankStream>(s));
    EXPECT_EQ(s->Pos(), 0);
    EXPECT_EQ(s->Size(), 20000);
    Array* back = LoadByteArray(s);
    ASSERT_EQ(back->Length(), 20000);
    EXPECT_EQ(std::string(back->DataAs<char>(), 20000), bytes);
    piped->Close();
}

TEST(OpenFileFallBack, AWriteOnlyStreamIsNotReadFirst) {
    TScriptedStream* s = TScriptedStream::Create("abc");
    s->pos = -1;  // cannot seek
    TStream* opened = OpenFile(s, 0, 1);
    EXPECT_TRUE(IsA<TStreamStream>(opened));
    EXPECT_TRUE(s->asked.empty());
}

// ---- date and time ----

TEST(DateTime, Formats) {
    std::string date = Narrow(CurrentDate());
    std::string time = Narrow(CurrentTime());
    EXPECT_TRUE(std::regex_match(date, std::regex("[0-3][0-9] [A-Z][a-z][a-z] [0-9]{4}"))) << date;
    EXPECT_TRUE(std::regex_match(time, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]"))) << time;
    char year[8];
    std::time_t now = std::time(nullptr);
    std::strftime(year, sizeof year, "%Y", std::localtime(&now));
    EXPECT_EQ(date.substr(7), year);
}

// ---- a really full disk (tests/stream/full_disk.sh mounts it) ----

namespace {

// The full disk's folder as Wine sees it, or the empty string.
String* FullDiskFolder() {
    const char* dir = std::getenv("NEONARA_FULL_DISK_DIR");
    if (!dir || !*dir) return EmptyString();
    return Concat(u"Z:"_s, S(dir));
}

// Fills the rest of the disk with one file written by the Win32 API.
void FillDisk(String* path) {
    std::u16string name = Units(path);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char block[1024] = {};
    DWORD put = 0;
    while (WriteFile(h, block, sizeof block, &put, nullptr) && put == sizeof block) {
    }
    while (WriteFile(h, block, 1, &put, nullptr) && put == 1) {
    }
    CloseHandle(h);
}

}  // namespace

TEST(FullDisk, CopyFileOntoAFullDiskReturnsZeroAndLeavesNoCopy) {
    String* full = FullDiskFolder();
    if (full->length == 0) {
        GTEST_SKIP() << "NEONARA_FULL_DISK_DIR is not set: tests/stream/full_disk.sh runs this test on a "
                        "mounted 64 KiB tmpfs";
    }
    ASSERT_EQ(FileType(full), FILETYPE_DIR);
    ScratchFolder dir;
    std::string big(200 * 1024, 'B');
    PutFile(dir.Path("big.bin"), big);
    PutFile(dir.Path("small.bin"), std::string(1000, 's'));

    // Larger than the whole disk: the copy fails while it writes.
    String* bigCopy = Concat(full, u"/big.bin"_s);
    EXPECT_EQ(CopyFile(dir.Path("big.bin"), bigCopy), 0);
    EXPECT_EQ(FileType(bigCopy), FILETYPE_NONE);

    // The disk itself works.
    String* smallCopy = Concat(full, u"/small.bin"_s);
    EXPECT_EQ(CopyFile(dir.Path("small.bin"), smallCopy), 1);
    EXPECT_EQ(FileBytes(smallCopy), std::string(1000, 's'));
    EXPECT_EQ(DeleteFile(smallCopy), 1);

    // Full to the last byte: a small copy fails only when the C library
    // flushes its buffer, and must not be reported as done either.
    FillDisk(Concat(full, u"/filler"_s));
    String* late = Concat(full, u"/late.bin"_s);
    EXPECT_EQ(CopyFile(dir.Path("small.bin"), late), 0);
    EXPECT_EQ(FileType(late), FILETYPE_NONE);
    DeleteFile(Concat(full, u"/filler"_s));
}

TEST(FullDisk, SavingOntoAFullDiskIsNotReportedAsDone) {
    String* full = FullDiskFolder();
    if (full->length == 0) {
        GTEST_SKIP() << "NEONARA_FULL_DISK_DIR is not set: tests/stream/full_disk.sh runs this test on a "
                        "mounted 64 KiB tmpfs";
    }
    StartBankStreamModule();
    FillDisk(Concat(full, u"/filler"_s));
    TBank* bank = CreateBank(1000);
    EXPECT_EQ(SaveBank(bank, Concat(full, u"/bank.bin"_s)), 0);
    // SaveString has no result: it must not crash, and what it could not
    // write may be lost but nothing else is harmed.
    SaveString(S("text that does not fit"), Concat(full, u"/text.txt"_s));
    bool threw = false;
    try {
        SaveString(String::FromCString(std::string(100000, 't').c_str()), Concat(full, u"/big.txt"_s));
    } catch (ThrownObject& thrown) {
        threw = thrown.As<TStreamWriteException>() != nullptr;
    }
    EXPECT_TRUE(threw);
    DeleteFile(Concat(full, u"/filler"_s));
}
