// Pixmaps: creation, the format table and every conversion, windows, copy
// and paste, single pixels, clearing, masking, flips, the bilinear resize
// and the loader chain.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

#include "graphics/fontdata.h"
#include "graphics/pixmap.h"
#include "graphics/png.h"
#include "runtime/exception.h"
#include "stream/ramstream.h"
#include "stream/stream.h"
#include "tests/graphics/graphics_test_support.h"
#include "tests/runtime/collect_helpers.h"

namespace {

class GraphicsModules : public ::testing::Environment {
public:
    void SetUp() override {
        StartPixmapModule();
        StartPngModule();
        StartFontDataModule();
    }
};

[[maybe_unused]] ::testing::Environment* const graphicsModules =
    ::testing::AddGlobalTestEnvironment(new GraphicsModules);

// ---- the conversion tables, written out independently of the code ----

using Rgba = std::array<unsigned char, 4>;

Rgba ExpectedStandard(int format, const unsigned char* s) {
    switch (format) {
        case PF_I8: return {s[0], s[0], s[0], 255};
        case PF_A8: return {255, 255, 255, s[0]};
        case PF_BGR888: return {s[2], s[1], s[0], 255};
        case PF_RGB888: return {s[0], s[1], s[2], 255};
        case PF_BGRA8888: return {s[2], s[1], s[0], s[3]};
        case PF_RGBA8888: return {s[0], s[1], s[2], s[3]};
        case PF_RED8: return {s[0], 0, 0, 1};
        case PF_GREEN8: return {0, s[0], 0, 1};
        case PF_BLUE8: return {0, 0, s[0], 1};
        case PF_ALPHA8: return {0, 0, 0, s[0]};
        case PF_INTENSITY8: return {s[0], s[0], s[0], s[0]};
        case PF_LUMINANCE8: return {s[0], s[0], s[0], 1};
    }
    return {0, 0, 0, 0};
}

Bytes ExpectedFromStandard(int format, Rgba c) {
    unsigned char grey = static_cast<unsigned char>((c[0] + c[1] + c[2]) / 3);
    switch (format) {
        case PF_I8: case PF_LUMINANCE8: return {grey};
        case PF_A8: case PF_ALPHA8: return {c[3]};
        case PF_BGR888: return {c[2], c[1], c[0]};
        case PF_RGB888: return {c[0], c[1], c[2]};
        case PF_BGRA8888: return {c[2], c[1], c[0], c[3]};
        case PF_RGBA8888: return {c[0], c[1], c[2], c[3]};
        case PF_RED8: return {c[0]};
        case PF_GREEN8: return {c[1]};
        case PF_BLUE8: return {c[2]};
        case PF_INTENSITY8: return {static_cast<unsigned char>((c[0] + c[1] + c[2] + c[3]) >> 2)};
    }
    return {};
}

// Distinct bytes for every channel of every pixel.
Bytes Pattern(int count) {
    Bytes b(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) b[static_cast<size_t>(i)] = static_cast<unsigned char>((i * 37 + 11) % 256);
    return b;
}

}  // namespace

// ---- creation and the format table ----

TEST(PixmapCreate, PitchFollowsTheAlignment) {
    TPixmap* p = CreatePixmap(3, 1, PF_RGB888, 4);
    EXPECT_EQ(p->pitch, 12);
    EXPECT_EQ(p->capacity, 12);
    EXPECT_EQ(CreatePixmap(3, 1, PF_RGB888, 1)->pitch, 9);
    EXPECT_EQ(CreatePixmap(5, 3, PF_I8, 8)->pitch, 8);
    EXPECT_EQ(CreatePixmap(5, 3, PF_I8, 8)->capacity, 24);
    EXPECT_EQ(CreatePixmap(4, 2, PF_RGBA8888)->pitch, 16);
    // An alignment below 1 would divide by zero: it counts as 1.
    EXPECT_EQ(CreatePixmap(3, 2, PF_RGB888, 0)->pitch, 9);
    EXPECT_EQ(CreatePixmap(3, 2, PF_RGB888, -4)->pitch, 9);
}

TEST(PixmapCreate, FieldsAndOwnership) {
    TPixmap* p = CreatePixmap(7, 5, PF_BGRA8888);
    EXPECT_EQ(PixmapWidth(p), 7);
    EXPECT_EQ(PixmapHeight(p), 5);
    EXPECT_EQ(PixmapFormat(p), PF_BGRA8888);
    EXPECT_EQ(PixmapPitch(p), 28);
    EXPECT_TRUE(IsNull(p->source));
    EXPECT_EQ(p->memory->dataSize, 140);
    EXPECT_EQ(p->pixels, p->memory->DataAs<unsigned char>());
    EXPECT_EQ(PixmapPixelPtr(p, 2, 3), p->pixels + 3 * 28 + 2 * 4);
    EXPECT_TRUE(IsA<TData>(p));

    static unsigned char outside[64];
    TPixmap* s = CreateStaticPixmap(outside, 4, 4, 16, PF_I8);
    EXPECT_EQ(s->pixels, outside);
    EXPECT_EQ(s->capacity, -1);
    EXPECT_EQ(s->pitch, 16);
    EXPECT_EQ(s->memory.get(), EmptyArray());
    EXPECT_EQ(s->PixelPtr(3, 2), outside + 35);
}

