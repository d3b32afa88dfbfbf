// test_fuzz.exe: feeds seeded, reproducible inputs to the parsers and to the
// functions that take sizes and indices, and reports crashes, hangs and
// wrong results.
//
//   test_fuzz.exe                          the suite's short run: every target
//                                          its fixed number of inputs, seed 1040
//   test_fuzz.exe --seconds S [--seed B] [--target NAME]
//                                          every target (or one) for S seconds each
//   test_fuzz.exe --target NAME --replay SEED
//                                          one input again, from its seed
//   --limit-ms L                           an input running longer is a hang
//                                          (default 20000)
//
// Each target prints "fuzz NAME: inputs N, refused R, mismatches M". A crash
// prints "fuzz: crash in NAME, input seed S: exception C" and ends the process
// with 3; a hang "fuzz: hang in NAME, input seed S: over L ms" and ends it with
// 4. A runtime error raised for an input is a refusal, which is fine; a wrong
// result against a model is a mismatch, and the exit code is then 1.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "audio/socket.h"
#include "graphics/freetypefont.h"
#include "graphics/png.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include "stream/bankstream.h"
#include "stream/ramstream.h"
#include "stream/textstream.h"
#include "tests/fuzz/fuzz.h"

namespace {

// What runs now, for the crash and hang reports (read by the handlers and
// the watchdog thread; plain data only).
const char* volatile currentTarget = "none";
volatile uint64_t currentSeed = 0;
std::atomic<bool> inInput{false};
std::atomic<DWORD> inputStarted{0};  // GetTickCount at the input's start
DWORD limitMs = 20000;

// Writes without the C library or the runtime: the process may be in any state.
void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

[[noreturn]] void EndWith(const char* kind, const char* detail, UINT code) {
    char line[256];
    std::snprintf(line, sizeof line, "fuzz: %s in %s, input seed %llu: %s\n", kind, currentTarget,
                  static_cast<unsigned long long>(currentSeed), detail);
    Say(line);
    TerminateProcess(GetCurrentProcess(), code);
    for (;;) {
    }
}

LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
    DWORD code = info->ExceptionRecord->ExceptionCode;
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:  // also what an undefined-behaviour check traps with
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR: {
        char detail[96];
        std::snprintf(detail, sizeof detail, "exception 0x%08lx at %p", code, info->ExceptionRecord->ExceptionAddress);
        EndWith("crash", detail, 3);
    }
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
}

void OnAbort(int) { EndWith("crash", "abort", 3); }

void Watchdog() {
    for (;;) {
        Sleep(100);
        DWORD started = inputStarted.load();
        if (inInput && static_cast<LONG>(GetTickCount() - started) > static_cast<LONG>(limitMs)) {
            char detail[64];
            std::snprintf(detail, sizeof detail, "over %lu ms", limitMs);
            EndWith("hang", detail, 4);
        }
    }
}

struct Options {
    std::string target;
    uint64_t seed = 1040;
    double seconds = 0;
    bool replay = false;
};

uint64_t NameHash(const char* name) {
    uint64_t h = 14695981039346656037ull;
    for (; *name; ++name) h = (h ^ static_cast<unsigned char>(*name)) * 1099511628211ull;
    return h;
}

// The seed of input number i of a target: the run's seed, the target's name
// and i mixed, so every input stands alone.
uint64_t InputSeed(uint64_t base, const char* name, uint64_t i) {
    fuzz::Rng mix(base ^ NameHash(name) ^ (i * 0x9E3779B97F4A7C15ull));
    return mix.Next();
}

struct Counts {
    long inputs = 0, refused = 0, mismatches = 0;
};

