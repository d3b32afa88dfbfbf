#include "runtime/memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <vector>

#include "runtime/exception.h"
#include "runtime/win32.h"

namespace {

constexpr int kSizeClasses = kSmallBlockLimit / 16;  // 15 classes of 16..240 bytes

struct FreeBlock {
    FreeBlock* next;
};

FreeBlock* freeLists[kSizeClasses + 1];  // index = size / 16
char* chunkCursor;
char* chunkEnd;
int64_t bytesAllocated;

// One bit per 64 KiB chunk of the address space: which chunks hold small blocks.
uint32_t chunkMap[65536 / 32];

// Large blocks, sorted by start, so an interior pointer can be resolved.
struct LargeBlock {
    uintptr_t start;
    uintptr_t end;
};
std::vector<LargeBlock>* largeBlocks;

// Mem bits: page = address >> 19, word = (address >> 9) & 1023, bit = (address >> 4) & 31.
int memPageCount;

void WidenHeapRange(uintptr_t start, uintptr_t end) {
    if (start < heapLow) heapLow = start;
    if (end > heapHigh) heapHigh = end;
}

int SizeClassIndex(int size) { return (size + 15) >> 4; }

void MarkChunk(uintptr_t base) {
    uint32_t index = static_cast<uint32_t>(base >> 16);
    chunkMap[index >> 5] |= 1u << (index & 31);
}

bool IsChunkAddress(uintptr_t address) {
    uint32_t index = static_cast<uint32_t>(address >> 16);
    return (chunkMap[index >> 5] >> (index & 31)) & 1;
}

// VirtualAlloc hands out 64 KiB-aligned regions, so a chunk is found from any
// address inside it by masking.
void NewChunk() {
    char* chunk = static_cast<char*>(
        VirtualAlloc(nullptr, kChunkSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!chunk) std::abort();
    MarkChunk(reinterpret_cast<uintptr_t>(chunk));
    WidenHeapRange(reinterpret_cast<uintptr_t>(chunk), reinterpret_cast<uintptr_t>(chunk) + kChunkSize);
    chunkCursor = chunk;
    chunkEnd = chunk + kChunkSize;
}

void* AllocSmall(int index) {
    if (FreeBlock* block = freeLists[index]) {
        freeLists[index] = block->next;
        return block;
    }
    int size = index * 16;
    if (chunkEnd - chunkCursor < size) {
        // The remainder is too small for this class: give it whole to the class it fits.
        int rest = static_cast<int>(chunkEnd - chunkCursor);
        if (rest >= 16) {
            FreeBlock* block = reinterpret_cast<FreeBlock*>(chunkCursor);
            block->next = freeLists[rest >> 4];
            freeLists[rest >> 4] = block;
        }
        NewChunk();
    }
    void* block = chunkCursor;
    chunkCursor += size;
    return block;
}

std::vector<LargeBlock>& Large() {
    if (!largeBlocks) largeBlocks = new std::vector<LargeBlock>();
    return *largeBlocks;
}

void FreeCachedBlocks();

uintptr_t AllocAligned(int size) {
    char* raw = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 20));
    if (!raw) {
        // The cached blocks may be what the address space lacks.
        FreeCachedBlocks();
        raw = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 20));
    }
    // A huge request that the address space cannot hold (input asked for it)
    // is a runtime error; running out on a small one leaves nothing to go on with.
    if (!raw && size >= (1 << 20)) RuntimeError("Out of memory");
    if (!raw) std::abort();
    // Round up to 16, moving on a further 16 when already aligned, so there is
    // always room for the raw pointer just before the block.
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + 16) & ~uintptr_t(15);
    reinterpret_cast<char**>(aligned)[-1] = raw;
    return aligned;
}

void FreeAligned(void* block) { std::free(reinterpret_cast<char**>(block)[-1]); }