TEST(PixmapCreate, EmptyAndInvalidSizes) {
    TPixmap* empty = CreatePixmap(0, 0, PF_RGBA8888);
    EXPECT_EQ(empty->capacity, 0);
    EXPECT_EQ(BytesOf(ConvertPixmap(empty, PF_RGB888)), Bytes{});
    EXPECT_EQ(CreatePixmap(0, 5, PF_RGB888)->pitch, 0);
    // Negative sizes and sizes whose bytes overflow 32 bits would corrupt memory.
    EXPECT_THROW(CreatePixmap(-1, 4, PF_I8), ThrownObject);
    EXPECT_THROW(CreatePixmap(4, -1, PF_I8), ThrownObject);
    EXPECT_THROW(CreatePixmap(65536, 65536, PF_RGBA8888), ThrownObject);
    try {
        CreatePixmap(40000, 40000, PF_RGB888);
        ADD_FAILURE() << "no error";
    } catch (ThrownObject& thrown) {
        ASSERT_NE(thrown.As<TRuntimeException>(), nullptr);
    }
}

TEST(PixmapFormats, TableColumns) {
    const int bytes[13] = {0, 1, 1, 3, 3, 4, 4, 1, 1, 1, 1, 1, 1};
    const int alpha[13] = {0, 0, 8, 0, 0, 8, 8, 0, 0, 0, 0, 0, 0};
    for (int f = 0; f <= 12; ++f) {
        EXPECT_EQ(PixelFormatBytes(f), bytes[f]) << f;
        EXPECT_EQ(PixelFormatAlphaBits(f), alpha[f]) << f;
    }
    EXPECT_EQ(PIXEL_FORMATS[PF_RED8].redBits, 8);
    EXPECT_EQ(PIXEL_FORMATS[PF_GREEN8].greenBits, 8);
    EXPECT_EQ(PIXEL_FORMATS[PF_BLUE8].blueBits, 8);
    EXPECT_EQ(PIXEL_FORMATS[PF_BGR888].redBits + PIXEL_FORMATS[PF_BGR888].blueBits, 16);
    // Values outside the table read as the empty row instead of past its end.
    EXPECT_EQ(PixelFormatBytes(13), 0);
    EXPECT_EQ(PixelFormatBytes(-1), 0);
}

// ---- conversions ----

TEST(PixmapConvert, EveryFormatToEveryOther) {
    // 300 pixels: longer than the piece the two-step conversion works in.
    const int width = 300;
    const int height = 2;
    for (int from = 1; from <= 12; ++from) {
        int fromBytes = PixelFormatBytes(from);
        Bytes source = Pattern(width * height * fromBytes);
        TPixmap* p = PixmapOf(width, height, from, source, 1);
        for (int to = 1; to <= 12; ++to) {
            TPixmap* q = ConvertPixmap(p, to);
            ASSERT_EQ(q->format, to);
            ASSERT_EQ(q->width, width);
            ASSERT_EQ(q->pitch % 4, 0);
            Bytes expected;
            for (int i = 0; i < width * height; ++i) {
                const unsigned char* s = source.data() + i * fromBytes;
                Bytes px = from == to ? Bytes(s, s + fromBytes) : ExpectedFromStandard(to, ExpectedStandard(from, s));
                expected.insert(expected.end(), px.begin(), px.end());
            }
            ASSERT_EQ(BytesOf(q), expected) << "from " << from << " to " << to;
        }
    }
}

TEST(PixmapConvert, LiteralCases) {
    // BGR to RGB swaps bytes 0 and 2 through the standard format.
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(2, 1, PF_BGR888, {1, 2, 3, 4, 5, 6}), PF_RGB888)),
              (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_I8, {77}), PF_RGBA8888)), (Bytes{77, 77, 77, 255}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_A8, {77}), PF_RGBA8888)), (Bytes{255, 255, 255, 77}));
    // Red, green, blue and luminance come with alpha 1.
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_RED8, {90}), PF_RGBA8888)), (Bytes{90, 0, 0, 1}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_LUMINANCE8, {90}), PF_BGRA8888)), (Bytes{90, 90, 90, 1}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_RGBA8888, {10, 20, 31, 200}), PF_INTENSITY8)), (Bytes{65}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_RGBA8888, {10, 20, 31, 200}), PF_I8)), (Bytes{20}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_BGRA8888, {10, 20, 30, 40}), PF_A8)), (Bytes{40}));
    EXPECT_EQ(BytesOf(ConvertPixmap(PixmapOf(1, 1, PF_RGB888, {10, 20, 30}), PF_BLUE8)), (Bytes{30}));
}

