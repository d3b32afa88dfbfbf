// PNG loading and saving. The test images are made here with libpng itself,
// for every colour type, bit depth, transparency and interlacing; damaged
// and hostile files are made from valid ones or chunk by chunk.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "graphics/png.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "stream/ramstream.h"
#include "stream/stream.h"
#include "tests/graphics/graphics_test_support.h"

namespace {

// ---- making PNG files with libpng ----

struct PngRecipe {
    int width = 1;
    int height = 1;
    int colorType = PNG_COLOR_TYPE_GRAY;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS of a palette image
    bool transparentColour = false;      // tRNS of a grey or RGB image
    png_color_16 transparent{};
    std::vector<Bytes> rows;             // packed as in the file (16-bit big-endian)
};

int Channels(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY: case PNG_COLOR_TYPE_PALETTE: return 1;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        default: return 4;
    }
}

void AppendBytes(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

// The setjmp frame holds nothing with a destructor.
bool EncodeInto(const PngRecipe* recipe, png_bytepp rows, std::string* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendBytes, nullptr);
    png_set_IHDR(png, info, recipe->width, recipe->height, recipe->bitDepth, recipe->colorType,
                 recipe->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!recipe->palette.empty()) png_set_PLTE(png, info, recipe->palette.data(), static_cast<int>(recipe->palette.size()));
    if (!recipe->paletteAlpha.empty()) {
        png_set_tRNS(png, info, recipe->paletteAlpha.data(), static_cast<int>(recipe->paletteAlpha.size()), nullptr);
    }
    if (recipe->transparentColour) png_set_tRNS(png, info, nullptr, 0, &recipe->transparent);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string Encode(const PngRecipe& recipe) {
    std::vector<png_bytep> rows;
    std::vector<Bytes> copy = recipe.rows;
    for (Bytes& r : copy) rows.push_back(r.data());
    std::string out;
    EXPECT_TRUE(EncodeInto(&recipe, rows.data(), &out));
    return out;
}

// Sample values of a test image, each in 0 .. 2^depth - 1.
int SampleAt(int x, int y, int channel, int depth) {
    unsigned v = static_cast<unsigned>(x * 7919 + y * 104729 + channel * 31337 + x * y * 17);
    return static_cast<int>((v ^ (v >> 7)) & ((1u << depth) - 1));
}

// Packs samples into file rows: most significant bits first below 8 bits,
// big-endian at 16.
void PackRows(PngRecipe& recipe, int channels, int (*sample)(int x, int y, int c, int depth)) {
    recipe.rows.clear();
    for (int y = 0; y < recipe.height; ++y) {
        Bytes row;
        int bits = 0;
        unsigned acc = 0;
        for (int x = 0; x < recipe.width; ++x) {
            for (int c = 0; c < channels; ++c) {
                int v = sample(x, y, c, recipe.bitDepth);
                if (recipe.bitDepth == 16) {
                    row.push_back(static_cast<unsigned char>(v >> 8));
                    row.push_back(static_cast<unsigned char>(v));
                } else if (recipe.bitDepth == 8) {
                    row.push_back(static_cast<unsigned char>(v));
                } else {
                    acc = acc << recipe.bitDepth | static_cast<unsigned>(v);
                    bits += recipe.bitDepth;
                    if (bits == 8) row.push_back(static_cast<unsigned char>(acc)), acc = 0, bits = 0;
                }
            }
        }
        if (bits) row.push_back(static_cast<unsigned char>(acc << (8 - bits)));
        recipe.rows.push_back(row);
    }
}

// A sample as the decoder gives it: scaled up to 8 bits, or 16 bits cut to the high byte.
int To8(int v, int depth) {
    switch (depth) {
        case 1: return v * 255;
        case 2: return v * 85;
        case 4: return v * 17;
        case 16: return v >> 8;
        default: return v;
    }
}

struct Expected {
    int format = 0;
    Bytes bytes;
};

// What decoding the image must give, worked out from its samples.
Expected ExpectedPixels(const PngRecipe& recipe) {
    Expected e;
    bool alpha = recipe.colorType & PNG_COLOR_MASK_ALPHA || recipe.transparentColour || !recipe.paletteAlpha.empty();
    bool grey = !(recipe.colorType & PNG_COLOR_MASK_COLOR);
    e.format = alpha ? PF_RGBA8888 : grey ? PF_I8 : PF_RGB888;
    int d = recipe.bitDepth;
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            int r, g, b, a = 255;
            if (recipe.colorType == PNG_COLOR_TYPE_PALETTE) {
                int i = SampleAt(x, y, 0, d) % static_cast<int>(recipe.palette.size());
                r = recipe.palette[static_cast<size_t>(i)].red;
                g = recipe.palette[static_cast<size_t>(i)].green;
                b = recipe.palette[static_cast<size_t>(i)].blue;
                if (static_cast<size_t>(i) < recipe.paletteAlpha.size()) a = recipe.paletteAlpha[static_cast<size_t>(i)];
            } else if (grey) {
                int v = SampleAt(x, y, 0, d);
                r = g = b = To8(v, d);
                if (recipe.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) a = To8(SampleAt(x, y, 1, d), d);
                if (recipe.transparentColour && v == recipe.transparent.gray) a = 0;
            } else {
                int s[3] = {SampleAt(x, y, 0, d), SampleAt(x, y, 1, d), SampleAt(x, y, 2, d)};
                r = To8(s[0], d), g = To8(s[1], d), b = To8(s[2], d);
                if (recipe.colorType == PNG_COLOR_TYPE_RGB_ALPHA) a = To8(SampleAt(x, y, 3, d), d);
                if (recipe.transparentColour && s[0] == recipe.transparent.red && s[1] == recipe.transparent.green &&
                    s[2] == recipe.transparent.blue) {
                    a = 0;
                }
            }
            Bytes px = e.format == PF_I8 ? Bytes{static_cast<unsigned char>(r)}
                       : e.format == PF_RGB888
                           ? Bytes{static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b)}
                           : Bytes{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                                   static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
            e.bytes.insert(e.bytes.end(), px.begin(), px.end());
        }
    }
    return e;
}

