#include "tests/audio/bass_library.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdlib>

namespace bass_test {

namespace {

template <typename F>
void Bind(Library& lib, F*& slot, const char* name) {
    slot = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(lib.module, name)));
    if (!slot) ++lib.missing;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

}  // namespace

Library& Bass() {
    static Library lib = [] {
        Library l;
        std::string path = Env("NEONARA_BASS_DLL");
        l.module = LoadLibraryA(path.empty() ? "bass.dll" : path.c_str());
        if (!l.module) {
            l.missing = 22;
            return l;
        }
        // The binding's order (the screensaver looks them up the same way).
        Bind(l, l.Init, "BASS_Init");
        Bind(l, l.StreamCreateFile, "BASS_StreamCreateFile");
        Bind(l, l.MusicLoad, "BASS_MusicLoad");
        Bind(l, l.ChannelPlay, "BASS_ChannelPlay");
        Bind(l, l.Free, "BASS_Free");
        Bind(l, l.ErrorGetCode, "BASS_ErrorGetCode");
        Bind(l, l.StreamGetLength, "BASS_StreamGetLength");
        Bind(l, l.ChannelStop, "BASS_ChannelStop");
        Bind(l, l.ChannelPause, "BASS_ChannelPause");
        Bind(l, l.ChannelIsActive, "BASS_ChannelIsActive");
        Bind(l, l.ChannelGetLevel, "BASS_ChannelGetLevel");
        Bind(l, l.ChannelGetPosition, "BASS_ChannelGetPosition");
        Bind(l, l.ChannelSetPosition, "BASS_ChannelSetPosition");
        Bind(l, l.ChannelGetAttributes, "BASS_ChannelGetAttributes");
        Bind(l, l.ChannelSetAttributes, "BASS_ChannelSetAttributes");
        Bind(l, l.SetConfig, "BASS_SetConfig");
        Bind(l, l.StreamFree, "BASS_StreamFree");
        Bind(l, l.StreamCreateURL, "BASS_StreamCreateURL");
        Bind(l, l.StreamGetFilePosition, "BASS_StreamGetFilePosition");
        Bind(l, l.GetVersion, "BASS_GetVersion");
        Bind(l, l.ChannelGetTags, "BASS_ChannelGetTags");
        Bind(l, l.ChannelGetData, "BASS_ChannelGetData");
        return l;
    }();
    return lib;
}

std::string Media(const char* name) {
    std::string dir = Env("NEONARA_AUDIO_MEDIA");
    if (dir.empty()) {
        ADD_FAILURE() << "NEONARA_AUDIO_MEDIA is not set: run the audio tests through tests/audio/run_audio_tests.sh";
        return "missing-media-folder\\" + std::string(name);
    }
    return dir + "\\" + name;
}

namespace {

std::string FaultPort(const std::string& variable) {
    std::string port = Env(variable.c_str());
    if (port.empty()) {
        ADD_FAILURE() << variable << " is not set: run the audio tests through tests/audio/run_audio_tests.sh";
        port = "1";
    }
    return port;
}

}  // namespace

std::string FaultUrl(const std::string& path) { return "http://127.0.0.1:" + FaultPort("NEONARA_FAULT_PORT") + path; }

std::string SecureFaultUrl(const std::string& listener, const std::string& path) {
    return "https://localhost:" + FaultPort("NEONARA_FAULT_" + listener + "_PORT") + path;
}

bool LoopbackResolverOnly() { return Env("NEONARA_AUDIO_LOOPBACK_DNS") == "1"; }

int ThreadCount() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 e;
    e.dwSize = sizeof e;
    int count = 0;
    DWORD self = GetCurrentProcessId();
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
        if (e.th32OwnerProcessID == self) ++count;
    }
    CloseHandle(snap);
    return count;
}

}  // namespace bass_test
