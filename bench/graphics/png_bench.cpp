// PNG decoding of a 256x256 RGBA image: our loader chain over a RAM stream
// ("incbin::" url, stream wrapper, read callback on TStream) against libpng
// reading the same bytes straight from memory with the same transformations
// into a plain buffer.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "graphics/png.h"
#include "runtime/collector.h"
#include "runtime/startup.h"
#include "stream/ramstream.h"

namespace {

constexpr int kSide = 256;
constexpr int kDecodes = 20;

std::string image;

void Append(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

// A picture-like image: smooth gradients with some noise, so that the
// filters and zlib have real work to do.
bool MakeImage(png_bytepp rows, std::string* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, Append, nullptr);
    png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct Memory {
    const unsigned char* at;
    size_t left;
};

void ReadMemory(png_structp png, png_bytep data, size_t length) {
    Memory* m = static_cast<Memory*>(png_get_io_ptr(png));
    if (length > m->left) png_error(png, "short");
    std::memcpy(data, m->at, length);
    m->at += length;
    m->left -= length;
}

bool DecodeDirectly(png_bytepp rows) {
    Memory m{reinterpret_cast<const unsigned char*>(image.data()), image.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &m, ReadMemory);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_expand(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

int Program() {
    SetCollectorMode(kCollectAutomatic);
    StartPngModule();
    StartRamStreamModule();

    std::vector<unsigned char> pixels(kSide * kSide * 4);
    std::vector<png_bytep> rows(kSide);
    unsigned noise = 12345;
    for (int y = 0; y < kSide; ++y) {
        rows[y] = pixels.data() + y * kSide * 4;
        for (int x = 0; x < kSide; ++x) {
            noise = noise * 1103515245u + 12345u;
            unsigned char* p = rows[y] + x * 4;
            p[0] = static_cast<unsigned char>(x + (noise >> 29));
            p[1] = static_cast<unsigned char>(y + (noise >> 28));
            p[2] = static_cast<unsigned char>((x * y) >> 8);
            p[3] = static_cast<unsigned char>(255 - (x >> 2));
        }
    }
    if (!MakeImage(rows.data(), &image)) return 1;
    IncbinAdd(u"bench.png"_s, image.data(), static_cast<int>(image.size()));

    std::vector<unsigned char> decoded(kSide * kSide * 4);
    std::vector<png_bytep> decodedRows(kSide);
    for (int y = 0; y < kSide; ++y) decodedRows[y] = decoded.data() + y * kSide * 4;

    // Both must really decode the image before they are timed.
    TPixmap* check = LoadPixmap(u"incbin::bench.png"_s);
    if (IsNull(check) || !DecodeDirectly(decodedRows.data()) ||
        std::memcmp(check->pixels, decoded.data(), decoded.size()) != 0) {
        std::printf("bench png_decode_256x256_rgba_ms: decoders disagree\n");
        return 1;
    }

    BenchCompare("png_decode_256x256_rgba_ms", 1e3 / kDecodes, 15,
                 [] {
                     for (int i = 0; i < kDecodes; ++i) BenchKeep(LoadPixmap(u"incbin::bench.png"_s));
                 },
                 [&] {
                     for (int i = 0; i < kDecodes; ++i) BenchKeep(DecodeDirectly(decodedRows.data()));
                 });
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Program); }