int PaletteSample(int x, int y, int, int depth) {
    // Indices stay below the palette size of 2^depth (at most 200 entries at 8 bits).
    return SampleAt(x, y, 0, depth) % (depth == 8 ? 200 : 1 << depth);
}

PngRecipe Image(int colorType, int depth, int width = 13, int height = 7, bool interlaced = false) {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = colorType;
    recipe.bitDepth = depth;
    recipe.interlaced = interlaced;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        int entries = depth == 8 ? 200 : 1 << depth;
        for (int i = 0; i < entries; ++i) {
            recipe.palette.push_back(png_color{static_cast<png_byte>(i * 3 + 1), static_cast<png_byte>(255 - i),
                                             static_cast<png_byte>(i * 7 + 40)});
        }
        PackRows(recipe, 1, PaletteSample);
    } else {
        PackRows(recipe, Channels(colorType), SampleAt);
    }
    return recipe;
}

// ---- streams the tests read from ----

// "pngtest::" gives a RAM stream over the bytes set here and counts closes.
std::string pngTestBytes;
int pngTestCloses;

class TCountingRamStream : public TRamStream {
    KV_CLASS(TCountingRamStream, TRamStream)
public:
    int Close() override {
        ++pngTestCloses;
        return 0;
    }
};
KV_DEFINE_CLASS(TCountingRamStream, TRamStream);

class TPngTestFactory : public TStreamFactory {
    KV_CLASS(TPngTestFactory, TStreamFactory)
public:
    TStream* CreateStream(Object*, String* protocol, String*, int readable, int) override {
        if (!Equals(protocol, u"pngtest"_s) || !readable) return NullOf<TStream>();
        TCountingRamStream* s = new TCountingRamStream();
        s->buffer = reinterpret_cast<unsigned char*>(pngTestBytes.data());
        s->size = static_cast<int>(pngTestBytes.size());
        s->readable = 1;
        return s;
    }
};
KV_DEFINE_CLASS(TPngTestFactory, TStreamFactory);

void StartTestFactory() {
    StartPngModule();
    static bool made = false;
    if (!made) new TPngTestFactory();
    made = true;
}

