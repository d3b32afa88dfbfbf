// The screensaver's own measures, on the harness's display with its station
// playing (scripts/bench):
//
//   start-up   process start to the first presented frame of the saver (the
//              modules, the 1024x768 display, the scene with its 10000 stars
//              and the title font, one frame), without the display's retrace
//              probe and without the radio (the preview flag skips it), against
//              a bare program that opens the same display and presents one
//              cleared frame; each is a child process, best of three.
//   pacing     the saver's loop for 20 s with the radio: frames a second
//              against the frame timer's own ticks a second in the same run
//              (62.5 for its 16 ms period); the target is at least 62. Then
//              20 s with a station of nothing but the bass beat (the most
//              fireworks), and the loop without the radio, in a child
//              process: no fireworks.
//   draw time  the scene's drawing without the timer wait (DrawScene), per
//              frame, wall and main-thread CPU, and the share of the 16 ms
//              tick it takes; the Flip and the whole process's CPU per frame.
//   pictures   seeded frames of stars and fireworks drawn with the GL
//              driver's shortcuts (the sprites' outlines, magnified
//              sprites sampled from level 0 alone) against drawn plainly: the
//              largest difference of a channel, and a frame's time each way.
//   memory     the loop for NEONARA_BENCH_MEMORY_SECONDS (default 600 s):
//              MemoryAllocated and the resident set, first sample against the
//              last, with the fireworks the station's beat starts; and the
//              last resident set against the bare program's with its display
//              open (the most of the start-up rounds).
//
// For rates the ratio is ours / baseline; for times and sizes baseline / ours
// (above 1 is better either way; memory near 1.0 means flat).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/radio.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "bench/bench.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/vanta2d.h"
#include "runtime/array.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/time.h"
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"
#include "tests/app/seeded_frames.h"
#include "tests/child_process.h"

#include <psapi.h>  // after win32.h, which it needs

namespace {

constexpr double kPacingSeconds = 20;
constexpr double kTickMs = 16;
constexpr int kStartupRounds = 5;  // one start-up swings by 100 ms and more on a busy machine
constexpr double kSampleSeconds = 30;
constexpr double kSettleSeconds = 60;

// Milliseconds since this process was created.
double MillisSinceProcessStart() {
    FILETIME creation, exitTime, kernel, user, now;
    GetProcessTimes(GetCurrentProcess(), &creation, &exitTime, &kernel, &user);
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER a{{creation.dwLowDateTime, creation.dwHighDateTime}};
    ULARGE_INTEGER b{{now.dwLowDateTime, now.dwHighDateTime}};
    return static_cast<double>(b.QuadPart - a.QuadPart) / 10000.0;
}

double FileTimeMillis(const FILETIME& t) {
    ULARGE_INTEGER v{{t.dwLowDateTime, t.dwHighDateTime}};
    return static_cast<double>(v.QuadPart) / 10000.0;
}

double ThreadCpuMillis() {
    FILETIME creation, exitTime, kernel, user;
    GetThreadTimes(GetCurrentThread(), &creation, &exitTime, &kernel, &user);
    return FileTimeMillis(kernel) + FileTimeMillis(user);
}

double ProcessCpuMillis() {
    FILETIME creation, exitTime, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exitTime, &kernel, &user);
    return FileTimeMillis(kernel) + FileTimeMillis(user);
}

double ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.WorkingSetSize);
}

// The saver's arguments, so the scene is the full-screen saver's.
TScreenSaver* NewSaver() {
    Array* args = NewArray("$", 2);
    args->SetObject(0, AppArgs->StringAt(0));
    args->SetObject(1, u"/s"_s);
    AppArgs = args;
    return new TScreenSaver();
}

int CountFireworks() {
    int count = 0;
    for (Object* value : *ImageList.get()) count += IsA<TFireworks>(value) ? 1 : 0;
    return count;
}

// --- start-up (child processes) ---

// What a start-up child reports once its first frame is presented.
void PrintStartup() {
    std::printf("startup_ms=%.3f probe_ms=%d resident_bytes=%.0f allocated_bytes=%.0f\n",
                MillisSinceProcessStart() - RetraceProbeMillis(), RetraceProbeMillis(), ResidentBytes(),
                static_cast<double>(MemoryAllocated()));
}

int SaverStartupChild() {
    StartScreenSaverModules();
    SeedRnd(MilliSecs());
    TScreenSaver* saver = NewSaver();
    if (!saver->StartSaver(1)) return 1;
    saver->DrawFrame();
    Flip(-1);
    PrintStartup();
    return 0;
}

