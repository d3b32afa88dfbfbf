// String building and number conversion against the C library.
#include <cstdio>
#include <cstdlib>

#include "bench/bench.h"
#include "runtime/startup.h"
#include "runtime/string.h"

namespace {

constexpr int kCount = 200000;
const char* const kWords[] = {"alpha", "beta", "gamma-ray", "delta", "screensaver", "x"};

int Program() {
    static Ref<String> words[6];
    for (int i = 0; i < 6; ++i) words[i] = String::FromCString(kWords[i]);

    BenchCompare(
        "string_concat_ns", 1e9 / kCount, 5,
        [] {
            for (int i = 0; i < kCount; ++i) BenchKeep(Concat(words[i % 6], words[(i + 1) % 6]));
        },
        [] {
            char buffer[64];
            for (int i = 0; i < kCount; ++i) {
                std::snprintf(buffer, sizeof buffer, "%s%s", kWords[i % 6], kWords[(i + 1) % 6]);
                BenchKeep(buffer[0]);
            }
        });

    BenchCompare(
        "string_from_int_ns", 1e9 / kCount, 5,
        [] {
            for (int i = 0; i < kCount; ++i) BenchKeep(String::FromInt(i * 7919 - 800000000));
        },
        [] {
            char buffer[16];
            for (int i = 0; i < kCount; ++i) {
                std::snprintf(buffer, sizeof buffer, "%d", i * 7919 - 800000000);
                BenchKeep(buffer[0]);
            }
        });

    BenchCompare(
        "string_from_float_ns", 1e9 / kCount, 5,
        [] {
            for (int i = 0; i < kCount; ++i) BenchKeep(String::FromFloat(static_cast<float>(i) * 0.37f));
        },
        [] {
            char buffer[64];
            for (int i = 0; i < kCount; ++i) {
                _snprintf(buffer, sizeof buffer, "%#.9g", static_cast<double>(static_cast<float>(i) * 0.37f));
                BenchKeep(buffer[0]);
            }
        });

    static Ref<String> numbers[100];
    static char cNumbers[100][16];
    for (int i = 0; i < 100; ++i) {
        std::snprintf(cNumbers[i], 16, "%d", i * 104729 - 5000000);
        numbers[i] = String::FromCString(cNumbers[i]);
    }
    BenchCompare(
        "string_to_int_ns", 1e9 / kCount, 5,
        [] {
            for (int i = 0; i < kCount; ++i) BenchKeep(numbers[i % 100]->ToInt());
        },
        [] {
            for (int i = 0; i < kCount; ++i) BenchKeep(std::strtol(cNumbers[i % 100], nullptr, 10));
        });
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