// Loads through the counting stream; checks it was closed exactly once.
TPixmap* LoadCounted(const std::string& bytes) {
    StartTestFactory();
    pngTestBytes = bytes;
    pngTestCloses = 0;
    TPixmap* p = LoadPixmapPNG(u"pngtest::image.png"_s);
    EXPECT_EQ(pngTestCloses, 1);
    return p;
}

// Bytes kept for the whole run, for the resource registry.
const std::string& Keep(const std::string& bytes) {
    static std::deque<std::string> kept;
    kept.push_back(bytes);
    return kept.back();
}

void ExpectDecodes(const PngRecipe& recipe, const char* what) {
    SCOPED_TRACE(what);
    std::string file = Encode(recipe);
    Expected want = ExpectedPixels(recipe);

    // From a file.
    ScratchFolder folder;
    folder.Put("image.png", file);
    TPixmap* p = LoadPixmapPNG(folder.Path("image.png"));
    ASSERT_FALSE(IsNull(p));
    EXPECT_EQ(p->width, recipe.width);
    EXPECT_EQ(p->height, recipe.height);
    EXPECT_EQ(p->format, want.format);
    EXPECT_EQ(p->pitch % 4, 0);
    EXPECT_EQ(BytesOf(p), want.bytes);
    EXPECT_TRUE(folder.DeleteClosed("image.png"));

    // From a RAM stream, through the loader chain.
    static int counter;
    std::string name = "png-test-" + std::to_string(++counter) + ".png";
    const std::string& kept = Keep(file);
    IncbinAdd(S(name.c_str()), kept.data(), static_cast<int>(kept.size()));
    TPixmap* q = LoadPixmap(Concat(u"incbin::"_s, S(name.c_str())));
    ASSERT_FALSE(IsNull(q));
    EXPECT_EQ(q->format, want.format);
    EXPECT_EQ(BytesOf(q), want.bytes);

    // From a stream object, which stays open for its owner.
    std::string buffer = file;
    TRamStream* ram = CreateRamStream(buffer.data(), static_cast<int>(buffer.size()), 1, 0);
    TPixmap* r = LoadPixmapPNG(ram);
    ASSERT_FALSE(IsNull(r));
    EXPECT_EQ(BytesOf(r), want.bytes);
    EXPECT_EQ(ram->Pos(), static_cast<int>(buffer.size()));
}

// ---- chunk-level files for the hostile cases ----

std::string Be32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string Chunk(const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Be32(static_cast<uint32_t>(data.size())) + body + Be32(static_cast<uint32_t>(crc));
}

const std::string kSignature = "\x89PNG\r\n\x1a\n";

std::string Header(uint32_t width, uint32_t height, int depth, int colorType) {
    return Chunk("IHDR", Be32(width) + Be32(height) + std::string{static_cast<char>(depth),
                                                                  static_cast<char>(colorType), 0, 0, 0});
}

std::string Deflate(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

// Offset of the first chunk of that type (its length field).
size_t FindChunk(const std::string& file, const char* type) {
    size_t at = file.find(std::string(type, 4));
    return at == std::string::npos ? at : at - 4;
}

}  // namespace

// ---- every kind of image ----

TEST(PngLoad, GreyAtEveryDepth) {
    for (int depth : {1, 2, 4, 8, 16}) {
        ExpectDecodes(Image(PNG_COLOR_TYPE_GRAY, depth), ("grey " + std::to_string(depth)).c_str());
    }
}

TEST(PngLoad, GreyWithTransparentLevelBecomesRgba) {
    for (int depth : {2, 8, 16}) {
        PngRecipe recipe = Image(PNG_COLOR_TYPE_GRAY, depth);
        recipe.transparentColour = true;
        recipe.transparent.gray = static_cast<png_uint_16>(SampleAt(1, 1, 0, depth));
        ExpectDecodes(recipe, ("grey tRNS " + std::to_string(depth)).c_str());
    }
}

TEST(PngLoad, GreyAlphaGivesGreyInEveryColourChannel) {
    for (int depth : {8, 16}) {
        ExpectDecodes(Image(PNG_COLOR_TYPE_GRAY_ALPHA, depth), ("grey+alpha " + std::to_string(depth)).c_str());
    }
    // Opaque grey stays opaque and keeps its level in R, G and B.
    PngRecipe recipe;
    recipe.width = 2;
    recipe.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
    recipe.rows = {{90, 255, 10, 128}};
    TPixmap* p = LoadCounted(Encode(recipe));
    ASSERT_FALSE(IsNull(p));
    EXPECT_EQ(p->format, PF_RGBA8888);
    EXPECT_EQ(BytesOf(p), (Bytes{90, 90, 90, 255, 10, 10, 10, 128}));
}

