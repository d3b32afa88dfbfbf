#include "graphics/pixmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/stream.h"

KV_DEFINE_CLASS(TPixmap, TData);
KV_DEFINE_CLASS(TPixmapLoader, Object);

const PixelFormatInfo PIXEL_FORMATS[13] = {
    {0, 0, 0, 0, 0},  // no format
    {1, 0, 0, 0, 0},  // PF_I8
    {1, 0, 0, 0, 8},  // PF_A8
    {3, 8, 8, 8, 0},  // PF_BGR888
    {3, 8, 8, 8, 0},  // PF_RGB888
    {4, 8, 8, 8, 8},  // PF_BGRA8888
    {4, 8, 8, 8, 8},  // PF_RGBA8888
    {1, 8, 0, 0, 0},  // PF_RED8
    {1, 0, 8, 0, 0},  // PF_GREEN8
    {1, 0, 0, 8, 0},  // PF_BLUE8
    {1, 0, 0, 0, 0},  // PF_ALPHA8
    {1, 0, 0, 0, 0},  // PF_INTENSITY8
    {1, 0, 0, 0, 0},  // PF_LUMINANCE8
};

const PixelFormatInfo& PixelFormat(int format) {
    return format >= 1 && format <= 12 ? PIXEL_FORMATS[format] : PIXEL_FORMATS[0];
}