int BareStartupChild() {
    StartRuntimeCore();
    StartSystemModule();
    StartGLVanta2DModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    if (IsNull(Graphics(1024, 768, 32, 0, 0))) return 1;
    Cls();
    Flip(0);
    PrintStartup();
    return 0;
}

double bareResident = 0;  // the bare program's resident set with its display open

// The number after "key=" in a child's output; -1 when the key is missing.
double NumberAfter(const std::string& out, const char* key) {
    size_t at = out.find(key);
    return at == std::string::npos ? -1 : std::atof(out.c_str() + at + std::strlen(key));
}

// Runs this program again in a start-up mode; its start-up time, or -1. Also
// its resident set and the runtime's allocated bytes, when asked for.
double ChildStartup(const wchar_t* mode, double* resident, double* allocated = nullptr) {
    ChildResult child = RunChild(QuoteArgument(OwnProgramPath()) + L" " + mode);
    double startup = NumberAfter(child.out, "startup_ms="), residentBytes = NumberAfter(child.out, "resident_bytes=");
    if (!child.finished || child.exitCode != 0 || startup < 0 || residentBytes < 0) {
        std::printf("bench: start-up child %ls failed (exit %lu): %s\n", mode, child.exitCode, child.out.c_str());
        return -1;
    }
    if (resident) *resident = residentBytes;
    if (allocated) *allocated = std::max(0.0, NumberAfter(child.out, "allocated_bytes="));
    return startup;
}