TEST(PngLoad, PaletteWithoutTransparencyIsRgb) {
    for (int depth : {1, 2, 4, 8}) {
        ExpectDecodes(Image(PNG_COLOR_TYPE_PALETTE, depth), ("palette " + std::to_string(depth)).c_str());
    }
}

TEST(PngLoad, PaletteWithTransparencyIsRgba) {
    for (int depth : {1, 2, 4, 8}) {
        PngRecipe recipe = Image(PNG_COLOR_TYPE_PALETTE, depth);
        // Fewer alpha entries than colours: the rest are opaque.
        int entries = std::max(1, static_cast<int>(recipe.palette.size()) - 1);
        for (int i = 0; i < entries; ++i) recipe.paletteAlpha.push_back(static_cast<png_byte>(i * 37 % 256));
        ExpectDecodes(recipe, ("palette tRNS " + std::to_string(depth)).c_str());
    }
}

TEST(PngLoad, RgbAndRgba) {
    for (int depth : {8, 16}) {
        ExpectDecodes(Image(PNG_COLOR_TYPE_RGB, depth), ("rgb " + std::to_string(depth)).c_str());
        ExpectDecodes(Image(PNG_COLOR_TYPE_RGB_ALPHA, depth), ("rgba " + std::to_string(depth)).c_str());
    }
    PngRecipe recipe = Image(PNG_COLOR_TYPE_RGB, 8);
    recipe.transparentColour = true;
    recipe.transparent.red = static_cast<png_uint_16>(SampleAt(2, 3, 0, 8));
    recipe.transparent.green = static_cast<png_uint_16>(SampleAt(2, 3, 1, 8));
    recipe.transparent.blue = static_cast<png_uint_16>(SampleAt(2, 3, 2, 8));
    ExpectDecodes(recipe, "rgb tRNS");
}

TEST(PngLoad, Interlaced) {
    ExpectDecodes(Image(PNG_COLOR_TYPE_GRAY, 1, 13, 11, true), "interlaced grey 1");
    ExpectDecodes(Image(PNG_COLOR_TYPE_PALETTE, 4, 9, 10, true), "interlaced palette 4");
    ExpectDecodes(Image(PNG_COLOR_TYPE_RGB_ALPHA, 16, 17, 9, true), "interlaced rgba 16");
    ExpectDecodes(Image(PNG_COLOR_TYPE_GRAY_ALPHA, 8, 3, 2, true), "interlaced grey+alpha, fewer than 7 passes");
    ExpectDecodes(Image(PNG_COLOR_TYPE_RGB, 8, 1, 1, true), "interlaced 1x1");
}

TEST(PngLoad, SidesUpToTheLimit) {
    std::string raw(1 + kMaxPngSide, '\0');
    for (int x = 0; x < kMaxPngSide; ++x) raw[static_cast<size_t>(1 + x)] = static_cast<char>(x);
    std::string file = kSignature + Header(kMaxPngSide, 1, 8, 0) + Chunk("IDAT", Deflate(raw)) + Chunk("IEND", "");
    TPixmap* p = LoadCounted(file);
    ASSERT_FALSE(IsNull(p));
    EXPECT_EQ(p->width, kMaxPngSide);
    EXPECT_EQ(p->PixelPtr(300, 0)[0], 300 % 256);
    std::string wider = kSignature + Header(kMaxPngSide + 1, 1, 8, 0) +
                        Chunk("IDAT", Deflate(std::string(2 + kMaxPngSide, '\0'))) + Chunk("IEND", "");
    EXPECT_TRUE(IsNull(LoadCounted(wider)));
}

// ---- damaged and hostile input ----

