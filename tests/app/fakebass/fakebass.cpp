// A scripted stand-in for the radio library, for the program side's tests.
// It exports the library's 22 names with their C signatures; the test sets
// the next answers and reads back how often each function was called and
// with which arguments through the FakeBass_* functions.
#include <windows.h>

#include <cstring>
#include <deque>
#include <string>

namespace {

constexpr int kFunctions = 22;
constexpr int kArgs = 5;

struct Calls {
    int count[kFunctions];
    DWORD args[kFunctions][kArgs];
};

Calls calls;
DWORD version, initResult, streamResult;
int errorCode;
std::deque<DWORD> filePositions;
DWORD lastFilePosition = 0xFFFFFFFFu;
bool tagsNull = true;
std::string tags;
std::string lastURL;
float spectrum[512];
int spectrumCount = 0;

void Record(int index, DWORD a = 0, DWORD b = 0, DWORD c = 0, DWORD d = 0, DWORD e = 0) {
    ++calls.count[index];
    DWORD values[kArgs] = {a, b, c, d, e};
    std::memcpy(calls.args[index], values, sizeof values);
}

}  // namespace

extern "C" {

// ---- the library's interface ----

BOOL WINAPI BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const GUID* clsid) {
    Record(0, device, freq, flags, (DWORD)(UINT_PTR)win, (DWORD)(UINT_PTR)clsid);
    return initResult;
}
DWORD WINAPI BASS_StreamCreateFile(BOOL, const void*, DWORD, DWORD, DWORD) { Record(1); return 0; }
DWORD WINAPI BASS_MusicLoad(BOOL, const void*, DWORD, DWORD, DWORD, DWORD) { Record(2); return 0; }
BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart) { Record(3, handle, restart); return 1; }
BOOL WINAPI BASS_Free() { Record(4); return 1; }
int WINAPI BASS_ErrorGetCode() { Record(5); return errorCode; }
unsigned long long WINAPI BASS_StreamGetLength(DWORD) { Record(6); return 0; }
BOOL WINAPI BASS_ChannelStop(DWORD) { Record(7); return 0; }
BOOL WINAPI BASS_ChannelPause(DWORD) { Record(8); return 0; }
DWORD WINAPI BASS_ChannelIsActive(DWORD) { Record(9); return 0; }
DWORD WINAPI BASS_ChannelGetLevel(DWORD) { Record(10); return 0; }
unsigned long long WINAPI BASS_ChannelGetPosition(DWORD) { Record(11); return 0; }
BOOL WINAPI BASS_ChannelSetPosition(DWORD, unsigned long long) { Record(12); return 0; }
BOOL WINAPI BASS_ChannelGetAttributes(DWORD, DWORD*, DWORD*, int*) { Record(13); return 0; }
BOOL WINAPI BASS_ChannelSetAttributes(DWORD, int, int, int) { Record(14); return 0; }
DWORD WINAPI BASS_SetConfig(DWORD option, DWORD value) { Record(15, option, value); return 1; }
BOOL WINAPI BASS_StreamFree(DWORD handle) { Record(16, handle); return 1; }
DWORD WINAPI BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, DWORD user) {
    Record(17, 0, offset, flags, (DWORD)(UINT_PTR)proc, user);
    lastURL = url ? url : "";
    return streamResult;
}
DWORD WINAPI BASS_StreamGetFilePosition(DWORD handle, DWORD mode) {
    Record(18, handle, mode);
    if (!filePositions.empty()) {
        lastFilePosition = filePositions.front();
        filePositions.pop_front();
    }
    return lastFilePosition;
}
DWORD WINAPI BASS_GetVersion() { Record(19); return version; }
const char* WINAPI BASS_ChannelGetTags(DWORD handle, DWORD type) {
    Record(20, handle, type);
    return tagsNull ? nullptr : tags.c_str();
}
DWORD WINAPI BASS_ChannelGetData(DWORD handle, void* buffer, DWORD flags) {
    Record(21, handle, 0, flags);
    if (spectrumCount > 0) std::memcpy(buffer, spectrum, sizeof(float) * spectrumCount);
    return spectrumCount > 0 ? 1024 : 0xFFFFFFFFu;
}

// ---- the test's controls ----

void WINAPI FakeBass_Reset() {
    std::memset(&calls, 0, sizeof calls);
    version = 0x00020002;
    initResult = 1;
    streamResult = 0;
    errorCode = 0;
    filePositions.clear();
    lastFilePosition = 0xFFFFFFFFu;
    tagsNull = true;
    tags.clear();
    lastURL.clear();
    spectrumCount = 0;
}
void WINAPI FakeBass_SetAnswers(DWORD newVersion, DWORD init, DWORD stream, int error) {
    version = newVersion;
    initResult = init;
    streamResult = stream;
    errorCode = error;
}
// Answers of BASS_StreamGetFilePosition in call order; the last one repeats.
void WINAPI FakeBass_QueueFilePosition(DWORD value) { filePositions.push_back(value); }
void WINAPI FakeBass_SetTags(const char* text) {
    tagsNull = text == nullptr;
    tags = text ? text : "";
}
void WINAPI FakeBass_SetSpectrum(const float* values, int count) {
    spectrumCount = count < 0 ? 0 : count > 512 ? 512 : count;
    if (spectrumCount > 0) std::memcpy(spectrum, values, sizeof(float) * spectrumCount);
}
int WINAPI FakeBass_Calls(int index) { return index >= 0 && index < kFunctions ? calls.count[index] : -1; }
DWORD WINAPI FakeBass_LastArg(int index, int arg) {
    return index >= 0 && index < kFunctions && arg >= 0 && arg < kArgs ? calls.args[index][arg] : 0;
}
const char* WINAPI FakeBass_LastURL() { return lastURL.c_str(); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) FakeBass_Reset();
    return TRUE;
}