void RunOne(const fuzz::Target& target, uint64_t seed, Counts& counts) {
    currentSeed = seed;
    fuzz::Rng rng(seed);
    inputStarted = GetTickCount();
    inInput = true;
    try {
        target.run(rng);
    } catch (ThrownObject&) {
        ++counts.refused;
    } catch (fuzz::Mismatch& m) {
        ++counts.mismatches;
        std::printf("fuzz: mismatch in %s, input seed %llu: %s\n", target.name, static_cast<unsigned long long>(seed),
                    m.what());
    } catch (std::exception& e) {
        ++counts.mismatches;
        std::printf("fuzz: C++ exception in %s, input seed %llu: %s\n", target.name,
                    static_cast<unsigned long long>(seed), e.what());
    }
    inInput = false;
    ++counts.inputs;
}

Counts RunTarget(const fuzz::Target& target, const Options& options) {
    currentTarget = target.name;
    Counts counts;
    if (options.replay) {
        RunOne(target, options.seed, counts);
        return counts;
    }
    long inputs = target.shortInputs;
    DWORD start = GetTickCount();
    for (uint64_t i = 0;; ++i) {
        if (options.seconds > 0 ? GetTickCount() - start >= options.seconds * 1000 : static_cast<long>(i) >= inputs) {
            break;
        }
        RunOne(target, InputSeed(options.seed, target.name, i), counts);
    }
    return counts;
}

bool ParseOptions(Options& options) {
    for (int i = 1; i < AppArgs->Length(); ++i) {
        char* arg = AppArgs->StringAt(i)->ToCString();
        char* value = i + 1 < AppArgs->Length() ? AppArgs->StringAt(i + 1)->ToCString() : nullptr;
        std::string name = arg;
        bool ok = value != nullptr;
        if (name == "--target" && ok) options.target = value;
        else if (name == "--seed" && ok) options.seed = std::strtoull(value, nullptr, 10);
        else if (name == "--replay" && ok) options.seed = std::strtoull(value, nullptr, 10), options.replay = true;
        else if (name == "--seconds" && ok) options.seconds = std::atof(value);
        else if (name == "--limit-ms" && ok) limitMs = static_cast<DWORD>(std::atol(value));
        else ok = false;
        MemFreeBlock(arg);
        if (value) MemFreeBlock(value);
        if (!ok) {
            std::printf("fuzz: unknown or incomplete option %s\n", name.c_str());
            return false;
        }
        ++i;
    }
    return true;
}

int Program() {
    AddVectoredExceptionHandler(1, OnFault);
    std::signal(SIGABRT, OnAbort);
    Options options;
    if (!ParseOptions(options)) return 2;
    StartPngModule();
    StartFreeTypeModule();
    StartTextStreamModule();
    StartBankStreamModule();
    StartRamStreamModule();
    RegisterEmbeddedFiles();
    audio::StartSockets();
    // A file the url target can find among its names (the working directory
    // is the program's folder).
    if (FILE* f = std::fopen("fuzz-url.txt", "wb")) {
        std::fputs("a line\r\nanother\n", f);
        std::fclose(f);
    }
    std::thread(Watchdog).detach();

    const struct {
        const fuzz::Target* targets;
        int count;
    } groups[] = {{fuzz::kRuntimeTargets, fuzz::kRuntimeTargetCount},
                  {fuzz::kMediaTargets, fuzz::kMediaTargetCount},
                  {fuzz::kAudioTargets, fuzz::kAudioTargetCount}};
    int ran = 0;
    long mismatches = 0;
    for (const auto& group : groups) {
        for (int t = 0; t < group.count; ++t) {
            const fuzz::Target& target = group.targets[t];
            if (!options.target.empty() && options.target != target.name) continue;
            Counts counts = RunTarget(target, options);
            std::printf("fuzz %s: inputs %ld, refused %ld, mismatches %ld\n", target.name, counts.inputs,
                        counts.refused, counts.mismatches);
            std::fflush(stdout);
            mismatches += counts.mismatches;
            ++ran;
        }
    }
    if (ran == 0) {
        std::printf("fuzz: no target named %s\n", options.target.c_str());
        return 2;
    }
    return mismatches ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
