// What Windows reads from the shipped files without running them: the name
// the screen saver settings list (string 1), the version information of
// neonara.scr and bass.dll, and the program's icon.
#include <gtest/gtest.h>

#include <string>

#include "runtime/win32.h"

namespace {

// "MAJOR.MINOR.PATCH" of the file's fixed version information, or "".
std::string FileVersion(const wchar_t* file, std::wstring* description) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    if (size == 0) return "";
    std::string data(size, '\0');
    if (!GetFileVersionInfoW(file, 0, size, data.data())) return "";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) return "";
    wchar_t* text = nullptr;
    if (VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileDescription", reinterpret_cast<void**>(&text),
                       &length) && text) {
        *description = text;
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS));
}

}  // namespace

TEST(Resources, TheSettingsListTheSaverByItsNameAndIcon) {
    HMODULE saver = LoadLibraryExW(L"neonara.scr", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(saver, nullptr) << "neonara.scr beside the tests";
    wchar_t name[64] = L"";
    EXPECT_GT(LoadStringW(saver, 1, name, 64), 0);
    EXPECT_EQ(std::wstring(name), L"Neonara Screensaver");
    EXPECT_NE(FindResourceW(saver, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON
    FreeLibrary(saver);
}

TEST(Resources, BothFilesCarryTheProjectsVersion) {
    std::wstring description;
    EXPECT_EQ(FileVersion(L"neonara.scr", &description), NEONARA_VERSION);
    EXPECT_EQ(description, L"Neonara Screensaver");
    EXPECT_EQ(FileVersion(L"bass.dll", &description), NEONARA_VERSION);
    EXPECT_EQ(description, L"Neonara radio engine");
}
