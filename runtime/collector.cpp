#include "runtime/collector.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/exception.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "runtime/win32.h"

namespace {

// The pending list: a growable array of objects whose count carries the
// pending flag. Destructors run during a collection append to it, so it is
// always addressed by index.
Object** pending;
int pendingCount;
int pendingCapacity;
int pendingCapacityReached;

// Objects found by the stack scan of the running collection.
Object** live;
int liveCount;
int liveCapacity;

uintptr_t stackBase;
bool collecting;
int mode = kCollectAutomatic;
int debug;
int suspended;
int bytesSinceCollection;
int pendingThreshold = 500;

void AppendPending(Object* object) {
    if (pendingCount == pendingCapacity) {
        pendingCapacity += 1024;  // 4096 bytes more
        pending = static_cast<Object**>(
            std::realloc(pending, sizeof(Object*) * static_cast<size_t>(pendingCapacity)));
        if (!pending) std::abort();
        if (pendingCapacity > pendingCapacityReached) pendingCapacityReached = pendingCapacity;
    }
    pending[pendingCount++] = object;
}

void AddLive(Object* object) {
    if (liveCount == liveCapacity) {
        liveCapacity += 1000;
        live = static_cast<Object**>(
            std::realloc(live, sizeof(Object*) * static_cast<size_t>(liveCapacity)));
        if (!live) std::abort();
    }
    live[liveCount++] = object;
    RetainObject(object);
}

int SizeOfObject(void* object) { return static_cast<Object*>(object)->AllocSize(); }

// Scans [from, stackBase) for words that point into an object.
void ScanRange(uintptr_t from) {
    for (uintptr_t at = from & ~uintptr_t(3); at < stackBase; at += 4) {
        uintptr_t word = *reinterpret_cast<const uintptr_t*>(at);
        if (!InHeapRange(word)) continue;  // most stack words: small numbers, stack and code addresses
        void* object = TestMemBit(reinterpret_cast<void*>(word))
                           ? reinterpret_cast<void*>(word)
                           : ResolveObjectAddress(word, SizeOfObject);
        if (object) AddLive(static_cast<Object*>(object));
    }
}

// The callee-saved registers are spilled into a jump buffer in this frame,
// which lies inside the scanned range, so objects held only in registers by
// the callers are seen too.
__attribute__((noinline)) void ScanStack() {
    jmp_buf registers;
    setjmp(registers);
    volatile uintptr_t top = reinterpret_cast<uintptr_t>(&registers);
    uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    ScanRange(top < here ? top : here);
}

void PrintBadRefs(Object* object) {
    std::printf("bad refs:obj=$%x refs=$%x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(object)),
                static_cast<unsigned>(object->refs));
    if (IsA<String>(object)) {
        char* text = static_cast<String*>(object)->ToCString();
        std::printf("String:%s\n", text);
        MemFreeBlock(text);
    }
    std::fflush(stdout);
}

int Collect() {
    if (collecting || !stackBase) return 0;
    collecting = true;
    int64_t before = MemoryAllocated();
    DWORD started = debug ? timeGetTime() : 0;

    liveCount = 0;
    ScanStack();
    int scanned = liveCount;

    int freed = 0;
    for (int i = 0; i < pendingCount; ++i) {  // destructors may append: re-read the end
        Object* object = pending[i];
        if (object->refs >= 0) {
            // Only a corrupt heap gets here; leave the object alone rather
            // than free it a second time.
            PrintBadRefs(object);
            continue;
        }
        object->refs &= ~kPendingFlag;
        if (object->refs == 0) {
            // The shared static objects have no mem bit; their free routine
            // only resets their count.
            if (TestMemBit(object)) ClearMemBit(object);
            object->Free();
            ++freed;
        }
    }
    pendingCount = 0;

    for (int i = 0; i < liveCount; ++i) ReleaseObject(live[i]);
    int liveObjects = liveCount;
    liveCount = 0;

    int memFreed = static_cast<int>(before - MemoryAllocated());
    if (debug) {
        std::printf("GC collectMem: memFreed=%i, time=%ims, objsFreed=%i, objsScanned=%i, objsLive=%i\n",
                    memFreed, static_cast<int>(timeGetTime() - started), freed, scanned, liveObjects);
        std::fflush(stdout);
    }
    // The threshold follows the garbage the program makes, but never drops
    // below its start: a large sweep must not make every allocation collect.
    pendingThreshold = pendingThreshold - freed + 500;
    if (pendingThreshold < 500) pendingThreshold = 500;
    bytesSinceCollection = 0;
    collecting = false;
    return memFreed;
}

}  // namespace

void PendObject(Object* object) {
    if (object->refs != 0) ThrowCError("GC kvGCFree: mem has non-0 refs");
    AppendPending(object);
    object->refs = kPendingFlag;
}

// A constructor threw: take the half-made object off the pending list.
void UnpendAbortedObject(Object* object) {
    for (int i = pendingCount - 1; i >= 0; --i) {
        if (pending[i] == object) {
            pending[i] = pending[--pendingCount];
            break;
        }
    }
    ClearMemBit(object);
}

void RegisterStackBase(void* base) { stackBase = reinterpret_cast<uintptr_t>(base); }
void* StackBase() { return reinterpret_cast<void*>(stackBase); }

int CollectMemory() { return Collect(); }

void SetCollectorMode(int newMode) { mode = newMode; }
int CollectorMode() { return mode; }
void SetCollectorDebug(int flag) { debug = flag; }
void SuspendCollector() { ++suspended; }
void ResumeCollector() {
    if (suspended > 0) --suspended;
}

void CollectorBeforeAlloc(int size) {
    if (mode == kCollectEveryAllocation) {
        Collect();
        return;
    }
    bytesSinceCollection += size;
    if (mode == kCollectAutomatic && !suspended &&
        (bytesSinceCollection > 0x100000 || pendingCount > pendingThreshold)) {
        Collect();
    }
}

void ApplyCollectorStressFromEnvironment() {
    const char* stress = std::getenv("NEONARA_GC_STRESS");
    if (stress && std::strcmp(stress, "1") == 0) SetCollectorMode(kCollectEveryAllocation);
}

int PendingCount() { return pendingCount; }
int PendingCapacityReached() { return pendingCapacityReached; }
