// Pacing of a 60 Hz TTimer (16 ms period) over 10 s, waited for with
// WaitTimer, against a bare multimedia timer of the same period running at
// the same time whose callback only stamps the time.
//
// Measures: the mean period (62.5 ticks a second is 16 ms), and how late each
// wake-up comes relative to the ideal tick grid fitted through all of them
// (offset = residual minus the smallest residual). The bare timer's stamps
// show the multimedia timer's own jitter; ours adds the message post, the
// hook and the wake-up of the main thread.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "bench/bench.h"
#include "runtime/startup.h"
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"

namespace {

constexpr double kSeconds = 10.0;
constexpr int kMaxStamps = 4096;

double bareStamps[kMaxStamps];
std::atomic<int> bareCount{0};

void CALLBACK BareCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    int i = bareCount.load(std::memory_order_relaxed);
    if (i < kMaxStamps) {
        bareStamps[i] = BenchSeconds();
        bareCount.store(i + 1, std::memory_order_release);
    }
}

struct Pacing {
    double periodMs;
    std::vector<double> offsetsMs;  // sorted
};

// Fits t = a + b k through the stamps (k = tick number) by least squares.
Pacing Analyse(const std::vector<double>& t, const std::vector<double>& k) {
    size_t n = t.size();
    double sk = 0, st = 0, skk = 0, skt = 0;
    for (size_t i = 0; i < n; ++i) {
        sk += k[i];
        st += t[i];
        skk += k[i] * k[i];
        skt += k[i] * t[i];
    }
    double b = (n * skt - sk * st) / (n * skk - sk * sk);
    double a = (st - b * sk) / n;
    std::vector<double> residual(n);
    for (size_t i = 0; i < n; ++i) residual[i] = (t[i] - (a + b * k[i])) * 1000.0;
    double low = *std::min_element(residual.begin(), residual.end());
    for (double& r : residual) r -= low;
    std::sort(residual.begin(), residual.end());
    return Pacing{b * 1000.0, residual};
}

double Percentile(const std::vector<double>& sorted, double p) {
    size_t i = static_cast<size_t>(p * (sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

void PrintDistribution(const char* who, const Pacing& pacing) {
    const std::vector<double>& o = pacing.offsetsMs;
    std::printf("%s: %zu wake-ups, period %.4f ms, offset ms p10=%.3f p50=%.3f p90=%.3f p99=%.3f max=%.3f\n", who,
                o.size(), pacing.periodMs, Percentile(o, 0.10), Percentile(o, 0.50), Percentile(o, 0.90),
                Percentile(o, 0.99), o.back());
    int bins[9] = {};
    for (double v : o) bins[std::min(8, static_cast<int>(v / 0.5))]++;
    std::printf("%s: offset histogram (0.5 ms bins):", who);
    for (int i = 0; i < 9; ++i) std::printf(" %s%.1f:%d", i == 8 ? ">=" : "<", i == 8 ? 4.0 : (i + 1) * 0.5, bins[i]);
    std::printf("\n");
}

int Program() {
    StartEventModule();
    StartSystemModule();
    StartTimerModule();

    TTimer* timer = CreateTimer(60);
    if (IsNull(timer)) {
        std::printf("bench: no timer\n");
        return 1;
    }
    UINT bare = timeSetEvent(16, 0, BareCallback, 0, TIME_PERIODIC | TIME_CALLBACK_FUNCTION);

    std::vector<double> wakes, wakeTicks;
    int missed = 0;
    double start = BenchSeconds();
    int ticks = 0;
    while (BenchSeconds() - start < kSeconds) {
        int got = WaitTimer(timer);
        double now = BenchSeconds();
        ticks += got;
        if (got > 1) missed += got - 1;
        wakes.push_back(now);
        wakeTicks.push_back(ticks);
        while (PollEvent()) {
        }
    }
    double elapsed = BenchSeconds() - start;
    timeKillEvent(bare);
    StopTimer(timer);

    int n = bareCount.load(std::memory_order_acquire);
    std::vector<double> bareTimes(bareStamps, bareStamps + n), bareTicks(n);
    for (int i = 0; i < n; ++i) bareTicks[i] = i;
    Pacing ours = Analyse(wakes, wakeTicks);
    Pacing base = Analyse(bareTimes, bareTicks);

    double rate = TimerTicks(timer) / elapsed;
    std::printf("timer: %d ticks in %.3f s = %.3f ticks/s (target 62.5, off by %.2f %%), %d ticks taken late "
                "two or more at once\n",
                TimerTicks(timer), elapsed, rate, (rate - 62.5) / 62.5 * 100.0, missed);
    PrintDistribution("ours (WaitTimer)", ours);
    PrintDistribution("baseline (bare callback)", base);
    std::printf("bench timer_period_ms ours=%.4f baseline=%.4f ratio=%.3f\n", ours.periodMs, base.periodMs,
                base.periodMs / ours.periodMs);
    double oursMedian = Percentile(ours.offsetsMs, 0.5), baseMedian = Percentile(base.offsetsMs, 0.5);
    std::printf("bench timer_wake_offset_median_ms ours=%.4f baseline=%.4f ratio=%.3f\n", oursMedian, baseMedian,
                baseMedian / oursMedian);
    double oursP90 = Percentile(ours.offsetsMs, 0.9), baseP90 = Percentile(base.offsetsMs, 0.9);
    std::printf("bench timer_wake_offset_p90_ms ours=%.4f baseline=%.4f ratio=%.3f\n", oursP90, baseP90,
                baseP90 / oursP90);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