TEST(PngBadInput, ShortOrNoSignature) {
    std::string good = Encode(Image(PNG_COLOR_TYPE_RGB, 8, 4, 4));
    EXPECT_TRUE(IsNull(LoadCounted("")));
    EXPECT_TRUE(IsNull(LoadCounted(good.substr(0, 5))));
    EXPECT_TRUE(IsNull(LoadCounted(good.substr(0, 7))));
    EXPECT_TRUE(IsNull(LoadCounted("GIF89a not a png at all")));
    std::string wrong = good;
    wrong[1] = 'Q';
    EXPECT_TRUE(IsNull(LoadCounted(wrong)));
    ScratchFolder folder;
    folder.Put("text.png", "just some text, long enough to read a signature from");
    EXPECT_TRUE(IsNull(LoadPixmapPNG(folder.Path("text.png"))));
    EXPECT_TRUE(folder.DeleteClosed("text.png"));
    EXPECT_TRUE(IsNull(LoadPixmapPNG(folder.Path("missing.png"))));
}

TEST(PngBadInput, SignatureFollowedByGarbage) {
    std::string garbage;
    for (int i = 0; i < 300; ++i) garbage.push_back(static_cast<char>(i * 131 + 7));
    EXPECT_TRUE(IsNull(LoadCounted(kSignature + garbage)));
    EXPECT_TRUE(IsNull(LoadCounted(kSignature)));
    ScratchFolder folder;
    folder.Put("garbage.png", kSignature + garbage);
    EXPECT_TRUE(IsNull(LoadPixmap(folder.Path("garbage.png"))));
    EXPECT_TRUE(folder.DeleteClosed("garbage.png"));
}

TEST(PngBadInput, TruncatedAnywhere) {
    std::string good = Encode(Image(PNG_COLOR_TYPE_RGB_ALPHA, 8, 9, 5, true));
    ASSERT_FALSE(IsNull(LoadCounted(good)));
    int step = Stressed() ? 7 : 1;
    for (size_t cut = 8; cut < good.size(); cut += static_cast<size_t>(step)) {
        ASSERT_TRUE(IsNull(LoadCounted(good.substr(0, cut)))) << "cut at " << cut << " of " << good.size();
    }
    // A file cut inside its image data, read from disk.
    ScratchFolder folder;
    size_t idat = FindChunk(good, "IDAT");
    folder.Put("cut.png", good.substr(0, idat + 8 + 10));
    EXPECT_TRUE(IsNull(LoadPixmapPNG(folder.Path("cut.png"))));
    EXPECT_TRUE(folder.DeleteClosed("cut.png"));
}

TEST(PngBadInput, BadChecksumsOfCriticalChunks) {
    std::string good = Encode(Image(PNG_COLOR_TYPE_RGB, 8, 6, 6));
    for (const char* type : {"IHDR", "IDAT", "IEND"}) {
        std::string bad = good;
        size_t at = FindChunk(bad, type);
        ASSERT_NE(at, std::string::npos);
        uint32_t length = static_cast<uint32_t>(static_cast<unsigned char>(bad[at]) << 24 |
                                                static_cast<unsigned char>(bad[at + 1]) << 16 |
                                                static_cast<unsigned char>(bad[at + 2]) << 8 |
                                                static_cast<unsigned char>(bad[at + 3]));
        bad[at + 8 + length] ^= 0x55;  // first byte of the CRC
        EXPECT_TRUE(IsNull(LoadCounted(bad))) << type;
    }
}

TEST(PngBadInput, DamagedAncillaryChunkIsSkipped) {
    std::string good = Encode(Image(PNG_COLOR_TYPE_GRAY, 8, 5, 3));
    size_t idat = FindChunk(good, "IDAT");
    std::string text = Chunk("tEXt", std::string("Comment\0hello", 13));
    text[text.size() - 1] ^= 0x01;
    std::string withText = good.substr(0, idat) + text + good.substr(idat);
    TPixmap* p = LoadCounted(withText);
    ASSERT_FALSE(IsNull(p));
    EXPECT_EQ(BytesOf(p), ExpectedPixels(Image(PNG_COLOR_TYPE_GRAY, 8, 5, 3)).bytes);
}

