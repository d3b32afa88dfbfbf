// Shared helpers of the benchmarks: a precise clock, best-of-N timing and
// the one output line every measure prints,
//   bench NAME ours=VALUE baseline=VALUE ratio=R
// where R = baseline / ours (above 1: ours is faster). Both sides are
// measured in the same run, alternately, so a noisy machine hits both.
#pragma once
#include <cstdio>

#include "runtime/win32.h"

inline double BenchSeconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <class F>
double BenchTime(F&& run) {
    double start = BenchSeconds();
    run();
    return BenchSeconds() - start;
}

// Runs both sides `rounds` times, alternating, and keeps each side's best.
template <class Ours, class Baseline>
void BenchCompare(const char* name, double perUnit, int rounds, Ours&& ours, Baseline&& baseline) {
    double bestOurs = 1e30;
    double bestBaseline = 1e30;
    for (int i = 0; i < rounds; ++i) {
        double t = BenchTime(ours);
        if (t < bestOurs) bestOurs = t;
        t = BenchTime(baseline);
        if (t < bestBaseline) bestBaseline = t;
    }
    std::printf("bench %s ours=%.4g baseline=%.4g ratio=%.3f\n", name, bestOurs * perUnit,
                bestBaseline * perUnit, bestBaseline / bestOurs);
    std::fflush(stdout);
}

// Keeps the optimiser from dropping a computed value.
template <class T>
inline void BenchKeep(const T& value) {
    asm volatile("" : : "g"(value) : "memory");
}
