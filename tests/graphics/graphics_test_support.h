// Shared pieces of the graphics tests: pixmaps from and to byte lists, and
// a scratch folder for files.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/pixmap.h"
#include "runtime/win32.h"
#include "runtime/collector.h"
#include "runtime/string.h"

using Bytes = std::vector<unsigned char>;

inline bool Stressed() { return CollectorMode() == kCollectEveryAllocation; }

inline String* S(const char* text) { return String::FromCString(text); }

// A pixmap of the format whose rows hold `bytes` (width * bytes per pixel
// bytes per row, top row first).
inline TPixmap* PixmapOf(int width, int height, int format, const Bytes& bytes, int align = 4) {
    TPixmap* p = CreatePixmap(width, height, format, align);
    size_t row = static_cast<size_t>(width) * PixelFormatBytes(format);
    for (int y = 0; y < height; ++y) {
        for (size_t i = 0; i < row; ++i) p->PixelPtr(0, y)[i] = bytes[y * row + i];
    }
    return p;
}

// The pixel bytes of every row, without the padding.
inline Bytes BytesOf(TPixmap* p) {
    Bytes out;
    size_t row = static_cast<size_t>(p->width) * PixelFormatBytes(p->format);
    for (int y = 0; y < p->height; ++y) out.insert(out.end(), p->PixelPtr(0, y), p->PixelPtr(0, y) + row);
    return out;
}

// A fresh folder in the system's temporary folder, removed with its files
// when the test ends; its path uses "/" separators.
class ScratchFolder {
public:
    ScratchFolder() {
        static int counter;
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH, temp);
        path_ = temp;
        path_ += L"neonara-graphics-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        CreateDirectoryW(path_.c_str(), nullptr);
        for (auto& c : path_) {
            if (c == L'\\') c = L'/';
        }
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((path_ + L"/*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..") DeleteFileW((path_ + L"/" + name).c_str());
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(path_.c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring Wide(const char* name) const {
        std::string n = name;
        return path_ + L"/" + std::wstring(n.begin(), n.end());
    }
    String* Path(const char* name) const {
        std::wstring w = Wide(name);
        return String::FromWString(reinterpret_cast<const char16_t*>(w.c_str()));
    }

    // Writes a file with the Win32 API, so that setting up does not depend on
    // the code under test.
    void Put(const char* name, const std::string& bytes) const {
        HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        CloseHandle(h);
        ASSERT_EQ(put, bytes.size());
    }

    std::string Get(const char* name) const {
        HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return "<missing>";
        std::string out;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
        CloseHandle(h);
        return out;
    }

    // Windows refuses to delete a file that is still open: true when the
    // file could be deleted, so nothing held it open.
    bool DeleteClosed(const char* name) const { return DeleteFileW(Wide(name).c_str()) != 0; }

private:
    std::wstring path_;
};