TEST(PngBadInput, CorruptImageData) {
    std::string raw;
    for (int y = 0; y < 4; ++y) raw += std::string(1, '\0') + std::string(12, static_cast<char>(y));
    std::string compressed = Deflate(raw);
    std::string corrupt = compressed;
    for (size_t i = 2; i < corrupt.size(); ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0xA5);
    std::string head = kSignature + Header(4, 4, 8, 2);
    ASSERT_FALSE(IsNull(LoadCounted(head + Chunk("IDAT", compressed) + Chunk("IEND", ""))));
    EXPECT_TRUE(IsNull(LoadCounted(head + Chunk("IDAT", corrupt) + Chunk("IEND", ""))));
    // Too little data for the rows, with valid checksums everywhere.
    EXPECT_TRUE(IsNull(LoadCounted(head + Chunk("IDAT", Deflate(raw.substr(0, 20))) + Chunk("IEND", ""))));
    // A bad filter type.
    std::string badFilter = raw;
    badFilter[0] = 9;
    EXPECT_TRUE(IsNull(LoadCounted(head + Chunk("IDAT", Deflate(badFilter)) + Chunk("IEND", ""))));
    // No image data at all.
    EXPECT_TRUE(IsNull(LoadCounted(head + Chunk("IEND", ""))));
}

TEST(PngBadInput, AbsurdSizesAreRefusedWithoutAllocating) {
    std::string idat = Chunk("IDAT", Deflate(std::string(64, '\0'))) + Chunk("IEND", "");
    struct Case {
        uint32_t width, height;
        int depth, colorType;
    } cases[] = {
        {100000, 100000, 8, 6},          // beyond the side limit
        {16000, 16000, 8, 6},            // within it, but 1 GB of pixels
        {16384, 16384, 16, 4},           // grey+alpha that expands to RGBA
        {0, 10, 8, 0},                   // no pixels at all
        {10, 0, 8, 0},
        {0x7fffffff, 0x7fffffff, 1, 0},  // the largest sizes a file can state
        {20, 20, 3, 0},                  // an impossible bit depth
        {20, 20, 8, 5},                  // an impossible colour type
    };
    for (const Case& c : cases) {
        int64_t before = MemoryAllocated();
        TPixmap* p = LoadCounted(kSignature + Header(c.width, c.height, c.depth, c.colorType) + idat);
        EXPECT_TRUE(IsNull(p)) << c.width << "x" << c.height;
        EXPECT_LT(MemoryAllocated() - before, 1 << 20) << c.width << "x" << c.height;
    }
}

namespace {

// A RAM stream whose reads fail from the fourth on (or later, see reads).
class TFailingStream : public TRamStream {
    KV_CLASS(TFailingStream, TRamStream)
public:
    int reads = 0;
    int Read(void* destination, int count) override {
        if (++reads > 3) Throw(new TStreamReadException());
        return TRamStream::Read(destination, count);
    }
};
KV_DEFINE_CLASS(TFailingStream, TRamStream);

}  // namespace

TEST(PngBadInput, AStreamThatFailsWhileReading) {
    // A read that throws inside libpng's callback ends the decoding quietly.
    std::string good = Encode(Image(PNG_COLOR_TYPE_RGB, 8, 8, 8));
    TFailingStream* s = new TFailingStream();
    s->buffer = reinterpret_cast<unsigned char*>(good.data());
    s->size = static_cast<int>(good.size());
    s->readable = 1;
    EXPECT_TRUE(IsNull(LoadPixmapPNG(s)));
    EXPECT_GT(s->reads, 3);
    // And through the loader chain, which seeks back and tries again.
    s->reads = -100;
    s->Seek(0);
    EXPECT_FALSE(IsNull(LoadPixmap(s)));
}

// ---- saving ----

namespace {

struct Decoded {
    bool ok = false;
    png_uint_32 format = 0;  // PNG_FORMAT_FLAG_... of the file
    Bytes bytes;
};

// Reads a PNG with libpng's simplified API, in the file's own layout.
Decoded DecodeDirectly(const std::string& file) {
    Decoded d;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return d;
    d.format = image.format;
    d.bytes.resize(PNG_IMAGE_SIZE(image));
    d.ok = png_image_finish_read(&image, nullptr, d.bytes.data(), 0, nullptr) != 0;
    return d;
}

}  // namespace