bool MeasureStartup() {
    double ours = 1e30, baseline = 1e30;
    std::vector<double> ratios;
    for (int round = 0; round < kStartupRounds; ++round) {
        double resident = 0, allocated = 0, bare = 0;
        double t = ChildStartup(L"startup-saver", &resident, &allocated);
        double b = ChildStartup(L"startup-bare", &bare);
        if (t < 0 || b < 0) return false;
        bareResident = std::max(bareResident, bare);
        std::printf("start-up round %d: saver %.1f ms, bare display %.1f ms; at the first frame the saver is "
                    "resident %.1f MiB (the runtime's own blocks %.1f MiB), the bare program %.1f MiB\n",
                    round + 1, t, b, resident / 1048576, allocated / 1048576, bare / 1048576);
        ours = std::min(ours, t);
        baseline = std::min(baseline, b);
        ratios.push_back(b / t);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("bench saver_startup_ms ours=%.1f baseline=%.1f ratio=%.3f (the rounds' own ratios: median %.3f)\n",
                ours, baseline, baseline / ours, ratios[ratios.size() / 2]);
    return true;
}

// --- the loop ---

struct LoopTotals {
    int frames = 0;
    double seconds = 0;
    int ticks = 0;
    double pollMs = 0, waitMs = 0, drawMs = 0, drawCpuMs = 0, flipMs = 0, processCpuMs = 0;
    int maxFireworks = 0;
    int longFrames = 0;      // events, drawing and Flip took more than one tick
    int veryLongFrames = 0;  // more than two: a tick is lost
};

// One pass of the saver's loop (events are read and left alone), timed.
void LoopFrame(TScreenSaver* saver, LoopTotals& totals) {
    double polling = BenchSeconds();
    while (PollEvent() != 0) {
    }
    double waiting = BenchSeconds();
    WaitTimer(FrameTimer);
    double wall = BenchSeconds();
    totals.pollMs += (waiting - polling) * 1000;
    totals.waitMs += (wall - waiting) * 1000;
    double cpu = ThreadCpuMillis();
    saver->DrawScene();
    double drawn = BenchSeconds();
    totals.drawCpuMs += ThreadCpuMillis() - cpu;
    Flip(-1);
    totals.flipMs += (BenchSeconds() - drawn) * 1000;
    totals.drawMs += (drawn - wall) * 1000;
    totals.frames += 1;
    double workMs = (BenchSeconds() - wall + waiting - polling) * 1000;
    totals.longFrames += workMs > kTickMs ? 1 : 0;
    totals.veryLongFrames += workMs > 2 * kTickMs ? 1 : 0;
}

LoopTotals RunLoop(TScreenSaver* saver, double seconds, double sampleEvery,
                   void (*sample)(double at, const LoopTotals&)) {
    LoopTotals totals;
    int ticksBefore = TimerTicks(FrameTimer);
    double cpuBefore = ProcessCpuMillis();
    double start = BenchSeconds();
    double nextSample = 0;
    for (;;) {
        double at = BenchSeconds() - start;
        if (sample && at >= nextSample) {
            sample(at, totals);
            nextSample += sampleEvery;
        }
        if (at >= seconds) break;
        LoopFrame(saver, totals);
        totals.maxFireworks = std::max(totals.maxFireworks, CountFireworks());
    }
    totals.seconds = BenchSeconds() - start;
    totals.ticks = TimerTicks(FrameTimer) - ticksBefore;
    totals.processCpuMs = ProcessCpuMillis() - cpuBefore;
    return totals;
}

void ReportPacing(const char* name, const LoopTotals& t) {
    double fps = t.frames / t.seconds;
    double tickRate = t.ticks / t.seconds;
    double draw = t.drawMs / t.frames;
    std::printf("pacing: %d frames and %d timer ticks in %.2f s; up to %d fireworks at once; %d frames took "
                "longer than a tick, %d longer than two\n",
                t.frames, t.ticks, t.seconds, t.maxFireworks, t.longFrames, t.veryLongFrames);
    std::printf("bench %s ours=%.3f baseline=%.3f ratio=%.4f (target: at least 62)\n", name, fps, tickRate,
                fps / tickRate);
    std::printf("per frame: events %.3f ms, timer wait %.3f ms, DrawScene %.3f ms wall and %.3f ms main-thread "
                "CPU, Flip %.3f ms; process CPU (all threads, the GL rasteriser's too) %.3f ms\n",
                t.pollMs / t.frames, t.waitMs / t.frames, draw, t.drawCpuMs / t.frames, t.flipMs / t.frames,
                t.processCpuMs / t.frames);
    std::printf("bench saver_draw_scene_ms ours=%.3f baseline=%.1f ratio=%.2f (%.1f %% of the 16 ms tick)\n", draw,
                kTickMs, kTickMs / draw, draw / kTickMs * 100);
    std::fflush(stdout);
}

// The same loop without the radio (so without fireworks) in a process of its
// own: how the pacing holds when the software rasteriser has less to fill.
int QuietPacingChild() {
    StartScreenSaverModules();
    SeedRnd(MilliSecs());
    TScreenSaver* saver = NewSaver();
    if (!saver->StartSaver(1)) return 1;
    ReportPacing("saver_frames_per_second_without_radio", RunLoop(saver, kPacingSeconds, 0, nullptr));
    return 0;
}

bool MeasureQuietPacing() {
    ChildResult child = RunChild(QuoteArgument(OwnProgramPath()) + L" pacing-quiet");
    std::printf("%s", child.out.c_str());
    return child.finished && child.exitCode == 0;
}

// The loop with the station's bass beat alone (NEONARA_BENCH_BEAT_STATION,
// started by scripts/bench): a burst every other frame while the note
// sounds keeps some twenty fireworks alive. Then back to the saver's station.
bool MeasureBeatPacing(TScreenSaver* saver) {
    const char* url = std::getenv("NEONARA_BENCH_BEAT_STATION");
    if (!url || !*url) {
        std::printf("bench: no bass-beat station (NEONARA_BENCH_BEAT_STATION; scripts/bench starts one)\n");
        return true;
    }
    if (!Radio->PlayURL(String::FromCString(url))) {
        std::printf("bench: the bass-beat station %s did not play\n", url);
        return false;
    }
    ReportPacing("saver_frames_per_second_bass_beat", RunLoop(saver, kPacingSeconds, 0, nullptr));
    return Radio->PlayURL(StationURL()) != 0;
}

// --- pictures (child process) ---

// The seeded frames drawn with the driver's shortcuts against drawn
// plainly: the pictures compared, and the time a frame takes each way, best of
// three alternating rounds.
int PicturesChild() {
    StartScreenSaverModules();
    TScreenSaver* saver = NewSaver();
    if (!saver->StartSaver(1)) return 1;
    std::vector<Ref<TPixmap>> shortcut = DrawSeededFrames(false, 3, true), plain = DrawSeededFrames(true, 3, true);
    int worst = 0, differing = 0, lit = 0;
    for (size_t frame = 0; frame < shortcut.size(); ++frame) {
        int d = 0;
        worst = std::max(worst, WorstChannelDifference(shortcut[frame].get(), plain[frame].get(), &d, &lit));
        differing += d;
    }
    std::printf("pictures: %d seeded frames drawn with shortcuts against plainly: worst channel difference %d level(s), "
                "%d pixels differ\n",
                static_cast<int>(shortcut.size()), worst, differing);
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < kStartupRounds; ++round) {
        for (int way = 0; way < 2; ++way) {
            double ms = 0;
            DrawSeededFrames(way == 1, 30, false, &ms);
            best[way] = std::min(best[way], ms);
        }
    }
    std::printf("bench saver_seeded_fireworks_frame_ms ours=%.2f baseline=%.2f ratio=%.3f (with shortcuts against plainly)\n",
                best[0], best[1], best[1] / best[0]);
    return worst <= 1 ? 0 : 1;
}