// Freed large blocks kept for the next large request of about their size.
// A new block of this size comes from the system as fresh pages (Wine's heap
// maps and unmaps it), and the first touch of each page costs more than, for
// example, decoding an image or a text into it. Invariant: the cache holds at
// most kCachedBlocks blocks and kCachedBytes bytes, oldest first, none of
// them in largeBlocks, each entry spanning the block's whole capacity.
constexpr int kCachedBlocks = 4;
constexpr uintptr_t kCachedBytes = 16 << 20;
LargeBlock cachedBlocks[kCachedBlocks];
int cachedCount;
uintptr_t cachedBytes;

// What an aligned block can hold: its heap block's size less the alignment
// in front. A reused or cut block may hold more than its record says.
uintptr_t Capacity(uintptr_t start) {
    char* raw = reinterpret_cast<char**>(start)[-1];
    return _msize(raw) - (start - reinterpret_cast<uintptr_t>(raw));
}

void DropCachedBlock(int i) {
    cachedBytes -= cachedBlocks[i].end - cachedBlocks[i].start;
    std::copy(cachedBlocks + i + 1, cachedBlocks + cachedCount, cachedBlocks + i);
    --cachedCount;
}

// A cached block that fits size without wasting more than a quarter of it.
uintptr_t TakeCachedBlock(int size) {
    const uintptr_t want = static_cast<uintptr_t>(size);
    for (int i = 0; i < cachedCount; ++i) {
        const uintptr_t capacity = cachedBlocks[i].end - cachedBlocks[i].start;
        if (capacity >= want && capacity - want <= capacity / 4) {
            uintptr_t start = cachedBlocks[i].start;
            DropCachedBlock(i);
            return start;
        }
    }
    return 0;
}

void FreeCachedBlocks() {
    while (cachedCount > 0) {
        FreeAligned(reinterpret_cast<void*>(cachedBlocks[0].start));
        DropCachedBlock(0);
    }
}

// Keeps a freed block, the oldest giving way while the cache is full.
void CacheBlock(const LargeBlock& block) {
    const uintptr_t capacity = Capacity(block.start);
    if (capacity > kCachedBytes) {
        FreeAligned(reinterpret_cast<void*>(block.start));
        return;
    }
    while (cachedCount == kCachedBlocks || cachedBytes + capacity > kCachedBytes) {
        FreeAligned(reinterpret_cast<void*>(cachedBlocks[0].start));
        DropCachedBlock(0);
    }
    cachedBlocks[cachedCount++] = LargeBlock{block.start, block.start + capacity};
    cachedBytes += capacity;
}

void* AllocLarge(int size) {
    // A reused block is recorded with the size asked for; the rest of it
    // stays unused until it is freed.
    uintptr_t aligned = TakeCachedBlock(size);
    if (!aligned) aligned = AllocAligned(size);
    LargeBlock entry{aligned, aligned + static_cast<uintptr_t>(size)};
    auto& blocks = Large();
    WidenHeapRange(entry.start, entry.end);
    blocks.insert(std::upper_bound(blocks.begin(), blocks.end(), entry,
                                   [](const LargeBlock& a, const LargeBlock& b) {
                                       return a.start < b.start;
                                   }),
                  entry);
    return reinterpret_cast<void*>(aligned);
}

// The record of the large block that starts at start, or Large().end().
std::vector<LargeBlock>::iterator FindLargeBlock(uintptr_t start) {
    auto& blocks = Large();
    auto it = std::lower_bound(blocks.begin(), blocks.end(), start,
                               [](const LargeBlock& b, uintptr_t s) { return b.start < s; });
    return it != blocks.end() && it->start == start ? it : blocks.end();
}

void FreeLarge(void* block) {
    auto& blocks = Large();
    auto it = FindLargeBlock(reinterpret_cast<uintptr_t>(block));
    if (it == blocks.end()) {
        FreeAligned(block);
        return;
    }
    LargeBlock freed = *it;
    blocks.erase(it);
    CacheBlock(freed);
}

uint32_t* MemPage(uintptr_t address, bool create) {
    uint32_t*& page = memBitPages[address >> 19];
    if (!page && create) {
        page = static_cast<uint32_t*>(std::calloc(1024, sizeof(uint32_t)));
        if (!page) std::abort();
        ++memPageCount;
    }
    return page;
}

}  // namespace