TEST(PixmapConvert, LosslessRoundTrips) {
    const int pairs[][2] = {
        {PF_RGBA8888, PF_BGRA8888}, {PF_RGB888, PF_BGR888},  {PF_RGB888, PF_RGBA8888},
        {PF_BGR888, PF_BGRA8888},   {PF_BGR888, PF_RGB888},  {PF_I8, PF_RGB888},
        {PF_I8, PF_BGRA8888},       {PF_A8, PF_RGBA8888},    {PF_A8, PF_ALPHA8},
        {PF_ALPHA8, PF_BGRA8888},   {PF_RED8, PF_RGB888},    {PF_GREEN8, PF_BGR888},
        {PF_BLUE8, PF_RGBA8888},    {PF_INTENSITY8, PF_RGBA8888}, {PF_LUMINANCE8, PF_RGB888},
        {PF_LUMINANCE8, PF_I8},
    };
    for (const auto& pair : pairs) {
        Bytes source = Pattern(5 * 3 * PixelFormatBytes(pair[0]));
        TPixmap* p = PixmapOf(5, 3, pair[0], source);
        TPixmap* back = ConvertPixmap(ConvertPixmap(p, pair[1]), pair[0]);
        EXPECT_EQ(BytesOf(back), source) << pair[0] << " via " << pair[1];
    }
}

TEST(PixmapConvert, RowPrimitives) {
    const unsigned char bgr[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    unsigned char out[12] = {};
    ConvertPixels(bgr, PF_BGR888, out, PF_BGRA8888, 3);
    EXPECT_EQ(Bytes(out, out + 12), (Bytes{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}));
    unsigned char copy[9] = {};
    CopyPixels(bgr, copy, PF_RGB888, 2);
    EXPECT_EQ(Bytes(copy, copy + 9), (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0}));
    unsigned char untouched[4] = {9, 9, 9, 9};
    ConvertPixels(bgr, PF_RGB888, untouched, PF_I8, 0);
    EXPECT_EQ(untouched[0], 9);
}

// ---- single pixels and clearing ----

TEST(PixmapPixels, ReadPixelByFormat) {
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_I8, {0x42}), 0, 0)), 0xFF424242u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_A8, {0x42}), 0, 0)), 0x42FFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_BGR888, {1, 2, 3}), 0, 0)), 0xFF030201u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_RGB888, {1, 2, 3}), 0, 0)), 0xFF010203u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_BGRA8888, {1, 2, 3, 4}), 0, 0)), 0x04030201u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(PixmapOf(1, 1, PF_RGBA8888, {1, 2, 3, 4}), 0, 0)), 0x04010203u);
    for (int f = PF_RED8; f <= PF_LUMINANCE8; ++f) EXPECT_EQ(ReadPixel(PixmapOf(1, 1, f, {0x42}), 0, 0), 0) << f;
}

TEST(PixmapPixels, WritePixelByFormat) {
    const int argb = static_cast<int>(0x80FF0000u);
    struct Case {
        int format;
        Bytes bytes;
    } cases[] = {
        {PF_I8, {85}},           {PF_A8, {0x80}},           {PF_BGR888, {0, 0, 255}},
        {PF_RGB888, {255, 0, 0}}, {PF_BGRA8888, {0, 0, 255, 0x80}}, {PF_RGBA8888, {255, 0, 0, 0x80}},
    };
    for (const Case& c : cases) {
        TPixmap* p = PixmapOf(2, 1, c.format, Bytes(static_cast<size_t>(2 * PixelFormatBytes(c.format)), 7));
        WritePixel(p, 1, 0, argb);
        Bytes expected(static_cast<size_t>(PixelFormatBytes(c.format)), 7);
        expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(BytesOf(p), expected) << c.format;
    }
    for (int f = PF_RED8; f <= PF_LUMINANCE8; ++f) {
        TPixmap* p = PixmapOf(1, 1, f, {7});
        WritePixel(p, 0, 0, -1);
        EXPECT_EQ(BytesOf(p), Bytes{7}) << f;
    }
    // What is written reads back where the format keeps every channel.
    for (int f : {PF_BGRA8888, PF_RGBA8888}) {
        TPixmap* p = CreatePixmap(3, 3, f);
        WritePixel(p, 2, 1, 0x12345678);
        EXPECT_EQ(ReadPixel(p, 2, 1), 0x12345678);
    }
    TPixmap* rgb = CreatePixmap(3, 3, PF_BGR888);
    WritePixel(rgb, 1, 2, 0x12345678);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(rgb, 1, 2)), 0xFF345678u);
}

