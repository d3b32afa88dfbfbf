// bass.dll loaded the way the screensaver loads it: LoadLibraryA, then
// GetProcAddress for each of the 22 names in the binding's order. Plus the
// test environment that tests/audio/run_audio_tests.sh sets up: media files,
// the fault server's port, the test station.
#pragma once
#include <windows.h>

#include <string>

namespace bass_test {

typedef unsigned long long QWORD;
typedef void(CALLBACK DownloadProc)(const void* buffer, DWORD length, DWORD user);

struct Library {
    HMODULE module = nullptr;
    BOOL(WINAPI* Init)(int, DWORD, DWORD, HWND, const GUID*) = nullptr;
    DWORD(WINAPI* StreamCreateFile)(BOOL, const void*, DWORD, DWORD, DWORD) = nullptr;
    DWORD(WINAPI* MusicLoad)(BOOL, const void*, DWORD, DWORD, DWORD, DWORD) = nullptr;
    BOOL(WINAPI* ChannelPlay)(DWORD, BOOL) = nullptr;
    BOOL(WINAPI* Free)() = nullptr;
    int(WINAPI* ErrorGetCode)() = nullptr;
    QWORD(WINAPI* StreamGetLength)(DWORD) = nullptr;
    BOOL(WINAPI* ChannelStop)(DWORD) = nullptr;
    BOOL(WINAPI* ChannelPause)(DWORD) = nullptr;
    DWORD(WINAPI* ChannelIsActive)(DWORD) = nullptr;
    DWORD(WINAPI* ChannelGetLevel)(DWORD) = nullptr;
    QWORD(WINAPI* ChannelGetPosition)(DWORD) = nullptr;
    BOOL(WINAPI* ChannelSetPosition)(DWORD, QWORD) = nullptr;
    BOOL(WINAPI* ChannelGetAttributes)(DWORD, DWORD*, DWORD*, int*) = nullptr;
    BOOL(WINAPI* ChannelSetAttributes)(DWORD, int, int, int) = nullptr;
    DWORD(WINAPI* SetConfig)(DWORD, DWORD) = nullptr;
    BOOL(WINAPI* StreamFree)(DWORD) = nullptr;
    DWORD(WINAPI* StreamCreateURL)(const char*, DWORD, DWORD, DownloadProc*, DWORD) = nullptr;
    DWORD(WINAPI* StreamGetFilePosition)(DWORD, DWORD) = nullptr;
    DWORD(WINAPI* GetVersion)() = nullptr;
    const char*(WINAPI* ChannelGetTags)(DWORD, DWORD) = nullptr;
    DWORD(WINAPI* ChannelGetData)(DWORD, void*, DWORD) = nullptr;

    int missing = 0;  // names GetProcAddress did not find
};

// The process's one loaded library (the engine's state is process-wide).
Library& Bass();

// A media file made by the test script, as a Windows path; the test fails
// (not skips) when the script did not provide it.
std::string Media(const char* name);
// http://127.0.0.1:PORT/path of the fault server.
std::string FaultUrl(const std::string& path);
// https://localhost:PORT/path of one of its TLS listeners (or its stalling
// one): listener "TLS" (a good certificate), "OTHER_HOST", "EXPIRED", "STALL".
std::string SecureFaultUrl(const std::string& listener, const std::string& path);
// Whether host names may be looked up: only with the script's loopback-only
// resolver (a lookup must never leave the machine).
bool LoopbackResolverOnly();

constexpr const char* kStationUrl = "http://127.0.0.1/stream/1040";
// The second test station: Ogg Vorbis, on a plain and a TLS port.
constexpr const char* kOggStationUrl = "http://127.0.0.1:18040/ogg";
constexpr const char* kSecureOggStationUrl = "https://localhost:18443/ogg";

// Threads of this process now (Toolhelp snapshot).
int ThreadCount();
// How long a test waits for what it expects before it fails: generous, for
// a loaded machine (playback, downloads and threads all slow down there).
constexpr int kWaitLimitMs = 60000;
// Waits up to ms for pred(), polling every 20 ms.
template <typename Pred>
bool WaitFor(int ms, Pred pred) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (pred()) return true;
        Sleep(20);
    }
    return pred();
}

}  // namespace bass_test
