// Helpers for tests that watch the collector free things. The stack scan is
// conservative: stale words left below the current frame by finished calls
// (spilled pointers, arguments, frame padding) would keep objects alive, so
// tests wipe that area before collecting.
#pragma once
#include <cstdint>

#include "runtime/collector.h"
#include "runtime/object.h"

// Zeroes the 16 KiB of stack below the caller's frame. Written in assembly
// so that it leaves no unwritten padding of its own between the caller's
// frame and the cleared area.
extern "C" void ClearStackBelow();

// Calls `body` on freshly zeroed stack, with the collector's stack base
// moved to just above it for the duration: neither the body's frame nor the
// test framework's frames above it then hold stale words from earlier tests
// that might point at a reused address.
void RunOnCleanStack(void (*body)());

// A test whose body runs on a clean stack (see RunOnCleanStack).
#define CLEAN_STACK_TEST(Suite, Name)                          \
    static void Suite##_##Name##_Body();                       \
    TEST(Suite, Name) { RunOnCleanStack(Suite##_##Name##_Body); } \
    static void Suite##_##Name##_Body()

// Two collections on a clean stack, the second freeing what the first put
// back on the pending list. A macro, so that no helper frame of ours (with
// padding the clearing cannot reach) sits between the test and the collector.
#define CollectFully()     \
    do {                   \
        ClearStackBelow(); \
        CollectMemory();   \
        ClearStackBelow(); \
        CollectMemory();   \
    } while (0)

// Addresses kept out of the collector's sight: stored inverted, so no stack
// word points at the object. Keep the result in a volatile local, and look
// at the object only through noinline helpers like IsLive: a pointer passed
// as an argument stays behind in the caller's outgoing-argument area, where
// later scans would find it.
inline uintptr_t Hide(void* p) { return ~reinterpret_cast<uintptr_t>(p); }
inline void* Unhide(uintptr_t h) { return reinterpret_cast<void*>(~h); }

bool IsLive(uintptr_t hidden);
int32_t RefsOf(uintptr_t hidden);
