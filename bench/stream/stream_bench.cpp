// Streams against the C library, side by side in one run:
//   block writes and reads of a 64 MB file through TCStream and fwrite/fread,
//   ReadLine over a 10 MB text file against fgets,
//   UTF-8 decoding through a text stream against a plain decoder loop.
// Each pair runs a few times in alternation; the best time of each counts.
// Prints "bench NAME ours=MS baseline=MS ratio=R" with R = baseline / ours.
#include "runtime/win32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "runtime/startup.h"
#include "stream/ramstream.h"
#include "stream/stream.h"
#include "stream/textstream.h"

namespace {

constexpr int kBlock = 64 * 1024;
constexpr int kFileBytes = 64 * 1024 * 1024;
constexpr int kTextBytes = 10 * 1024 * 1024;
constexpr int kRounds = 3;

template <class F>
double TimeMs(F body) {
    return 1000.0 * BenchTime(body);
}

void Report(const char* name, double ours, double baseline) {
    std::printf("bench %s ours=%.2f baseline=%.2f ratio=%.3f\n", name, ours, baseline, baseline / ours);
    std::fflush(stdout);
}

std::string TempPath(const char* name) {
    char dir[MAX_PATH + 1];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

// Each side writes and reads a file of its own, so neither pays for freeing
// the other's pages when it truncates.
void BenchBlocks(const std::string& path, const std::string& ourPath) {
    std::vector<char> block(kBlock);
    for (int i = 0; i < kBlock; ++i) block[static_cast<size_t>(i)] = static_cast<char>(i * 7);
    String* url = String::FromCString(ourPath.c_str());
    double oursWrite = 1e30, baseWrite = 1e30, oursRead = 1e30, baseRead = 1e30;
    auto writeC = [&] {
        FILE* f = std::fopen(path.c_str(), "wb");
        for (int done = 0; done < kFileBytes; done += kBlock) std::fwrite(block.data(), 1, kBlock, f);
        std::fclose(f);
    };
    auto writeOurs = [&] {
        TStream* s = WriteStream(url);
        for (int done = 0; done < kFileBytes; done += kBlock) s->WriteBytes(block.data(), kBlock);
        s->Close();
    };
    auto readC = [&] {
        FILE* f = std::fopen(path.c_str(), "rb");
        unsigned sum = 0;
        while (std::fread(block.data(), 1, kBlock, f) == static_cast<size_t>(kBlock)) sum += block[100];
        std::fclose(f);
        BenchKeep(sum);
    };
    auto readOurs = [&] {
        TStream* s = ReadStream(url);
        unsigned sum = 0;
        while (!s->Eof()) {
            s->ReadBytes(block.data(), kBlock);
            sum += block[100];
        }
        s->Close();
        BenchKeep(sum);
    };
    // The order alternates, so that neither side always runs on a warmer cache.
    for (int round = 0; round < 2 * kRounds; ++round) {
        if (round % 2) {
            oursWrite = std::min(oursWrite, TimeMs(writeOurs));
            baseWrite = std::min(baseWrite, TimeMs(writeC));
            oursRead = std::min(oursRead, TimeMs(readOurs));
            baseRead = std::min(baseRead, TimeMs(readC));
        } else {
            baseWrite = std::min(baseWrite, TimeMs(writeC));
            oursWrite = std::min(oursWrite, TimeMs(writeOurs));
            baseRead = std::min(baseRead, TimeMs(readC));
            oursRead = std::min(oursRead, TimeMs(readOurs));
        }
    }
    Report("cstream_write_64mb", oursWrite, baseWrite);
    Report("cstream_read_64mb", oursRead, baseRead);
}

void BenchLines(const std::string& path) {
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        std::string line;
        for (int written = 0, n = 0; written < kTextBytes; ++n) {
            line = "line " + std::to_string(n) + " of a text file read back with ReadLine and fgets\r\n";
            std::fwrite(line.data(), 1, line.size(), f);
            written += static_cast<int>(line.size());
        }
        std::fclose(f);
    }
    String* url = String::FromCString(path.c_str());
    double ours = 1e30, baseline = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        baseline = std::min(baseline, TimeMs([&] {
            FILE* f = std::fopen(path.c_str(), "rb");
            char line[1024];
            unsigned total = 0;
            while (std::fgets(line, sizeof line, f)) total += static_cast<unsigned>(std::strlen(line));
            std::fclose(f);
            BenchKeep(total);
        }));
        ours = std::min(ours, TimeMs([&] {
            TStream* s = ReadStream(url);
            unsigned total = 0;
            while (!s->Eof()) total += static_cast<unsigned>(s->ReadLine()->length);
            s->Close();
            BenchKeep(total);
        }));
    }
    Report("readline_10mb", ours, baseline);
}

// The decoder a caller would write by hand, with the text stream's rules.
int DecodeUtf8(const unsigned char* in, int count, char16_t* out) {
    int n = 0;
    for (int i = 0; i < count;) {
        int c = in[i++];
        if (c >= 128) {
            int a = i < count ? in[i++] : 0;
            if (c < 224) {
                c = (c - 192) * 64 + (a - 128);
            } else {
                int b = i < count ? in[i++] : 0;
                c = c < 240 ? (c - 224) * 4096 + (a - 128) * 64 + (b - 128) : 0;
            }
        }
        out[n++] = static_cast<char16_t>(c);
    }
    return n;
}

void BenchUtf8() {
    // About 4 MB of text mixing one-, two- and three-byte characters.
    std::string bytes;
    const char* pieces[] = {"plain ascii text ", "caf\xc3\xa9 ", "\xe2\x82\xac 42 ", "\xd0\x9f\xd1\x80\xd0\xb8 "};
    for (int i = 0; bytes.size() < 4u * 1024 * 1024; ++i) bytes += pieces[i % 4];
    int count = static_cast<int>(bytes.size());
    std::vector<char16_t> decoded(bytes.size());
    double ours = 1e30, baseline = 1e30;
    int expected = 0, got = 0;
    for (int round = 0; round < kRounds; ++round) {
        baseline = std::min(baseline, TimeMs([&] {
            expected = DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), count, decoded.data());
        }));
        ours = std::min(ours, TimeMs([&] {
            TRamStream* ram = CreateRamStream(bytes.data(), count, 1, 0);
            got = TTextStream::Create(ram, ENCODING_UTF8)->ReadFile()->length;
        }));
    }
    if (got != expected) std::printf("utf8 decode mismatch: %d against %d characters\n", got, expected);
    Report("utf8_decode_4mb", ours, baseline);
}

int Bench() {
    StartStreamModule();
    StartRamStreamModule();
    StartTextStreamModule();
    std::string blocks = TempPath("neonara-bench-blocks.bin");
    std::string ourBlocks = TempPath("neonara-bench-blocks-ours.bin");
    std::string lines = TempPath("neonara-bench-lines.txt");
    BenchBlocks(blocks, ourBlocks);
    BenchLines(lines);
    BenchUtf8();
    std::remove(blocks.c_str());
    std::remove(ourBlocks.c_str());
    std::remove(lines.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Bench); }