namespace {

using Byte = unsigned char;

// The largest pixel block a pixmap may own: what one byte array can hold.
constexpr int64_t kMaxPixmapBytes = 0x7fff0000 - 64;
// The longest side: a pixmap 0 pixels wide and 2^30 high holds no bytes, but
// every row loop would still walk its rows for seconds.
constexpr int kMaxPixmapSide = 1 << 20;

// ---- rows to and from the standard format ----

void ToStandard(const Byte* s, int format, Byte* d, int count) {
    switch (format) {
        case PF_I8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = d[1] = d[2] = s[i], d[3] = 255;
            break;
        case PF_A8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = d[1] = d[2] = 255, d[3] = s[i];
            break;
        case PF_BGR888:
            for (int i = 0; i < count; ++i, s += 3, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = 255;
            break;
        case PF_RGB888:
            for (int i = 0; i < count; ++i, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
            break;
        case PF_BGRA8888:
            for (int i = 0; i < count; ++i, s += 4, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
            break;
        case PF_RGBA8888:
            std::memmove(d, s, static_cast<size_t>(count) * 4);
            break;
        // Red, green, blue and luminance get alpha 1, not 255.
        case PF_RED8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = s[i], d[1] = 0, d[2] = 0, d[3] = 1;
            break;
        case PF_GREEN8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = 0, d[1] = s[i], d[2] = 0, d[3] = 1;
            break;
        case PF_BLUE8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = 0, d[1] = 0, d[2] = s[i], d[3] = 1;
            break;
        case PF_ALPHA8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = d[1] = d[2] = 0, d[3] = s[i];
            break;
        case PF_INTENSITY8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = d[1] = d[2] = d[3] = s[i];
            break;
        case PF_LUMINANCE8:
            for (int i = 0; i < count; ++i, d += 4) d[0] = d[1] = d[2] = s[i], d[3] = 1;
            break;
        default:  // an unknown format reads as transparent black
            std::memset(d, 0, static_cast<size_t>(count) * 4);
    }
}

void FromStandard(const Byte* s, Byte* d, int format, int count) {
    switch (format) {
        case PF_I8:
        case PF_LUMINANCE8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = static_cast<Byte>((s[0] + s[1] + s[2]) / 3);
            break;
        case PF_A8:
        case PF_ALPHA8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = s[3];
            break;
        case PF_BGR888:
            for (int i = 0; i < count; ++i, s += 4, d += 3) d[0] = s[2], d[1] = s[1], d[2] = s[0];
            break;
        case PF_RGB888:
            for (int i = 0; i < count; ++i, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
            break;
        case PF_BGRA8888:
            for (int i = 0; i < count; ++i, s += 4, d += 4) d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
            break;
        case PF_RGBA8888:
            std::memmove(d, s, static_cast<size_t>(count) * 4);
            break;
        case PF_RED8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = s[0];
            break;
        case PF_GREEN8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = s[1];
            break;
        case PF_BLUE8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = s[2];
            break;
        case PF_INTENSITY8:
            for (int i = 0; i < count; ++i, s += 4) d[i] = static_cast<Byte>((s[0] + s[1] + s[2] + s[3]) >> 2);
            break;
        default:  // an unknown format has no bytes to write
            break;
    }
}

// ---- single pixels ----

// The bytes WritePixel stores for the colour; their count (0 for formats 7 to 12).
int EncodePixel(uint32_t argb, int format, Byte* out) {
    Byte a = static_cast<Byte>(argb >> 24);
    Byte r = static_cast<Byte>(argb >> 16);
    Byte g = static_cast<Byte>(argb >> 8);
    Byte b = static_cast<Byte>(argb);
    switch (format) {
        case PF_I8:
            out[0] = static_cast<Byte>((r + g + b) / 3);
            return 1;
        case PF_A8:
            out[0] = a;
            return 1;
        case PF_BGR888:
            out[0] = b, out[1] = g, out[2] = r;
            return 3;
        case PF_RGB888:
            out[0] = r, out[1] = g, out[2] = b;
            return 3;
        case PF_BGRA8888:
            out[0] = b, out[1] = g, out[2] = r, out[3] = a;
            return 4;
        case PF_RGBA8888:
            out[0] = r, out[1] = g, out[2] = b, out[3] = a;
            return 4;
        default:
            return 0;
    }
}

uint32_t DecodePixel(const Byte* p, int format) {
    switch (format) {
        case PF_I8:
            return 0xff000000u | p[0] * 0x010101u;
        case PF_A8:
            return static_cast<uint32_t>(p[0]) << 24 | 0xffffffu;
        case PF_BGR888:
            return 0xff000000u | p[2] << 16 | p[1] << 8 | p[0];
        case PF_RGB888:
            return 0xff000000u | p[0] << 16 | p[1] << 8 | p[2];
        case PF_BGRA8888:
            return static_cast<uint32_t>(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
        case PF_RGBA8888:
            return static_cast<uint32_t>(p[3]) << 24 | p[0] << 16 | p[1] << 8 | p[2];
        default:
            return 0;
    }
}

void FillRow(Byte* row, const Byte* pixel, int bytes, int count) {
    if (bytes == 1) {
        std::memset(row, pixel[0], static_cast<size_t>(count));
        return;
    }
    for (int i = 0; i < count; ++i, row += bytes) std::memcpy(row, pixel, static_cast<size_t>(bytes));
}

}  // namespace

// ---- row primitives ----

void CopyPixels(const void* source, void* destination, int format, int count) {
    if (count <= 0) return;
    std::memmove(destination, source, static_cast<size_t>(count) * PixelFormatBytes(format));
}

void ConvertPixels(const void* source, int sourceFormat, void* destination, int destinationFormat,
                   int count) {
    if (count <= 0) return;
    const Byte* s = static_cast<const Byte*>(source);
    Byte* d = static_cast<Byte*>(destination);
    if (sourceFormat == destinationFormat) {
        CopyPixels(s, d, sourceFormat, count);
    } else if (sourceFormat == PF_RGBA8888) {
        FromStandard(s, d, destinationFormat, count);
    } else if (destinationFormat == PF_RGBA8888) {
        ToStandard(s, sourceFormat, d, count);
    } else {
        // Through the standard format, a bounded piece at a time.
        constexpr int kPiece = 256;
        Byte standard[kPiece * 4];
        int sourceBytes = PixelFormatBytes(sourceFormat);
        int destinationBytes = PixelFormatBytes(destinationFormat);
        for (int done = 0; done < count; done += kPiece) {
            int n = std::min(kPiece, count - done);
            ToStandard(s, sourceFormat, standard, n);
            FromStandard(standard, d, destinationFormat, n);
            s += n * sourceBytes;
            d += n * destinationBytes;
        }
    }
}

// ---- TPixmap ----

unsigned char* TPixmap::PixelPtr(int x, int y) {
    return pixels + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(x) * PixelFormatBytes(format);
}

TPixmap* TPixmap::Window(int x, int y, int w, int h) {
    if (x < 0 || y < 0 || w < 0 || h < 0 || x > width - w || y > height - h) {
        RuntimeError("Pixmap window outside pixmap");
    }
    TPixmap* window = CreateStatic(PixelPtr(x, y), w, h, pitch, format);
    window->source = this;
    return window;
}

TPixmap* TPixmap::Copy() {
    TPixmap* copy = Create(width, height, format, 4);
    size_t rowBytes = static_cast<size_t>(width) * PixelFormatBytes(format);
    for (int y = 0; y < height; ++y) std::memcpy(copy->PixelPtr(0, y), PixelPtr(0, y), rowBytes);
    return copy;
}

void TPixmap::Paste(TPixmap* from, int x, int y) {
    Checked(from);
    // The rectangle of `from` that lands inside this pixmap (64-bit: x and y
    // may be anything).
    int64_t c0 = std::max<int64_t>(0, -static_cast<int64_t>(x));
    int64_t c1 = std::min<int64_t>(from->width, static_cast<int64_t>(width) - x);
    int64_t r0 = std::max<int64_t>(0, -static_cast<int64_t>(y));
    int64_t r1 = std::min<int64_t>(from->height, static_cast<int64_t>(height) - y);
    if (c0 >= c1 || r0 >= r1) return;
    int left = static_cast<int>(c0);
    int count = static_cast<int>(c1 - c0);
    int first = static_cast<int>(r0);
    int last = static_cast<int>(r1) - 1;
    // A paste within one block of memory (a window onto its own pixmap)
    // moving downwards must copy the bottom row first.
    bool bottomUp = reinterpret_cast<uintptr_t>(PixelPtr(x + left, y + first)) >
                    reinterpret_cast<uintptr_t>(from->PixelPtr(left, first));
    for (int i = 0; i <= last - first; ++i) {
        int row = bottomUp ? last - i : first + i;
        ConvertPixels(from->PixelPtr(left, row), from->format, PixelPtr(x + left, y + row), format, count);
    }
}

TPixmap* TPixmap::Convert(int to) {
    TPixmap* result = Create(width, height, to, 4);
    for (int y = 0; y < height; ++y) ConvertPixels(PixelPtr(0, y), format, result->PixelPtr(0, y), to, width);
    return result;
}

int TPixmap::ReadPixel(int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    return static_cast<int>(DecodePixel(PixelPtr(x, y), format));
}

void TPixmap::WritePixel(int x, int y, int argb) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    Byte encoded[4];
    int n = EncodePixel(static_cast<uint32_t>(argb), format, encoded);
    if (n > 0) std::memcpy(PixelPtr(x, y), encoded, static_cast<size_t>(n));
}

TPixmap* TPixmap::Create(int w, int h, int format, int align) {
    if (w < 0 || h < 0) RuntimeError("Invalid pixmap size");
    // The sides first: with them bounded the products below cannot overflow.
    if (w > kMaxPixmapSide || h > kMaxPixmapSide) RuntimeError("Pixmap too large");
    if (align < 1) align = 1;
    int64_t rowBytes = static_cast<int64_t>(w) * PixelFormatBytes(format);
    int64_t rowPitch = (rowBytes + align - 1) / align * align;
    int64_t bytes = rowPitch * h;
    if (bytes > kMaxPixmapBytes || rowPitch > kMaxPixmapBytes) RuntimeError("Pixmap too large");
    TPixmap* pixmap = new TPixmap();
    pixmap->memory = NewArray("b", static_cast<int>(bytes));  // the empty array for 0 bytes
    pixmap->pixels = pixmap->memory->DataAs<Byte>();
    pixmap->width = w;
    pixmap->height = h;
    pixmap->pitch = static_cast<int32_t>(rowPitch);
    pixmap->format = format;
    pixmap->capacity = static_cast<int32_t>(bytes);
    return pixmap;
}

TPixmap* TPixmap::CreateStatic(void* at, int w, int h, int rowPitch, int format) {
    TPixmap* pixmap = new TPixmap();
    pixmap->pixels = static_cast<Byte*>(at);
    pixmap->width = w;
    pixmap->height = h;
    pixmap->pitch = rowPitch;
    pixmap->format = format;
    pixmap->capacity = -1;
    return pixmap;
}

void TPixmap::ClearPixels(int argb) {
    int bytes = PixelFormatBytes(format);
    size_t rowBytes = static_cast<size_t>(width) * bytes;
    if (argb == 0) {
        if (static_cast<int64_t>(rowBytes) == pitch) {
            std::memset(pixels, 0, rowBytes * static_cast<size_t>(height));
        } else {
            for (int y = 0; y < height; ++y) std::memset(PixelPtr(0, y), 0, rowBytes);
        }
        return;
    }
    Byte encoded[4];
    if (EncodePixel(static_cast<uint32_t>(argb), format, encoded) == 0) return;
    for (int y = 0; y < height; ++y) FillRow(PixelPtr(0, y), encoded, bytes, width);
}

// ---- module functions ----

TPixmap* CreatePixmap(int width, int height, int format, int align) {
    return TPixmap::Create(width, height, format, align);
}

TPixmap* CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format) {
    return TPixmap::CreateStatic(pixels, width, height, pitch, format);
}

TPixmap* CopyPixmap(TPixmap* pixmap) { return Checked(pixmap)->Copy(); }
TPixmap* ConvertPixmap(TPixmap* pixmap, int format) { return Checked(pixmap)->Convert(format); }
int PixmapWidth(TPixmap* pixmap) { return Checked(pixmap)->width; }
int PixmapHeight(TPixmap* pixmap) { return Checked(pixmap)->height; }
int PixmapPitch(TPixmap* pixmap) { return Checked(pixmap)->pitch; }
int PixmapFormat(TPixmap* pixmap) { return Checked(pixmap)->format; }

unsigned char* PixmapPixelPtr(TPixmap* pixmap, int x, int y) { return Checked(pixmap)->PixelPtr(x, y); }

TPixmap* PixmapWindow(TPixmap* pixmap, int x, int y, int width, int height) {
    return Checked(pixmap)->Window(x, y, width, height);
}

int ReadPixel(TPixmap* pixmap, int x, int y) { return Checked(pixmap)->ReadPixel(x, y); }
void WritePixel(TPixmap* pixmap, int x, int y, int argb) { Checked(pixmap)->WritePixel(x, y, argb); }
void ClearPixels(TPixmap* pixmap, int argb) { Checked(pixmap)->ClearPixels(argb); }

// ---- masking ----

namespace {

// The pixmap itself when it is in the standard format, else a converted copy.
TPixmap* Standard(TPixmap* pixmap) {
    return pixmap->format == PF_RGBA8888 ? pixmap : pixmap->Convert(PF_RGBA8888);
}

bool IsKey(const Byte* p, int red, int green, int blue) {
    return p[0] == red && p[1] == green && p[2] == blue;
}

// A key pixel's colour: the integer average of the non-key pixels of its
// 3x3 neighbourhood, so that filtered edges do not bleed the key colour.
void AverageNeighbours(TPixmap* standard, int x, int y, int red, int green, int blue, Byte* out) {
    int sum[3] = {0, 0, 0};
    int count = 0;
    for (int ny = std::max(0, y - 1); ny <= std::min(standard->height - 1, y + 1); ++ny) {
        for (int nx = std::max(0, x - 1); nx <= std::min(standard->width - 1, x + 1); ++nx) {
            const Byte* p = standard->PixelPtr(nx, ny);
            if (IsKey(p, red, green, blue)) continue;
            sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
            ++count;
        }
    }
    for (int k = 0; k < 3; ++k) out[k] = static_cast<Byte>(count ? sum[k] / count : 0);
}

}  // namespace

TPixmap* MaskPixmap(TPixmap* pixmap, int red, int green, int blue) {
    TPixmap* standard = Standard(Checked(pixmap));
    TPixmap* result = TPixmap::Create(standard->width, standard->height, PF_RGBA8888, 4);
    for (int y = 0; y < standard->height; ++y) {
        const Byte* s = standard->PixelPtr(0, y);
        Byte* d = result->PixelPtr(0, y);
        for (int x = 0; x < standard->width; ++x, s += 4, d += 4) {
            if (IsKey(s, red, green, blue)) {
                AverageNeighbours(standard, x, y, red, green, blue, d);
                d[3] = 0;
            } else {
                d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
            }
        }
    }
    return result;
}

// ---- flips ----

TPixmap* XFlipPixmap(TPixmap* pixmap) {
    Checked(pixmap);
    int w = pixmap->width;
    size_t bytes = static_cast<size_t>(PixelFormatBytes(pixmap->format));
    TPixmap* result = TPixmap::Create(w, pixmap->height, pixmap->format, 4);
    for (int y = 0; y < pixmap->height; ++y) {
        const Byte* s = pixmap->PixelPtr(0, y);
        Byte* d = result->PixelPtr(0, y);
        for (int i = 0; i < w; ++i) std::memcpy(d + i * bytes, s + (w - 1 - i) * bytes, bytes);
    }
    return result;
}

TPixmap* YFlipPixmap(TPixmap* pixmap) {
    Checked(pixmap);
    int h = pixmap->height;
    size_t rowBytes = static_cast<size_t>(pixmap->width) * PixelFormatBytes(pixmap->format);
    TPixmap* result = TPixmap::Create(pixmap->width, h, pixmap->format, 4);
    for (int i = 0; i < h; ++i) std::memcpy(result->PixelPtr(0, i), pixmap->PixelPtr(0, h - 1 - i), rowBytes);
    return result;
}

// ---- bilinear resize ----

namespace {

// Rounds to single precision. The x87 unit keeps intermediates in extended
// precision; the resize weights and blends are defined in single precision,
// so every step goes through a float in memory.
inline float Single(float value) {
    asm("" : "+m"(value));
    return value;
}

// The two source samples for one result coordinate and the weight of the second.
struct Tap {
    int first;
    int second;
    float weight;  // 0: no blend
};

// s = (i + 0.5) * (sourceSize / resultSize) - 0.5; clamped at both ends.
Tap TapFor(int i, float ratio, int sourceSize) {
    float s = Single(Single(Single(static_cast<float>(i) + 0.5f) * ratio) - 0.5f);
    float f = std::floor(s);
    if (f < 0) return Tap{0, 0, 0.0f};
    if (f >= static_cast<float>(sourceSize - 1)) return Tap{sourceSize - 1, sourceSize - 1, 0.0f};
    int at = static_cast<int>(f);
    return Tap{at, at + 1, Single(s - f)};
}

inline float Blend(float a, float b, float weight) {
    if (weight == 0.0f) return a;  // a + (b - a) * 0 is a exactly
    return Single(a + Single(Single(b - a) * weight));
}

// The same for two channel bytes, whose difference needs no rounding.
inline float BlendBytes(int a, int b, float weight) {
    if (weight == 0.0f) return static_cast<float>(a);
    return Single(static_cast<float>(a) + Single(static_cast<float>(b - a) * weight));
}

// The integer part of a single-precision channel value, read from its bits:
// the x87 unit's own float-to-int truncation reloads the control word twice
// per conversion, which made it the slowest step of the resize.
inline Byte ChannelValue(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    int exponent = static_cast<int>((bits >> 23) & 0xff) - 127;
    if (static_cast<int32_t>(bits) < 0 || exponent < 0) return 0;  // negative, or below 1
    if (exponent > 7) return 255;                                   // 256 and above (not reached)
    return static_cast<Byte>(((bits & 0x7fffffu) | 0x800000u) >> (23 - exponent));
}

void ResizeRow(const Byte* upper, const Byte* lower, float wy, const std::vector<Tap>& columns, Byte* out) {
    for (const Tap& c : columns) {
        const Byte* a = upper + c.first * 4;
        const Byte* b = upper + c.second * 4;
        const Byte* cc = lower + c.first * 4;
        const Byte* d = lower + c.second * 4;
        for (int k = 0; k < 4; ++k) {
            float top = BlendBytes(a[k], b[k], c.weight);
            float value = top;
            if (wy != 0.0f) {
                float bottom = BlendBytes(cc[k], d[k], c.weight);
                value = Blend(top, bottom, wy);
            }
            *out++ = ChannelValue(Single(value));
        }
    }
}

}  // namespace

TPixmap* ResizePixmap(TPixmap* pixmap, int width, int height) {
    Checked(pixmap);
    TPixmap* result = TPixmap::Create(width, height, pixmap->format, 4);
    if (width == 0 || height == 0) return result;
    if (pixmap->width <= 0 || pixmap->height <= 0) {
        result->ClearPixels(0);  // nothing to sample from
        return result;
    }
    TPixmap* standard = Standard(pixmap);
    int sw = standard->width;
    int sh = standard->height;
    float ratioX = Single(static_cast<float>(sw) / static_cast<float>(width));
    float ratioY = Single(static_cast<float>(sh) / static_cast<float>(height));
    std::vector<Tap> columns(static_cast<size_t>(width));
    for (int j = 0; j < width; ++j) columns[static_cast<size_t>(j)] = TapFor(j, ratioX, sw);
    bool direct = result->format == PF_RGBA8888;
    std::vector<Byte> rowBuffer(direct ? 0 : static_cast<size_t>(width) * 4);
    for (int i = 0; i < height; ++i) {
        Tap row = TapFor(i, ratioY, sh);
        Byte* out = direct ? result->PixelPtr(0, i) : rowBuffer.data();
        ResizeRow(standard->PixelPtr(0, row.first), standard->PixelPtr(0, row.second), row.weight, columns, out);
        if (!direct) ConvertPixels(out, PF_RGBA8888, result->PixelPtr(0, i), result->format, width);
    }
    return result;
}

// ---- the loader chain ----

// Invariant: the chain is linked only through next, each loader holding a
// counted reference to the one created before it; this global holds the newest.
static Ref<TPixmapLoader> loaderChain;

TPixmapLoader::TPixmapLoader() {
    next = loaderChain;
    loaderChain = this;
}

TPixmapLoader* PixmapLoaders() { return loaderChain; }

namespace {

// A stream exception counts as the loader saying no; anything else goes on.
TPixmap* AskLoader(TPixmapLoader* loader, TStream* stream) {
    try {
        return loader->LoadPixmap(stream);
    } catch (ThrownObject& thrown) {
        if (thrown.As<TStreamException>()) return NullOf<TPixmap>();
        throw;
    }
}

}  // namespace

TPixmap* LoadPixmap(Object* url) {
    TStream* stream = ReadStream(url);
    if (IsNull(stream)) return NullOf<TPixmap>();
    StreamCloser closer(stream);
    int start = stream->Pos();
    if (start == -1) return NullOf<TPixmap>();
    for (TPixmapLoader* loader = loaderChain; !IsNull(loader); loader = loader->next) {
        stream->Seek(start);
        TPixmap* pixmap = AskLoader(loader, stream);
        if (!IsNull(pixmap)) return pixmap;
    }
    return NullOf<TPixmap>();
}

void StartPixmapModule() {
    KV_START_ONCE();
    StartRuntimeCore();
    StartStreamModule();
    RegisterClass(&TPixmap::classRecord);
    RegisterClass(&TPixmapLoader::classRecord);
}
