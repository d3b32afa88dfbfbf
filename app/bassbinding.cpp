#include "app/bassbinding.h"

#include "app/screensaver.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/memory.h"

namespace {

// What a library reporting failure answers: 0 (false, no handle, version 0)
// unless a function has its own failure value below.
template <class R>
R FailureValue() {
    if constexpr (std::is_pointer_v<R>) {
        return nullptr;
    } else {
        return R(0);
    }
}

template <class F>
struct Stand;

template <class R, class... A>
struct Stand<R(WINAPI*)(A...)> {
    static R WINAPI Uninitialized(A...) { RuntimeError("Attempt to call uninitialized function pointer"); }
    static R WINAPI Failing(A...) { return FailureValue<R>(); }
};

// The library's own failure answers for the calls that do not fail with 0.
int WINAPI FailingErrorGetCode() { return -1; }
DWORD WINAPI FailingFilePosition(DWORD, DWORD) { return 0xFFFFFFFFu; }
DWORD WINAPI FailingGetData(DWORD, void*, DWORD) { return 0xFFFFFFFFu; }

}  // namespace

#define KV_BASS_SLOT(name) decltype(name) name = Stand<decltype(name)>::Uninitialized

KV_BASS_SLOT(BASS_Init);
KV_BASS_SLOT(BASS_StreamCreateFile);
KV_BASS_SLOT(BASS_MusicLoad);
KV_BASS_SLOT(BASS_ChannelPlay);
KV_BASS_SLOT(BASS_Free);
KV_BASS_SLOT(BASS_ErrorGetCode);
KV_BASS_SLOT(BASS_StreamGetLength);
KV_BASS_SLOT(BASS_ChannelStop);
KV_BASS_SLOT(BASS_ChannelPause);
KV_BASS_SLOT(BASS_ChannelIsActive);
KV_BASS_SLOT(BASS_ChannelGetLevel);
KV_BASS_SLOT(BASS_ChannelGetPosition);
KV_BASS_SLOT(BASS_ChannelSetPosition);
KV_BASS_SLOT(BASS_ChannelGetAttributes);
KV_BASS_SLOT(BASS_ChannelSetAttributes);
KV_BASS_SLOT(BASS_SetConfig);
KV_BASS_SLOT(BASS_StreamFree);
KV_BASS_SLOT(BASS_StreamCreateURL);
KV_BASS_SLOT(BASS_StreamGetFilePosition);
KV_BASS_SLOT(BASS_GetVersion);
KV_BASS_SLOT(BASS_ChannelGetTags);
KV_BASS_SLOT(BASS_ChannelGetData);

#undef KV_BASS_SLOT

namespace {

struct Binding {
    const char* name;
    void (*bind)(FARPROC found);  // stores the address, or the failing stand-in for null
};

template <class F>
void Store(F& slot, FARPROC found, F failing) {
    slot = found ? reinterpret_cast<F>(reinterpret_cast<void*>(found)) : failing;
}

#define KV_BASS_BIND(name, failing) \
    {#name, [](FARPROC found) { Store(name, found, static_cast<decltype(name)>(failing)); }}
#define KV_BASS_BIND_FAILING(name) KV_BASS_BIND(name, Stand<decltype(name)>::Failing)

// The library's table order.
const Binding bindings[kBassFunctionCount] = {
    KV_BASS_BIND_FAILING(BASS_Init),
    KV_BASS_BIND_FAILING(BASS_StreamCreateFile),
    KV_BASS_BIND_FAILING(BASS_MusicLoad),
    KV_BASS_BIND_FAILING(BASS_ChannelPlay),
    KV_BASS_BIND_FAILING(BASS_Free),
    KV_BASS_BIND(BASS_ErrorGetCode, FailingErrorGetCode),
    KV_BASS_BIND_FAILING(BASS_StreamGetLength),
    KV_BASS_BIND_FAILING(BASS_ChannelStop),
    KV_BASS_BIND_FAILING(BASS_ChannelPause),
    KV_BASS_BIND_FAILING(BASS_ChannelIsActive),
    KV_BASS_BIND_FAILING(BASS_ChannelGetLevel),
    KV_BASS_BIND_FAILING(BASS_ChannelGetPosition),
    KV_BASS_BIND_FAILING(BASS_ChannelSetPosition),
    KV_BASS_BIND_FAILING(BASS_ChannelGetAttributes),
    KV_BASS_BIND_FAILING(BASS_ChannelSetAttributes),
    KV_BASS_BIND_FAILING(BASS_SetConfig),
    KV_BASS_BIND_FAILING(BASS_StreamFree),
    KV_BASS_BIND_FAILING(BASS_StreamCreateURL),
    KV_BASS_BIND(BASS_StreamGetFilePosition, FailingFilePosition),
    KV_BASS_BIND_FAILING(BASS_GetVersion),
    KV_BASS_BIND_FAILING(BASS_ChannelGetTags),
    KV_BASS_BIND(BASS_ChannelGetData, FailingGetData),
};

#undef KV_BASS_BIND_FAILING
#undef KV_BASS_BIND

void FreeRadioLibrary() { BASS_Free(); }

}  // namespace

const char* BassFunctionName(int index) {
    return index >= 0 && index < kBassFunctionCount ? bindings[index].name : "";
}

int BindRadioLibrary(HMODULE module) {
    int found = 0;
    for (const Binding& b : bindings) {
        FARPROC address = module ? GetProcAddress(module, b.name) : nullptr;
        if (address) ++found;
        b.bind(address);
    }
    return found;
}

int LoadRadioLibrary(const char* path) { return BindRadioLibrary(LoadLibraryA(path)); }

// The thread touches nothing of the runtime, whose objects belong to the
// main thread.
static DWORD WINAPI StartSoundSystem(void*) {
    waveOutGetNumDevs();
    return 0;
}

void WarmUpSoundSystem() {
    HANDLE thread = CreateThread(nullptr, 0, StartSoundSystem, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

void StartBassBindingModule() {
    KV_START_ONCE();
    StartRuntimeCore();
    char* name = u"bass.dll"_s->ToCString();
    LoadRadioLibrary(name);
    MemFreeBlock(name);
    ReleaseRadioLibrary = FreeRadioLibrary;
}
