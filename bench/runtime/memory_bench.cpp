// The object allocator and the collector against the C library's heap.
#include <cstdlib>
#include <cstring>

#include "bench/bench.h"
#include "runtime/array.h"
#include "runtime/collector.h"
#include "runtime/startup.h"
#include "runtime/string.h"

namespace {

constexpr int kAllocations = 1000000;

// Strings of 16 to 240 bytes that are never stored: allocation plus the
// collections that reclaim them.
__attribute__((noinline)) void AllocateStrings() {
    for (int i = 0; i < kAllocations; ++i) {
        int units = 2 + (i % 15) * 8;  // 16, 32, ... 240 bytes with the header
        BenchKeep(NewString(units));
    }
    CollectMemory();
}

__attribute__((noinline)) void MallocAndFree() {
    for (int i = 0; i < kAllocations; ++i) {
        int size = 12 + 2 * (2 + (i % 15) * 8);
        int* block = static_cast<int*>(std::malloc(static_cast<size_t>(size)));
        block[0] = i;  // the same header writes a string gets
        block[1] = 0;
        block[2] = size;
        BenchKeep(block);
        std::free(block);
    }
}

// A collection of 100000 pending dead objects, against free() of as many blocks.
constexpr int kDead = 100000;

__attribute__((noinline)) void MakeDead() {
    for (int i = 0; i < kDead; ++i) BenchKeep(NewString(10));
}

double TimeCollectionOfDead() {
    SetCollectorMode(kCollectManual);
    MakeDead();
    double t = BenchTime([] { CollectMemory(); });
    SetCollectorMode(kCollectAutomatic);
    return t;
}

double TimeFreeOfBlocks() {
    static void* blocks[kDead];
    for (int i = 0; i < kDead; ++i) blocks[i] = std::malloc(32);
    return BenchTime([] {
        for (int i = 0; i < kDead; ++i) std::free(blocks[i]);
    });
}

// A collection scanning a deep call chain of 256-byte frames, against a
// plain read of the same number of stack bytes.
volatile double scanTime;

__attribute__((noinline)) int Deep(int depth) {
    volatile char frame[240];
    frame[0] = static_cast<char>(depth);
    if (depth == 0) {
        scanTime = BenchTime([] { CollectMemory(); });
        return frame[0];
    }
    return Deep(depth - 1) + frame[0];
}

double TimeShallowCollection() {
    return BenchTime([] { CollectMemory(); });
}

__attribute__((noinline)) uint32_t SumWords(const uint32_t* words, int count) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += words[i];
    return sum;
}

int Program() {
    SetCollectorMode(kCollectAutomatic);
    BenchCompare("alloc_collect_small_ns", 1e9 / kAllocations, 5, AllocateStrings, MallocAndFree);

    double bestCollect = 1e30, bestFree = 1e30;
    for (int round = 0; round < 5; ++round) {
        double c = TimeCollectionOfDead();
        double f = TimeFreeOfBlocks();
        if (c < bestCollect) bestCollect = c;
        if (f < bestFree) bestFree = f;
    }
    std::printf("bench collect_dead_per_object_ns ours=%.4g baseline=%.4g ratio=%.3f\n",
                bestCollect * 1e9 / kDead, bestFree * 1e9 / kDead, bestFree / bestCollect);

    // Stack scan: the extra cost of a collection 4000 frames deep, per KiB.
    const int depth = 4000;
    const double kib = depth * 256.0 / 1024.0;
    static uint32_t words[depth * 64];
    double bestScan = 1e30, bestRead = 1e30;
    for (int round = 0; round < 5; ++round) {
        double shallow = TimeShallowCollection();
        Deep(depth);
        double extra = scanTime - shallow;
        if (extra > 0 && extra < bestScan) bestScan = extra;
        double read = BenchTime([] { BenchKeep(SumWords(words, depth * 64)); });
        if (read < bestRead) bestRead = read;
    }
    std::printf("bench stack_scan_per_kib_ns ours=%.4g baseline=%.4g ratio=%.3f\n",
                bestScan * 1e9 / kib, bestRead * 1e9 / kib, bestRead / bestScan);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