TEST(PixmapPixels, PointsOutsideAreNeitherReadNorWritten) {
    TPixmap* parent = PixmapOf(4, 3, PF_RGBA8888, Bytes(48, 9));
    TPixmap* window = PixmapWindow(parent, 1, 1, 2, 1);
    for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 1}, {5, 5}}) {
        WritePixel(window, x, y, 0x11223344);
        EXPECT_EQ(ReadPixel(window, x, y), 0) << x << "," << y;
    }
    EXPECT_EQ(BytesOf(parent), Bytes(48, 9));
}

TEST(PixmapClear, ZeroOnPackedAndPaddedRows) {
    TPixmap* packed = PixmapOf(4, 2, PF_RGBA8888, Pattern(32));
    ClearPixels(packed, 0);
    EXPECT_EQ(BytesOf(packed), Bytes(32, 0));

    // A window's rows are not packed: only its own pixels are zeroed.
    Bytes all = Pattern(5 * 4 * 3);
    TPixmap* parent = PixmapOf(5, 4, PF_RGB888, all);
    ClearPixels(PixmapWindow(parent, 1, 1, 3, 2), 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 5; ++x) {
            bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 2;
            for (int k = 0; k < 3; ++k) {
                unsigned char want = inside ? 0 : all[static_cast<size_t>((y * 5 + x) * 3 + k)];
                EXPECT_EQ(parent->PixelPtr(x, y)[k], want) << x << "," << y;
            }
        }
    }
    // Formats 7 to 12 are zeroed too.
    TPixmap* red = PixmapOf(3, 1, PF_RED8, {1, 2, 3});
    ClearPixels(red, 0);
    EXPECT_EQ(BytesOf(red), (Bytes{0, 0, 0}));
}

TEST(PixmapClear, ColourAsWritePixelEncodesIt) {
    const int argb = static_cast<int>(0x80112233u);
    for (int f = PF_I8; f <= PF_RGBA8888; ++f) {
        TPixmap* p = CreatePixmap(3, 2, f, 8);
        ClearPixels(p, argb);
        TPixmap* one = CreatePixmap(1, 1, f);
        WritePixel(one, 0, 0, argb);
        Bytes expected;
        for (int i = 0; i < 6; ++i) expected.insert(expected.end(), one->pixels, one->pixels + PixelFormatBytes(f));
        EXPECT_EQ(BytesOf(p), expected) << f;
    }
    TPixmap* bgr = CreatePixmap(2, 1, PF_BGR888);
    ClearPixels(bgr, 0x00A0B0C0);  // alpha 0 but not black: a colour
    EXPECT_EQ(BytesOf(bgr), (Bytes{0xC0, 0xB0, 0xA0, 0xC0, 0xB0, 0xA0}));
    for (int f = PF_RED8; f <= PF_LUMINANCE8; ++f) {
        TPixmap* p = PixmapOf(2, 1, f, {5, 6});
        ClearPixels(p, argb);
        EXPECT_EQ(BytesOf(p), (Bytes{5, 6})) << f;
    }
}

// ---- windows, copy, paste ----

TEST(PixmapWindow, SharesMemoryAndKeepsFormatAndPitch) {
    TPixmap* parent = PixmapOf(4, 4, PF_RGBA8888, Pattern(64));
    TPixmap* w = parent->Window(1, 2, 2, 2);
    EXPECT_EQ(w->width, 2);
    EXPECT_EQ(w->height, 2);
    EXPECT_EQ(w->pitch, parent->pitch);
    EXPECT_EQ(w->format, PF_RGBA8888);
    EXPECT_EQ(w->capacity, -1);
    EXPECT_EQ(w->source.get(), parent);
    EXPECT_EQ(w->pixels, parent->PixelPtr(1, 2));
    WritePixel(w, 1, 1, 0x01020304);
    EXPECT_EQ(ReadPixel(parent, 2, 3), 0x01020304);
    // A window of a window still addresses the first parent.
    TPixmap* inner = w->Window(1, 0, 1, 2);
    EXPECT_EQ(inner->pixels, parent->PixelPtr(2, 2));
    EXPECT_EQ(inner->source.get(), w);
    // Whole pixmap and empty windows at the edges are fine.
    EXPECT_EQ(parent->Window(0, 0, 4, 4)->pixels, parent->pixels);
    EXPECT_EQ(parent->Window(4, 4, 0, 0)->width, 0);
}

