// Pixmap conversion and the bilinear resize of a 1024x1024 pixmap, in
// milliseconds per megapixel of the result. The baseline of each is a plain
// memcpy of the same number of result bytes (what the operation cannot beat:
// it writes every one of those bytes), so a ratio below 1 is expected; it
// shows how far each operation is from raw memory speed.
#include <cstring>
#include <vector>

#include "bench/bench.h"
#include "graphics/pixmap.h"
#include "runtime/collector.h"
#include "runtime/startup.h"

namespace {

constexpr int kSide = 1024;

TPixmap* MakeSource(int format) {
    TPixmap* p = CreatePixmap(kSide, kSide, format, 4);
    for (int y = 0; y < kSide; ++y) {
        unsigned char* row = p->PixelPtr(0, y);
        for (int i = 0; i < kSide * PixelFormatBytes(format); ++i) row[i] = static_cast<unsigned char>(i * 7 + y);
    }
    return p;
}

// Times `operation` on the source against memcpy of the result's bytes.
template <class Operation>
void Measure(const char* name, TPixmap* source, int resultWidth, int resultHeight, int resultFormat,
             Operation operation) {
    size_t bytes = static_cast<size_t>(resultWidth) * resultHeight * PixelFormatBytes(resultFormat);
    std::vector<unsigned char> from(bytes, 1), to(bytes);
    double megapixels = resultWidth * static_cast<double>(resultHeight) / 1e6;
    BenchCompare(name, 1e3 / megapixels, 7, [&] { BenchKeep(operation(source)); },
                 [&] {
                     std::memcpy(to.data(), from.data(), bytes);
                     BenchKeep(to[bytes / 2]);
                 });
}

int Program() {
    SetCollectorMode(kCollectAutomatic);
    StartPixmapModule();
    Ref<TPixmap> rgba = MakeSource(PF_RGBA8888);
    Ref<TPixmap> rgb = MakeSource(PF_RGB888);

    Measure("convert_rgba8888_to_bgr888_ms_per_mp_vs_memcpy", rgba, kSide, kSide, PF_BGR888,
            [](TPixmap* p) { return ConvertPixmap(p, PF_BGR888); });
    Measure("convert_rgb888_to_rgba8888_ms_per_mp_vs_memcpy", rgb, kSide, kSide, PF_RGBA8888,
            [](TPixmap* p) { return ConvertPixmap(p, PF_RGBA8888); });
    // Neither side is the standard format: two steps through it.
    Measure("convert_rgb888_to_bgra8888_ms_per_mp_vs_memcpy", rgb, kSide, kSide, PF_BGRA8888,
            [](TPixmap* p) { return ConvertPixmap(p, PF_BGRA8888); });
    Measure("resize_rgba8888_1024_to_1000_ms_per_mp_vs_memcpy", rgba, 1000, 1000, PF_RGBA8888,
            [](TPixmap* p) { return ResizePixmap(p, 1000, 1000); });
    Measure("resize_rgba8888_1024_to_512_ms_per_mp_vs_memcpy", rgba, 512, 512, PF_RGBA8888,
            [](TPixmap* p) { return ResizePixmap(p, 512, 512); });
    Measure("resize_rgb888_1024_to_1000_ms_per_mp_vs_memcpy", rgb, 1000, 1000, PF_RGB888,
            [](TPixmap* p) { return ResizePixmap(p, 1000, 1000); });
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
