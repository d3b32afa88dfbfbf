// Object memory: the size-class allocator, aligned large blocks and the mem
// bits that mark where objects start.
//
// Invariants kept here:
//  - every block handed out is 16-byte aligned;
//  - requests of at most 240 bytes come from 15 size classes (16..240) carved
//    from 65536-byte chunks; each class's free list is threaded through the
//    first word of its free blocks;
//  - larger requests are aligned heap blocks whose raw pointer sits in the
//    word just before the block; a few freed ones, 16 MiB at most in all,
//    are kept for the next request of about their size; a block's record
//    may end before its heap block does, never after it;
//  - a mem bit is set exactly for the 16-byte units where a live object begins.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kSmallBlockLimit = 240;
constexpr int kChunkSize = 65536;

void* MemAlloc(int size);
void MemFree(void* block, int size);

// Gives back the end of a large block, which counts as newSize bytes from
// then on: its record ends there, and the tail stays unused until the block
// is freed. False, with nothing changed, unless size is the block's recorded
// size and both sizes are large (MemFree tells small and large blocks apart
// by size alone).
bool MemShrink(void* block, int size, int newSize);

// Aligned heap blocks whose size the caller need not remember (the C text
// buffers that strings hand out, for example).
void* MemAllocBlock(int size);
void MemFreeBlock(void* block);

// Bytes handed out and not yet returned.
int64_t MemoryAllocated();
// Bytes of the freed large blocks kept for reuse.
int64_t CachedBlockBytes();

void SetMemBit(void* address);
void ClearMemBit(void* address);
int MemBitPages();

// The mem-bit pages and the address range that holds object memory, read
// inline by the stack scan (it tests every stack word).
extern uint32_t* memBitPages[8192];
extern uintptr_t heapLow;
extern uintptr_t heapHigh;

inline bool TestMemBit(const void* address) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    if (a & 15) return false;
    const uint32_t* page = memBitPages[a >> 19];
    return page && ((page[(a >> 9) & 1023] >> ((a >> 4) & 31)) & 1);
}

inline bool InHeapRange(uintptr_t address) { return address >= heapLow && address < heapHigh; }

// Finds the start of the object whose memory contains `word`, or null.
// `sizeOf` reads an object's allocation size; used by the stack scan.
void* ResolveObjectAddress(uintptr_t word, int (*sizeOf)(void* object));