TEST(PngSave, EachFormatWritesTheMatchingColourType) {
    StartPngModule();
    ScratchFolder folder;
    struct Case {
        int format;
        png_uint_32 fileFormat;
        Bytes pixels;  // two pixels
        Bytes file;    // as the file holds them
    } cases[] = {
        {PF_I8, PNG_FORMAT_GRAY, {7, 200}, {7, 200}},
        {PF_RGB888, PNG_FORMAT_RGB, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}},
        {PF_BGR888, PNG_FORMAT_RGB, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
        {PF_RGBA8888, PNG_FORMAT_RGBA, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
        {PF_BGRA8888, PNG_FORMAT_RGBA, {1, 2, 3, 4, 5, 6, 7, 8}, {3, 2, 1, 4, 7, 6, 5, 8}},
        {PF_A8, PNG_FORMAT_RGBA, {9, 10}, {255, 255, 255, 9, 255, 255, 255, 10}},
        {PF_GREEN8, PNG_FORMAT_RGBA, {9, 10}, {0, 9, 0, 1, 0, 10, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        TPixmap* p = PixmapOf(2, 1, c.format, c.pixels);
        ASSERT_TRUE(SavePixmapPNG(p, folder.Path("out.png"), 6));
        std::string file = folder.Get("out.png");
        Decoded d = DecodeDirectly(file);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.format, c.fileFormat);
        EXPECT_EQ(d.bytes, c.file);
        // And back through our loader.
        TPixmap* back = LoadPixmapPNG(folder.Path("out.png"));
        ASSERT_FALSE(IsNull(back));
        EXPECT_EQ(BytesOf(back), c.file);
        EXPECT_TRUE(folder.DeleteClosed("out.png"));
    }
}

TEST(PngSave, WindowsAndCompressionLevels) {
    ScratchFolder folder;
    Bytes big(64 * 64 * 4);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i / 256);
    TPixmap* p = PixmapOf(64, 64, PF_RGBA8888, big);
    ASSERT_TRUE(SavePixmapPNG(p, folder.Path("level0.png"), 0));
    ASSERT_TRUE(SavePixmapPNG(p, folder.Path("level9.png"), 9));
    ASSERT_TRUE(SavePixmapPNG(p, folder.Path("levelhigh.png"), 42));  // taken as 9
    ASSERT_TRUE(SavePixmapPNG(p, folder.Path("default.png"), -7));    // taken as the default
    EXPECT_GT(folder.Get("level0.png").size(), big.size());
    EXPECT_LT(folder.Get("level9.png").size(), big.size() / 10);
    EXPECT_EQ(folder.Get("levelhigh.png"), folder.Get("level9.png"));
    for (const char* name : {"level0.png", "level9.png", "default.png"}) {
        EXPECT_EQ(BytesOf(LoadPixmapPNG(folder.Path(name))), big) << name;
    }
    // A window's rows are further apart than its width: only its pixels are written.
    TPixmap* w = p->Window(3, 5, 7, 2);
    ASSERT_TRUE(SavePixmapPNG(w, folder.Path("window.png"), 6));
    EXPECT_EQ(BytesOf(LoadPixmapPNG(folder.Path("window.png"))), BytesOf(w));
}

TEST(PngSave, FailuresAreReported) {
    ScratchFolder folder;
    TPixmap* p = PixmapOf(16, 16, PF_RGB888, Bytes(16 * 16 * 3, 77));
    EXPECT_FALSE(SavePixmapPNG(p, folder.Path("no/such/folder/x.png"), 6));
    EXPECT_FALSE(SavePixmapPNG(p, u"nosuchprotocol::x.png"_s, 6));
    // A stream that fills up before the file is complete.
    unsigned char small[40];
    TRamStream* full = CreateRamStream(small, sizeof small, 0, 1);
    EXPECT_FALSE(SavePixmapPNG(p, full, 6));
    EXPECT_EQ(full->Pos(), static_cast<int>(sizeof small));
    // No pixels: PNG has no empty images.
    EXPECT_FALSE(SavePixmapPNG(CreatePixmap(0, 0, PF_RGB888), folder.Path("empty.png"), 6));
    EXPECT_TRUE(folder.DeleteClosed("empty.png"));
    EXPECT_THROW(SavePixmapPNG(NullOf<TPixmap>(), folder.Path("null.png"), 6), ThrownObject);
}
