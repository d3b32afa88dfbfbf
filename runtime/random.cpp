#include "runtime/random.h"

#include <cstdint>

#include "runtime/startup.h"

namespace {

constexpr int32_t kDefaultState = 4660;
constexpr int32_t kModulus = 0x7fffffff;
// Schrage's decomposition of the modulus: 2147483647 = 48271 * 44488 + 3399.
constexpr int32_t kMultiplier = 48271;
constexpr int32_t kQuotient = 44488;
constexpr int32_t kRemainder = 3399;

int32_t state = kDefaultState;

// One generator step; no intermediate leaves 32 bits.
int32_t Step() {
    state = (state % kQuotient) * kMultiplier - (state / kQuotient) * kRemainder;
    if (state < 0) state += kModulus;
    return state;
}

// trunc(RndDouble() * count), in [0, count): the product stays below count
// since RndDouble() <= 1 - 2^-53.
int64_t Scaled(int64_t count) { return static_cast<int64_t>(RndDouble() * static_cast<double>(count)); }

}  // namespace

// The state is constant-initialised: there is nothing to set up.
void StartRandomModule() { KV_START_ONCE(); }

void SeedRnd(int seed) {
    state = seed & 0x7fffffff;
    if (state == 0 || state == kModulus) state = kDefaultState;
}

int RndSeed() { return state; }

double RndDouble() {
    int32_t s1 = Step();
    int32_t s2 = Step();
    return ((s1 & 0x1ffffffc) + (s2 & 0x1ffffff8) / 134217728.0) / 536870912.0;
}

float RndFloat() { return static_cast<float>(Step() & 0x0ffffff0) / 268435456.0f; }

double Rnd(double a, double b) {
    if (b > a) return a + RndDouble() * (b - a);
    return b + RndDouble() * (a - b);
}

// The range is taken in 64 bits: b - a and range + 1 overflow 32 bits for
// wide ranges such as Rand(INT_MIN, INT_MAX), which would leave [a, b].
int Rand(int a, int b) {
    int64_t range = static_cast<int64_t>(b) - a;
    if (range > 0) return static_cast<int>(a + Scaled(range + 1));
    return static_cast<int>(b + Scaled(1 - range));
}
