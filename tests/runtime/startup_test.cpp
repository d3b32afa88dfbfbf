// Process start-up: the path rules, the globals, the working directory and
// the core's start-up routine.
#include <gtest/gtest.h>

#include <direct.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/list.h"
#include "runtime/map.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include "tests/child_process.h"

namespace {

std::string Text(String* s) {
    char* c = s->ToCString();
    std::string text(c);
    MemFreeBlock(c);
    return text;
}

std::string FolderOf(const char* file) { return Text(ProgramFolder(String::FromCString(file))); }

std::string CurrentDirectory() {
    char path[1025];
    return _getcwd(path, 1024) ? Text(ForwardSlashes(path)) : "";
}

int CountRegistered(const ClassRecord* record) {
    int count = 0;
    const ClassRecord* const* records = RegisteredClasses(&count);
    int found = 0;
    for (int i = 0; i < count; ++i) found += records[i] == record;
    return found;
}

}  // namespace

TEST(StartupPaths, BackslashesBecomeSlashes) {
    EXPECT_EQ(Text(ForwardSlashes("C:\\Games\\Neonara\\neonara.scr")), "C:/Games/Neonara/neonara.scr");
    EXPECT_EQ(Text(ForwardSlashes("C:/mixed\\path/x.exe")), "C:/mixed/path/x.exe");
    EXPECT_EQ(Text(ForwardSlashes("")), "");
}

TEST(StartupPaths, FolderIsCutAtTheLastSlash) {
    EXPECT_EQ(FolderOf("C:/Games/Neonara/neonara.scr"), "C:/Games/Neonara");
    EXPECT_EQ(FolderOf("Z:/work/a.b/c.exe"), "Z:/work/a.b");
    EXPECT_EQ(FolderOf("C:/dir/"), "C:/dir");
    EXPECT_EQ(FolderOf("//server/share/neonara.scr"), "//server/share");
}

TEST(StartupPaths, DriveRootKeepsItsSlash) {
    EXPECT_EQ(FolderOf("C:/neonara.scr"), "C:/");
    EXPECT_EQ(FolderOf("z:/x"), "z:/");
    EXPECT_EQ(FolderOf("/neonara.scr"), "/");
}

TEST(StartupPaths, PathWithoutSlashHasNoFolder) {
    EXPECT_EQ(FolderOf("neonara.scr"), "");
    EXPECT_EQ(FolderOf("C:"), "");
    EXPECT_EQ(FolderOf(""), "");
}

TEST(StartupGlobals, AppFileAndAppDirDescribeThisProgram) {
    char path[1024];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    ASSERT_GT(n, 0u);
    std::string file = Text(AppFile);
    EXPECT_EQ(file, Text(ForwardSlashes(path)));
    EXPECT_EQ(file.find('\\'), std::string::npos);
    std::string dir = Text(AppDir);
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(file.substr(0, dir.size() + 1), dir + "/");
    EXPECT_EQ(file.find('/', dir.size() + 1), std::string::npos);  // the folder holds the file itself
}

TEST(StartupGlobals, AppTitleAndArguments) {
    EXPECT_EQ(Text(AppTitle), "Korvex Application");
    ASSERT_EQ(AppArgs->Length(), __argc);
    EXPECT_STREQ(AppArgs->type, "$");
    for (int i = 0; i < __argc; ++i) EXPECT_EQ(Text(AppArgs->StringAt(i)), __argv[i]) << "argument " << i;
}

TEST(StartupGlobals, WorkingDirectoryIsTheProgramsFolder) { EXPECT_EQ(CurrentDirectory(), Text(AppDir)); }

TEST(StartupGlobals, CollectorModeFollowsTheEnvironment) {
    const char* stress = std::getenv("NEONARA_GC_STRESS");
    bool wanted = stress && std::string(stress) == "1";
    EXPECT_EQ(CollectorMode(), wanted ? kCollectEveryAllocation : kCollectAutomatic);
}

TEST(StartupCore, RegistersTheCoreClassesOnce) {
    StartRuntimeCore();
    StartRuntimeCore();
    const ClassRecord* core[] = {&Object::classRecord,
                                 &String::classRecord,
                                 &Array::classRecord,
                                 &TKorvoException::classRecord,
                                 &TNullObjectException::classRecord,
                                 &TNullMethodException::classRecord,
                                 &TNullFunctionException::classRecord,
                                 &TArrayBoundsException::classRecord,
                                 &TOutOfDataException::classRecord,
                                 &TRuntimeException::classRecord,
                                 &TList::classRecord,  // the list and map modules are started with the core
                                 &TMap::classRecord};
    for (const ClassRecord* record : core) EXPECT_EQ(CountRegistered(record), 1) << record->name;
}

// ---- a program started from another folder ----

namespace {
const char kProbeFile[] = "startup_probe.txt";
const char kProbeText[] = "next to the program";
}  // namespace

// Run only as a child process started in another folder; the parent passes
// that folder in NEONARA_PROBE_LAUNCH_DIR.
TEST(StartupChild, DISABLED_FindsItsDataFilesFromAnotherFolder) {
    const char* launch = std::getenv("NEONARA_PROBE_LAUNCH_DIR");
    ASSERT_NE(launch, nullptr);
    EXPECT_EQ(Text(LaunchDir), Text(ForwardSlashes(launch)));
    EXPECT_EQ(CurrentDirectory(), Text(AppDir));
    FILE* f = std::fopen(kProbeFile, "rb");
    ASSERT_NE(f, nullptr) << "relative path did not resolve next to the program";
    char buffer[64] = {};
    size_t got = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buffer, got), kProbeText);
}

TEST(StartupProcess, ProgramStartedFromAnotherFolderWorksInItsOwn) {
    FILE* f = std::fopen(kProbeFile, "wb");  // the working directory is AppDir
    ASSERT_NE(f, nullptr);
    std::fputs(kProbeText, f);
    std::fclose(f);

    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring launch = std::wstring(temp) + L"neonara-launch-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(launch.c_str(), nullptr);
    SetEnvironmentVariableW(L"NEONARA_PROBE_LAUNCH_DIR", launch.c_str());

    ChildOptions options;
    options.workingDirectory = launch.c_str();
    ChildResult child =
        RunChild(ChildTestCommand(L"StartupChild.DISABLED_FindsItsDataFilesFromAnotherFolder"), options);

    SetEnvironmentVariableW(L"NEONARA_PROBE_LAUNCH_DIR", nullptr);
    RemoveDirectoryW(launch.c_str());
    std::remove(kProbeFile);
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(child.exitCode, 0u) << child.out << child.err;
}
