// The deferred collector.
//
// Objects whose count reaches zero, and new objects, wait on the pending list
// (count bit 31 set). A collection first scans the machine stack
// conservatively and counts every object a stack word points into, then
// walks the pending list: entries whose count, without the pending flag, is
// zero are freed; then the stack-found objects are released again, so those
// that only locals held go back on the pending list for a later collection.
#pragma once
#include <cstdint>

enum CollectorMode {
    kCollectManual = 0,
    kCollectAutomatic = 1,
    kCollectEveryAllocation = -1,
};

// The highest stack address to scan; collections before this do nothing.
void RegisterStackBase(void* base);
void* StackBase();

int CollectMemory();  // bytes freed
void SetCollectorMode(int mode);
int CollectorMode();
void SetCollectorDebug(int flag);
void SuspendCollector();
void ResumeCollector();

// Called by the allocating constructors (objects, strings, arrays) before
// they take memory: may run an automatic collection first.
void CollectorBeforeAlloc(int size);

// Reads NEONARA_GC_STRESS and switches to collect-before-every-allocation
// when it is "1"; every test program calls it at start.
void ApplyCollectorStressFromEnvironment();

// Introspection for tests and diagnostics.
int PendingCount();
int PendingCapacityReached();