uint32_t* memBitPages[8192];
uintptr_t heapLow = UINTPTR_MAX;
uintptr_t heapHigh = 0;

void* MemAlloc(int size) {
    if (size <= 0) return nullptr;
    void* block = size <= kSmallBlockLimit ? AllocSmall(SizeClassIndex(size)) : AllocLarge(size);
    bytesAllocated += size;
    return block;
}

void MemFree(void* block, int size) {
    if (!block || size <= 0) return;
    bytesAllocated -= size;
    if (size > kSmallBlockLimit) {
        FreeLarge(block);
        return;
    }
    int index = SizeClassIndex(size);
    FreeBlock* free = static_cast<FreeBlock*>(block);
    free->next = freeLists[index];
    freeLists[index] = free;
}

bool MemShrink(void* block, int size, int newSize) {
    if (!block || newSize <= kSmallBlockLimit || newSize > size) return false;
    auto it = FindLargeBlock(reinterpret_cast<uintptr_t>(block));
    if (it == Large().end() || it->end - it->start != static_cast<uintptr_t>(size)) return false;
    it->end = it->start + static_cast<uintptr_t>(newSize);
    bytesAllocated -= size - newSize;
    return true;
}

void* MemAllocBlock(int size) { return reinterpret_cast<void*>(AllocAligned(size > 0 ? size : 1)); }

void MemFreeBlock(void* block) {
    if (block) FreeAligned(block);
}

int64_t MemoryAllocated() { return bytesAllocated; }

int64_t CachedBlockBytes() { return static_cast<int64_t>(cachedBytes); }

// Mem-bit inconsistencies mean the heap is corrupt: a fatal runtime fault.
static void MemBitFault(const char* message) { ThrowCError(message); }

void SetMemBit(void* address) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    uint32_t* page = MemPage(a, true);
    uint32_t& word = page[(a >> 9) & 1023];
    uint32_t bit = 1u << ((a >> 4) & 31);
    if (word & bit) MemBitFault("setMemBit error: membit already set");
    word |= bit;
}

void ClearMemBit(void* address) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    uint32_t* page = MemPage(a, false);
    if (!page) MemBitFault("clrMemBit error: mempage does not exist");
    uint32_t& word = page[(a >> 9) & 1023];
    uint32_t bit = 1u << ((a >> 4) & 31);
    if (!(word & bit)) MemBitFault("clrMemBit error: membit not set");
    word &= ~bit;
}

int MemBitPages() { return memPageCount; }

void* ResolveObjectAddress(uintptr_t word, int (*sizeOf)(void* object)) {
    uintptr_t unit = word & ~uintptr_t(15);
    if (IsChunkAddress(word)) {
        // A small object is at most 240 bytes: its start is at most 15 units back,
        // and never before the start of its chunk.
        uintptr_t chunk = word & ~uintptr_t(kChunkSize - 1);
        for (int back = 0; back < kSmallBlockLimit / 16 && unit >= chunk; ++back, unit -= 16) {
            if (TestMemBit(reinterpret_cast<void*>(unit))) {
                void* object = reinterpret_cast<void*>(unit);
                return word < unit + static_cast<uintptr_t>(sizeOf(object)) ? object : nullptr;
            }
        }
        return nullptr;
    }
    if (!largeBlocks || largeBlocks->empty()) return nullptr;
    auto& blocks = *largeBlocks;
    auto it = std::upper_bound(blocks.begin(), blocks.end(), word,
                               [](uintptr_t w, const LargeBlock& b) { return w < b.start; });
    if (it == blocks.begin()) return nullptr;
    --it;
    if (word >= it->end || !TestMemBit(reinterpret_cast<void*>(it->start))) return nullptr;
    void* object = reinterpret_cast<void*>(it->start);
    return word < it->start + static_cast<uintptr_t>(sizeOf(object)) ? object : nullptr;
}