bool MeasurePictures() {
    ChildResult child = RunChild(QuoteArgument(OwnProgramPath()) + L" pictures");
    std::printf("%s", child.out.c_str());
    return child.finished && child.exitCode == 0;
}

// --- memory ---

double memorySeconds = 0;
double firstAllocated = -1, lastAllocated = 0, firstResident = 0, lastResident = 0;
double peakAllocated = 0, peakResident = 0;

// The baseline is the first sample, taken again at one minute when the run
// is long enough: by then the radio plays, fireworks come and go and the
// collector has run, which is the state that must then stay flat.
void SampleMemory(double at, const LoopTotals& totals) {
    double allocated = static_cast<double>(MemoryAllocated());
    double resident = ResidentBytes();
    bool settled = memorySeconds >= 2 * kSettleSeconds && at >= kSettleSeconds && at < kSettleSeconds + kSampleSeconds;
    if (firstAllocated < 0 || settled) {
        firstAllocated = allocated;
        firstResident = resident;
    }
    lastAllocated = allocated;
    lastResident = resident;
    peakAllocated = std::max(peakAllocated, allocated);
    peakResident = std::max(peakResident, resident);
    std::printf("memory at %5.0f s: allocated %.0f bytes, resident %.1f MiB, %d frames, %d fireworks alive\n", at,
                allocated, resident / 1048576, totals.frames, CountFireworks());
    std::fflush(stdout);
}

void ReportMemory(double seconds) {
    std::printf("memory over %.0f s: allocated baseline %.0f last %.0f peak %.0f; resident baseline %.1f last %.1f "
                "peak %.1f MiB\n",
                seconds, firstAllocated, lastAllocated, peakAllocated, firstResident / 1048576,
                lastResident / 1048576, peakResident / 1048576);
    std::printf("bench saver_memory_allocated_bytes ours=%.0f baseline=%.0f ratio=%.3f\n", lastAllocated,
                firstAllocated, firstAllocated / lastAllocated);
    std::printf("bench saver_resident_bytes ours=%.0f baseline=%.0f ratio=%.3f\n", lastResident, firstResident,
                firstResident / lastResident);
    std::printf("bench saver_resident_against_bare_display_bytes ours=%.0f baseline=%.0f ratio=%.3f "
                "(the saver beyond the bare program: %.1f MiB)\n",
                lastResident, bareResident, bareResident / lastResident, (lastResident - bareResident) / 1048576);
    std::fflush(stdout);
}

double MemorySeconds() {
    const char* text = std::getenv("NEONARA_BENCH_MEMORY_SECONDS");
    double seconds = text ? std::atof(text) : 600;
    return seconds > 0 ? seconds : 600;
}

int Program() {
    if (AppArgs->Length() >= 2) {
        String* mode = AppArgs->StringAt(1);
        if (Equals(mode, u"startup-saver"_s)) return SaverStartupChild();
        if (Equals(mode, u"startup-bare"_s)) return BareStartupChild();
        if (Equals(mode, u"pacing-quiet"_s)) return QuietPacingChild();
        if (Equals(mode, u"pictures"_s)) return PicturesChild();
    }
    if (!MeasureStartup() || !MeasureQuietPacing() || !MeasurePictures()) return 1;

    StartScreenSaverModules();
    SeedRnd(MilliSecs());
    TScreenSaver* saver = NewSaver();
    if (!saver->StartSaver(0)) {
        std::printf("bench: the saver's display could not be opened\n");
        return 1;
    }
    ReportPacing("saver_frames_per_second", RunLoop(saver, kPacingSeconds, 0, nullptr));
    if (!MeasureBeatPacing(saver)) return 1;
    memorySeconds = MemorySeconds();
    LoopTotals totals = RunLoop(saver, memorySeconds, kSampleSeconds, SampleMemory);
    SampleMemory(totals.seconds, totals);
    ReportPacing("saver_frames_per_second_long_run", totals);
    ReportMemory(totals.seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
