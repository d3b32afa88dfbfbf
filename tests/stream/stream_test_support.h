// Shared pieces of the stream tests: a scratch folder per test, byte helpers
// and a scripted in-memory stream.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/win32.h"
#include "runtime/collector.h"
#include "runtime/exception.h"
#include "runtime/string.h"
#include "stream/filesystem.h"
#include "stream/stream.h"

inline String* S(const char* text) { return String::FromCString(text); }

inline std::string Narrow(String* s) {
    std::string out;
    for (int i = 0; i < s->length; ++i) out.push_back(static_cast<char>(s->Text()[i]));
    return out;
}

inline std::u16string Units(String* s) { return std::u16string(s->Text(), static_cast<size_t>(s->length)); }

inline bool Stressed() { return CollectorMode() == kCollectEveryAllocation; }

// The bytes of a file, read with the Win32 API (not with the code under test).
inline std::string FileBytes(String* path) {
    std::u16string name = Units(path);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    CloseHandle(h);
    return out;
}

// Writes a file with the Win32 API.
// Bytes of every value from a fixed seed: malformed text of every kind.
inline std::string RandomBytes(size_t count, uint32_t seed) {
    std::string bytes;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(seed >> 16));
    }
    return bytes;
}

inline void PutFile(String* path, const std::string& bytes) {
    std::u16string name = Units(path);
    HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    ASSERT_EQ(put, bytes.size());
}

// A fresh folder in the system's temporary folder, removed with its content
// when the test ends. Its path uses "/" separators.
class ScratchFolder {
public:
    ScratchFolder() {
        static int counter;
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH, temp);
        std::wstring base = temp;
        base += L"neonara-stream-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        CreateDirectoryW(base.c_str(), nullptr);
        for (auto& c : base) {
            if (c == L'\\') c = L'/';
        }
        path_ = base;
    }
    ~ScratchFolder() { Remove(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder, or a name inside it.
    String* Path() const { return String::FromWString(reinterpret_cast<const char16_t*>(path_.c_str())); }
    String* Path(const char* name) const { return Concat(Path(), u"/"_s, S(name)); }

private:
    // Win32 removal, so that cleaning up does not depend on the code under test.
    static void Remove(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((folder + L"/*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = folder + L"/" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    Remove(full);
                } else {
                    SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring path_;
};

// An in-memory stream that hands out at most `chunk` bytes per Read and
// records every count it was asked for. With `stall` set, Read gives nothing
// once `stall` bytes are out although the stream is not at its end (a source
// that failed, or one that cannot tell its end).
class TScriptedStream : public TStream {
    KV_CLASS(TScriptedStream, TStream)
public:
    std::vector<unsigned char> data;
    std::vector<int> asked;
    int pos = 0;
    int chunk = 1 << 30;
    int stall = -1;
    int closes = 0;

    int Pos() override { return pos; }
    int Size() override { return static_cast<int>(data.size()); }
    int Close() override {
        ++closes;
        return 0;
    }
    int Read(void* buffer, int count) override {
        asked.push_back(count);
        int n = count < chunk ? count : chunk;
        int left = Size() - pos;
        if (stall >= 0 && stall - pos < left) left = stall - pos;
        if (n > left) n = left;
        if (n <= 0) return 0;
        std::memcpy(buffer, data.data() + pos, static_cast<size_t>(n));
        pos += n;
        return n;
    }

    static TScriptedStream* Create(const std::string& bytes) {
        TScriptedStream* s = new TScriptedStream();
        s->data.assign(bytes.begin(), bytes.end());
        return s;
    }
};
