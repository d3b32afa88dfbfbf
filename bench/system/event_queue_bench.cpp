// Emitting events through the two runtime hooks (polled input at 0, the
// queue at -10000) and taking them again, against pushing and popping plain
// records of the same fields on a ring buffer.
#include <cstdint>

#include "bench/bench.h"
#include "runtime/startup.h"
#include "system/event.h"
#include "system/polledinput.h"
#include "system/system.h"

namespace {

constexpr int kBatch = 200;  // stays below the queue's 256 entries
constexpr int kBatches = 500;

struct PlainEvent {
    int id;
    void* source;
    int data, mods, x, y;
    void* extra;
};

PlainEvent ring[256];
uint32_t ringPut = 0, ringGet = 0;

void RingRound() {
    for (int b = 0; b < kBatches; ++b) {
        for (int i = 0; i < kBatch; ++i) {
            if (ringPut - ringGet < 256) ring[ringPut++ & 255] = PlainEvent{EVENT_KEYDOWN, nullptr, i, 0, i, i, nullptr};
        }
        int sum = 0;
        while (ringGet != ringPut) sum += ring[ringGet++ & 255].data;
        BenchKeep(sum);
    }
}

// A new event per emit, as the window procedures make them.
void CreateEmitTakeRound() {
    for (int b = 0; b < kBatches; ++b) {
        for (int i = 0; i < kBatch; ++i) CreateEvent(EVENT_KEYDOWN, NullObject(), i & 255, 0, i, i)->Emit();
        int sum = 0;
        for (int i = 0; i < kBatch; ++i) sum += PollEvent();
        BenchKeep(sum);
    }
}

// One event emitted again and again: the hooks and the queue alone.
Ref<TEvent> reused;
void EmitTakeRound() {
    for (int b = 0; b < kBatches; ++b) {
        for (int i = 0; i < kBatch; ++i) reused->Emit();
        int sum = 0;
        for (int i = 0; i < kBatch; ++i) sum += PollEvent();
        BenchKeep(sum);
    }
}

int Program() {
    StartEventModule();
    StartSystemModule();
    StartPolledInputModule();
    EnablePolledInput();
    reused = CreateEvent(EVENT_MOUSEMOVE, NullObject(), 0, 0, 5, 5);
    double perEvent = 1e9 / (static_cast<double>(kBatch) * kBatches);  // ns per event
    std::printf("events per round: %d; values in ns per event\n", kBatch * kBatches);
    BenchCompare("event_create_emit_take_ns", perEvent, 7, CreateEmitTakeRound, RingRound);
    BenchCompare("event_emit_take_ns", perEvent, 7, EmitTakeRound, RingRound);
    DisablePolledInput();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