TEST(PixmapWindow, OutsideTheParentIsAnError) {
    TPixmap* parent = CreatePixmap(4, 3, PF_I8);
    for (auto r : {std::array{-1, 0, 2, 2}, {0, -1, 2, 2}, {3, 0, 2, 1}, {0, 2, 1, 2}, {0, 0, 5, 1}, {0, 0, -1, 1},
                   {2, 2, 0x7fffffff, 1}}) {
        EXPECT_THROW(parent->Window(r[0], r[1], r[2], r[3]), ThrownObject) << r[0] << "," << r[1];
    }
    EXPECT_THROW(PixmapWindow(NullOf<TPixmap>(), 0, 0, 1, 1), ThrownObject);
}

namespace {

// The window lives in a global slot and is made, read and dropped by
// helpers of their own, so that no pointer to it or to its parent stays
// behind in the test's frame (an argument area there would keep objects alive).
Ref<TPixmap> heldWindow;

__attribute__((noinline)) uintptr_t MakeWindowOfUnreferencedParent() {
    TPixmap* p = PixmapOf(8, 8, PF_RGBA8888, Pattern(256));
    heldWindow = p->Window(2, 2, 4, 4);
    return Hide(p);
}

__attribute__((noinline)) int RedAtWindowOrigin() { return (ReadPixel(heldWindow, 0, 0) >> 16) & 0xFF; }
__attribute__((noinline)) void DropWindow() { heldWindow = NullOf<TPixmap>(); }

__attribute__((noinline)) void MakeGarbagePixmaps() {
    for (int k = 0; k < 20; ++k) (void)CreatePixmap(8, 8, PF_RGBA8888);
}

}  // namespace

CLEAN_STACK_TEST(PixmapWindow, KeepsItsParentAlive) {
    volatile uintptr_t parent = MakeWindowOfUnreferencedParent();
    CollectFully();
    CollectFully();
    ASSERT_TRUE(IsLive(parent));
    MakeGarbagePixmaps();  // would reuse the parent's memory had it been freed
    CollectFully();
    EXPECT_EQ(RedAtWindowOrigin(), Pattern(256)[(2 * 8 + 2) * 4]);
    DropWindow();
    // The window goes first; releasing its source lets the parent go next.
    CollectFully();
    CollectFully();
    EXPECT_FALSE(IsLive(parent));
}

TEST(PixmapCopy, NewMemorySameRows) {
    Bytes source = Pattern(5 * 3 * 3);
    TPixmap* p = PixmapOf(5, 3, PF_RGB888, source, 1);
    TPixmap* c = CopyPixmap(p);
    EXPECT_NE(c->pixels, p->pixels);
    EXPECT_EQ(c->pitch, 16);  // alignment 4, whatever the source had
    EXPECT_EQ(BytesOf(c), source);
    c->PixelPtr(0, 0)[0] ^= 0xFF;
    EXPECT_EQ(BytesOf(p), source);
    // A window copies only its own rectangle.
    EXPECT_EQ(BytesOf(CopyPixmap(p->Window(1, 1, 2, 1))), Bytes(source.begin() + 18, source.begin() + 24));
}

TEST(PixmapPaste, ConvertsIntoPlace) {
    TPixmap* target = PixmapOf(4, 3, PF_RGBA8888, Bytes(48, 0));
    target->Paste(PixmapOf(2, 2, PF_BGR888, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), 1, 1);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(target, 1, 1)), 0xFF030201u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(target, 2, 1)), 0xFF060504u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(target, 1, 2)), 0xFF090807u);
    EXPECT_EQ(static_cast<uint32_t>(ReadPixel(target, 2, 2)), 0xFF0C0B0Au);
    EXPECT_EQ(ReadPixel(target, 0, 1), 0);
    EXPECT_EQ(ReadPixel(target, 3, 2), 0);
    EXPECT_EQ(ReadPixel(target, 1, 0), 0);
}

