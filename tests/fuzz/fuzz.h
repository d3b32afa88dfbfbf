// The fuzz program's shared pieces: a seeded generator, a byte mutator and
// the targets' table.
//
// Every input is made from its own 64-bit seed alone, so any input that
// crashes or hangs is made again, exactly, by running its target with that
// seed ("test_fuzz.exe --target NAME --seed SEED --inputs 1").
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fuzz {

// SplitMix64: small, fast and good enough to drive mutations.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n - 1 (0 when n is 0).
    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
    // A size or index that is usually small and sometimes at the edges of
    // the int range, where overflows hide.
    int Int(int usual);
    std::string Bytes(size_t count);

private:
    uint64_t state_;
};

// Applies one to eight random edits: flipped bits, set bytes, values at the
// edges (0, 0x7f, 0x80, 0xff, 0x7fffffff...), inserted, deleted, repeated
// and truncated stretches. The result never grows beyond maxSize.
void Mutate(std::string& data, Rng& rng, size_t maxSize);

// A wrong result found by a model comparison: ends the input as a fault.
struct Mismatch : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void Expect(bool holds, const std::string& what) {
    if (!holds) throw Mismatch(what);
}

struct Target {
    const char* name;
    void (*run)(Rng& rng);  // one input; runtime errors it raises are refusals, not faults
    int shortInputs;        // the test suite's fixed-seed run
};

// Defined by the target files.
extern const Target kRuntimeTargets[];
extern const int kRuntimeTargetCount;
extern const Target kMediaTargets[];
extern const int kMediaTargetCount;
extern const Target kAudioTargets[];
extern const int kAudioTargetCount;

}  // namespace fuzz
