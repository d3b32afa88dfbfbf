// soak_saver.exe: the screensaver exactly as neonara.scr runs it ("/s"), with
// a hook on the flip chain that counts the frames and, every SECONDS, prints
// one line of the process's state:
//
//   soak t=<s> frames=<n> allocated=<bytes> resident=<bytes> handles=<n>
//        threads=<n> active=<channel state> title=<the title on the bar>
//
// MemoryAllocated is read right after a collection, so it is the live size
// and not the garbage waiting for the next one. A last line "soak end ..."
// follows when the saver has ended.
//   soak_saver.exe /s [SECONDS]      (default 10)
#include <cstdio>
#include <cstdlib>

#include "app/bassbinding.h"
#include "app/radio.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "graphics/graphics.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/time.h"
#include "system/event.h"

#include <psapi.h>     // after win32.h, which it needs
#include <tlhelp32.h>

namespace {

int frames = 0;
int started = 0;
int nextSample = 0;
int sampleMs = 10000;

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

void Sample(const char* label) {
    CollectMemory();
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    int active = !IsNull(Radio.get()) && Radio->stream ? static_cast<int>(BASS_ChannelIsActive(Radio->stream)) : -1;
    char* title = IsNull(Radio.get()) ? nullptr : Radio->title->ToUtf8();
    std::printf("soak %s t=%.1f frames=%d allocated=%lld resident=%lu handles=%lu threads=%d active=%d title=%s\n",
                label, (MilliSecs() - started) / 1000.0, frames, static_cast<long long>(MemoryAllocated()),
                static_cast<unsigned long>(memory.WorkingSetSize), handles, ThreadCount(), active,
                title ? title : "");
    std::fflush(stdout);
    if (title) MemFreeBlock(title);
}

Object* CountFrame(int, Object* data, Object*) {
    ++frames;
    if (MilliSecs() - nextSample >= 0) {
        nextSample += sampleMs;
        Sample("at");
    }
    return data;
}

int SoakMain() {
    StartScreenSaverModules();
    SeedRnd(MilliSecs());
    if (AppArgs->Length() >= 3) sampleMs = static_cast<int>(AppArgs->StringAt(2)->ToFloat() * 1000);
    if (sampleMs <= 0) sampleMs = 10000;
    started = MilliSecs();
    nextSample = started;
    AddHook(FlipHook, CountFrame, NullObject(), 0);
    TScreenSaver* saver = new TScreenSaver();
    saver->Run();
    Sample("end");
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, SoakMain); }