TEST(PixmapPaste, ClipsAtEveryEdge) {
    // A 3x3 source with grey levels 1..9 pasted at each position around a 4x4 target.
    TPixmap* source = PixmapOf(3, 3, PF_I8, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    for (int y = -4; y <= 5; ++y) {
        for (int x = -4; x <= 5; ++x) {
            TPixmap* target = PixmapOf(4, 4, PF_I8, Bytes(16, 0));
            target->Paste(source, x, y);
            for (int ty = 0; ty < 4; ++ty) {
                for (int tx = 0; tx < 4; ++tx) {
                    int sx = tx - x;
                    int sy = ty - y;
                    int want = sx >= 0 && sx < 3 && sy >= 0 && sy < 3 ? 1 + sy * 3 + sx : 0;
                    ASSERT_EQ(target->PixelPtr(tx, ty)[0], want) << "paste at " << x << "," << y;
                }
            }
        }
    }
    // Far outside and extreme offsets change nothing and do not overflow.
    TPixmap* target = PixmapOf(4, 4, PF_I8, Bytes(16, 0));
    target->Paste(source, 0x7ffffff0, 0);
    target->Paste(source, -0x7ffffff0, 0);
    target->Paste(source, 0, 0x7fffffff);
    EXPECT_EQ(BytesOf(target), Bytes(16, 0));
}

TEST(PixmapPaste, OntoItselfMovingDownAndUp) {
    Bytes rows = {1, 1, 2, 2, 3, 3, 4, 4};
    TPixmap* p = PixmapOf(2, 4, PF_I8, rows);
    p->Paste(p->Window(0, 0, 2, 3), 0, 1);  // rows 0..2 one down
    EXPECT_EQ(BytesOf(p), (Bytes{1, 1, 1, 1, 2, 2, 3, 3}));
    TPixmap* q = PixmapOf(2, 4, PF_I8, rows);
    q->Paste(q->Window(0, 1, 2, 3), 0, 0);  // rows 1..3 one up
    EXPECT_EQ(BytesOf(q), (Bytes{2, 2, 3, 3, 4, 4, 4, 4}));
    TPixmap* r = PixmapOf(4, 1, PF_I8, {1, 2, 3, 4});
    r->Paste(r->Window(0, 0, 3, 1), 1, 0);  // within one row, to the right
    EXPECT_EQ(BytesOf(r), (Bytes{1, 1, 2, 3}));
}

// ---- masking ----

TEST(PixmapMask, EntirelyKeyGivesAllZero) {
    Bytes magenta;
    for (int i = 0; i < 12; ++i) magenta.insert(magenta.end(), {255, 0, 255});
    TPixmap* m = MaskPixmap(PixmapOf(4, 3, PF_RGB888, magenta), 255, 0, 255);
    EXPECT_EQ(m->format, PF_RGBA8888);
    EXPECT_EQ(BytesOf(m), Bytes(48, 0));
}

TEST(PixmapMask, KeyPixelsTakeTheAverageOfTheirOtherNeighbours) {
    // Key colour K = (0, 0, 0); RGBA source with alpha that must be discarded.
    //   (10,20,30)  K          (40,50,60)
    //   K           K          (70,80,91)
    const Bytes source = {10, 20, 30, 5,  0, 0, 0, 9,  40, 50, 60, 200,
                          0, 0, 0, 255,   0, 0, 0, 0,  70, 80, 91, 0};
    TPixmap* m = MaskPixmap(PixmapOf(3, 2, PF_RGBA8888, source), 0, 0, 0);
    // (1,0) sees (0,0), (2,0), (2,1): (120/3, 150/3, 181/3).
    // (0,1) sees (0,0) only. (1,1) sees the same three as (1,0).
    const Bytes expected = {10, 20, 30, 255, 40, 50, 60, 0,  40, 50, 60, 255,
                            10, 20, 30, 0,   40, 50, 60, 0,  70, 80, 91, 255};
    EXPECT_EQ(BytesOf(m), expected);
    // The source is unchanged and a new pixmap is made even from the standard format.
    EXPECT_EQ(BytesOf(PixmapOf(3, 2, PF_RGBA8888, source)), source);
}

TEST(PixmapMask, NeighbourhoodIsClippedAndOnlyExactMatchesAreKeys) {
    // A key pixel in a corner of a BGR pixmap with one near-key neighbour.
    const Bytes bgr = {255, 0, 255,  255, 0, 254,   // (0,0) key, (1,0) almost
                       0, 0, 0,      3, 3, 3};
    TPixmap* m = MaskPixmap(PixmapOf(2, 2, PF_BGR888, bgr), 255, 0, 255);
    // In RGB: (0,0) is (255,0,255) = key; (1,0) is (254,0,255); (0,1) black; (1,1) (3,3,3).
    const Bytes expected = {(254 + 0 + 3) / 3, (0 + 0 + 3) / 3, (255 + 0 + 3) / 3, 0,  254, 0, 255, 255,
                            0, 0, 0, 255,                             3, 3, 3, 255};
    EXPECT_EQ(BytesOf(m), expected);
}

// ---- flips ----

TEST(PixmapFlip, XAndY) {
    const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9,  //
                       10, 11, 12, 13, 14, 15, 16, 17, 18};
    TPixmap* p = PixmapOf(3, 2, PF_RGB888, rgb);
    TPixmap* x = XFlipPixmap(p);
    EXPECT_EQ(x->format, PF_RGB888);
    EXPECT_EQ(x->pitch, 12);
    EXPECT_EQ(BytesOf(x), (Bytes{7, 8, 9, 4, 5, 6, 1, 2, 3, 16, 17, 18, 13, 14, 15, 10, 11, 12}));
    EXPECT_EQ(BytesOf(YFlipPixmap(p)), (Bytes{10, 11, 12, 13, 14, 15, 16, 17, 18, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(BytesOf(XFlipPixmap(XFlipPixmap(p))), rgb);
    EXPECT_EQ(BytesOf(YFlipPixmap(YFlipPixmap(p))), rgb);
    EXPECT_EQ(BytesOf(p), rgb);
    EXPECT_EQ(BytesOf(XFlipPixmap(PixmapOf(1, 1, PF_I8, {5}))), Bytes{5});
    EXPECT_EQ(BytesOf(YFlipPixmap(p->Window(1, 0, 2, 2))), (Bytes{13, 14, 15, 16, 17, 18, 4, 5, 6, 7, 8, 9}));
}

// ---- resize ----

TEST(PixmapResize, SameSizeIsANewPixmapWithTheSamePixels) {
    Bytes source = Pattern(5 * 4 * 4);
    TPixmap* p = PixmapOf(5, 4, PF_RGBA8888, source);
    TPixmap* r = ResizePixmap(p, 5, 4);
    EXPECT_NE(r, p);
    EXPECT_NE(r->pixels, p->pixels);
    EXPECT_EQ(BytesOf(r), source);
    Bytes grey = Pattern(7 * 3);
    EXPECT_EQ(BytesOf(ResizePixmap(PixmapOf(7, 3, PF_I8, grey), 7, 3)), grey);
}

TEST(PixmapResize, WidenOneRow) {
    // Columns sample at -0.25 (clamped), 0.25, 0.75 and 1.25 (clamped).
    TPixmap* p = PixmapOf(2, 1, PF_RGBA8888, {0, 100, 200, 255, 255, 0, 100, 55});
    EXPECT_EQ(BytesOf(ResizePixmap(p, 4, 1)),
              (Bytes{0, 100, 200, 255, 63, 75, 175, 205, 191, 25, 125, 105, 255, 0, 100, 55}));
}

TEST(PixmapResize, TwoByTwoToThreeByThree) {
    // Weights 0.5 in the middle row and column; the corners are the source's.
    TPixmap* r = ResizePixmap(PixmapOf(2, 2, PF_I8, {0, 100, 200, 50}), 3, 3);
    EXPECT_EQ(r->format, PF_I8);
    EXPECT_EQ(BytesOf(r), (Bytes{0, 50, 100,  //
                                 100, 87, 75,  //
                                 200, 125, 50}));
}

TEST(PixmapResize, HalveAveragesBlocksAndTruncates) {
    // Every result pixel samples the centre of a 2x2 block: (a+b)/2, (c+d)/2, then their mean.
    TPixmap* p = PixmapOf(4, 2, PF_I8, {1, 2, 10, 10,  //
                                        3, 4, 20, 31});
    EXPECT_EQ(BytesOf(ResizePixmap(p, 2, 1)), (Bytes{2, 17}));
}

TEST(PixmapResize, WeightsAreSinglePrecision) {
    // Two samples stretched to nine: every position, weight and blend is
    // rounded to single precision. Kept in extended precision (the x87
    // unit's habit) columns 5 and 6 would come out as 12 and 16 instead.
    const Bytes stretched = {0, 0, 1, 5, 9, 13, 17, 18, 18};
    EXPECT_EQ(BytesOf(ResizePixmap(PixmapOf(2, 1, PF_I8, {0, 18}), 9, 1)), stretched);
    EXPECT_EQ(BytesOf(ResizePixmap(PixmapOf(1, 2, PF_I8, {0, 18}), 1, 9)), stretched);
    // Column 3 of 5 samples 0.9 of the way from 0 to 10: 10 * 0.9f rounds to 9.
    EXPECT_EQ(BytesOf(ResizePixmap(PixmapOf(2, 1, PF_I8, {0, 10}), 5, 1)), (Bytes{0, 1, 5, 9, 10}));
}

TEST(PixmapResize, KeepsTheSourceFormatAndHandlesEmptySizes) {
    TPixmap* r = ResizePixmap(PixmapOf(1, 1, PF_BGR888, {1, 2, 3}), 3, 2);
    EXPECT_EQ(r->format, PF_BGR888);
    EXPECT_EQ(r->pitch, 12);
    EXPECT_EQ(BytesOf(r), (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(ResizePixmap(r, 0, 0)->capacity, 0);
    EXPECT_EQ(BytesOf(ResizePixmap(CreatePixmap(0, 0, PF_RGBA8888), 2, 1)), Bytes(8, 0));
    // RGB888 goes through the standard format and back: lossless.
    Bytes rgb = Pattern(4 * 4 * 3);
    EXPECT_EQ(BytesOf(ResizePixmap(PixmapOf(4, 4, PF_RGB888, rgb), 4, 4)), rgb);
}

// ---- the loader chain ----

namespace {

// Test loaders stay in the chain for the rest of the program: they only act
// while a test arms them, and say no otherwise without touching the stream.
int armed;
int calls;
int positionSeen[4];

class TSkippingLoader : public TPixmapLoader {
    KV_CLASS(TSkippingLoader, TPixmapLoader)
public:
    int id = 0;
    int mode = 0;  // 0: read 3 bytes and say no, 1: throw a stream error, 2: throw a runtime error, 3: accept
    TPixmap* LoadPixmap(TStream* stream) override {
        if (!armed) return NullOf<TPixmap>();
        positionSeen[id] = stream->Pos();
        ++calls;
        switch (mode) {
            case 0: {
                char scratch[3];
                stream->Read(scratch, 3);
                return NullOf<TPixmap>();
            }
            case 1: Throw(new TStreamReadException());
            case 2: RuntimeError("loader failed");
            default: return CreatePixmap(1, 1, PF_I8);
        }
    }
};
KV_DEFINE_CLASS(TSkippingLoader, TPixmapLoader);

// "probe::" streams over one buffer; they count their closes and can refuse to tell their position.
int closes;
bool unseekable;
unsigned char probeBytes[32];

class TProbeStream : public TRamStream {
    KV_CLASS(TProbeStream, TRamStream)
public:
    int Pos() override { return unseekable ? -1 : TRamStream::Pos(); }
    int Close() override {
        ++closes;
        return 0;
    }
};
KV_DEFINE_CLASS(TProbeStream, TRamStream);

class TProbeFactory : public TStreamFactory {
    KV_CLASS(TProbeFactory, TStreamFactory)
public:
    TStream* CreateStream(Object*, String* protocol, String*, int readable, int) override {
        if (!Equals(protocol, u"probe"_s) || !readable) return NullOf<TStream>();
        TProbeStream* s = new TProbeStream();
        s->buffer = probeBytes;
        s->size = sizeof probeBytes;
        s->readable = 1;
        s->pos = 5;  // loaders must start where the stream was when it was opened
        return s;
    }
};
KV_DEFINE_CLASS(TProbeFactory, TStreamFactory);

Ref<TSkippingLoader> older;
Ref<TSkippingLoader> newer;

void MakeTestLoaders() {
    static bool made = false;
    if (made) return;
    made = true;
    new TProbeFactory();
    older = new TSkippingLoader();
    older->id = 1;
    newer = new TSkippingLoader();
    newer->id = 2;
}

struct Armed {
    Armed(int olderMode, int newerMode) {
        MakeTestLoaders();
        older->mode = olderMode;
        newer->mode = newerMode;
        armed = 1;
        calls = 0;
        closes = 0;
        unseekable = false;
        std::memset(positionSeen, -1, sizeof positionSeen);
    }
    ~Armed() { armed = 0; }
};

}  // namespace

TEST(PixmapLoaders, NewestFirstEachFromTheStartPosition) {
    Armed a(3, 0);
    EXPECT_EQ(PixmapLoaders(), newer.get());
    EXPECT_EQ(newer->next.get(), older.get());
    TPixmap* p = LoadPixmap(u"probe::x"_s);
    ASSERT_FALSE(IsNull(p));
    EXPECT_EQ(p->width, 1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(positionSeen[2], 5);
    EXPECT_EQ(positionSeen[1], 5);  // sought back after the newer loader read
    EXPECT_EQ(closes, 1);
}

TEST(PixmapLoaders, StreamErrorCountsAsNoOtherErrorsPropagate) {
    {
        Armed a(3, 1);
        EXPECT_FALSE(IsNull(LoadPixmap(u"probe::x"_s)));
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(closes, 1);
    }
    {
        Armed a(3, 2);
        try {
            LoadPixmap(u"probe::x"_s);
            ADD_FAILURE() << "no error";
        } catch (ThrownObject& thrown) {
            ASSERT_NE(thrown.As<TRuntimeException>(), nullptr);
        }
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(closes, 1);  // closed on the way out too
    }
}

TEST(PixmapLoaders, NoLoaderSucceedsOrNoStream) {
    Armed a(0, 0);
    EXPECT_TRUE(IsNull(LoadPixmap(u"probe::x"_s)));
    EXPECT_GE(calls, 2);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(IsNull(LoadPixmap(u"nosuchprotocol::x"_s)));
    EXPECT_TRUE(IsNull(LoadPixmap(NullObject())));
}

TEST(PixmapLoaders, UnseekableStreamIsClosedWithoutAskingAnyLoader) {
    Armed a(3, 3);
    unseekable = true;
    EXPECT_TRUE(IsNull(LoadPixmap(u"probe::x"_s)));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(closes, 1);
}
