// Fuzz targets of what the program reads from outside: PNG images, TrueType
// fonts from memory, text in the four encodings, pixmaps of every format,
// and the radio's metadata text.
#include <cstring>

#include "app/radio.h"
#include "graphics/font.h"
#include "graphics/freetypefont.h"
#include "graphics/pixmap.h"
#include "graphics/png.h"
#include "runtime/exception.h"
#include "stream/bank.h"
#include "stream/bankstream.h"
#include "stream/ramstream.h"
#include "stream/textstream.h"
#include "tests/fuzz/fuzz.h"

namespace fuzz {

namespace {

TBankStream* StreamOver(std::string& bytes) {
    return CreateBankStream(CreateStaticBank(bytes.data(), static_cast<int>(bytes.size())));
}

// ---- PNG ----

uint32_t Crc(const unsigned char* p, size_t n) {
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
    }
    return ~c;
}

// Makes every chunk's checksum right again, so that mutations reach the
// decoder instead of stopping at the first checksum.
void FixChunkCrcs(std::string& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        auto* p = reinterpret_cast<unsigned char*>(&png[at]);
        size_t length = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
        if (length > png.size() - at - 12) return;
        uint32_t crc = Crc(p + 4, length + 4);
        for (int k = 0; k < 4; ++k) p[8 + length + k] = static_cast<unsigned char>(crc >> (24 - 8 * k));
        at += length + 12;
    }
}

std::vector<std::string>& PngSeeds() {
    static std::vector<std::string> seeds;
    if (!seeds.empty()) return seeds;
    const int formats[] = {PF_I8, PF_RGB888, PF_RGBA8888, PF_A8};
    const int sizes[][2] = {{1, 1}, {7, 3}, {16, 16}, {33, 5}};
    for (int i = 0; i < 4; ++i) {
        TPixmap* p = CreatePixmap(sizes[i][0], sizes[i][1], formats[i]);
        for (int y = 0; y < p->height; ++y) {
            for (int x = 0; x < p->width; ++x) p->WritePixel(x, y, static_cast<int>(0x80402010u * (x + 3 * y + 1)));
        }
        TBank* bank = CreateBank(0);
        SavePixmapPNG(p, CreateBankStream(bank), i * 3 - 1);
        seeds.emplace_back(reinterpret_cast<char*>(bank->Buf()), static_cast<size_t>(bank->Size()));
        // The seeds themselves must decode, or the mutations test nothing.
        Expect(!IsNull(LoadPixmap(StreamOver(seeds.back()))), "a seed PNG does not decode");
    }
    return seeds;
}

void Png(Rng& rng) {
    std::string png = PngSeeds()[rng.Below(static_cast<uint32_t>(PngSeeds().size()))];
    Mutate(png, rng, 1 << 16);
    if (!rng.OneIn(4)) FixChunkCrcs(png);
    TPixmap* p = LoadPixmap(StreamOver(png));
    if (IsNull(p)) return;
    Expect(p->width > 0 && p->height > 0 && p->width <= kMaxPngSide && p->height <= kMaxPngSide, "PNG size");
    p->ReadPixel(p->width - 1, p->height - 1);
}

// ---- TrueType from memory ----

// The title font's bytes, copied into a block registered once under a name
// of its own; each input mutates the block in place (same length).
void Font(Rng& rng) {
    static const EmbeddedFile* original = FindEmbeddedFile("ALBA____.TTF");
    static std::string block;
    if (block.empty()) {
        Expect(original != nullptr, "the title font is not embedded");
        block.assign(reinterpret_cast<const char*>(original->data), static_cast<size_t>(original->length));
        IncbinAdd(u"fuzz-font.ttf"_s, block.data(), static_cast<int>(block.size()));
    }
    std::memcpy(block.data(), original->data, block.size());
    std::string edited = block;
    Mutate(edited, rng, block.size());
    std::memcpy(block.data(), edited.data(), edited.size());  // a shorter result keeps the original's tail
    TFont* font = LoadFont(u"incbin::fuzz-font.ttf"_s, 1 + static_cast<int>(rng.Below(48)), FONT_SMOOTH);
    if (IsNull(font)) return;
    for (int i = 0; i < 4; ++i) {
        int glyph = font->CharToGlyph(static_cast<int>(rng.Below(0x3000)));
        if (glyph >= 0 && glyph < font->CountGlyphs()) font->LoadGlyph(glyph);
    }
}

// ---- text streams ----

void Text(Rng& rng) {
    static const char* kMarks[] = {"", "\xef\xbb\xbf", "\xfe\xff", "\xff\xfe"};
    std::string bytes = kMarks[rng.Below(4)] + rng.Bytes(rng.Below(64));
    if (rng.OneIn(3)) bytes += "\r\n\n\r";
    if (rng.OneIn(2)) {
        LoadText(StreamOver(bytes));
        return;
    }
    TTextStream* text = TTextStream::Create(StreamOver(bytes), static_cast<int>(rng.Below(6)));
    for (int op = 0; op < 32 && !text->Eof(); ++op) {
        switch (rng.Below(4)) {
        case 0: text->ReadLine(); break;
        case 1: text->ReadChar(); break;
        case 2: text->ReadString(static_cast<int>(rng.Below(8))); break;
        default: text->ReadInt();
        }
    }
}

// ---- pixmaps ----

void Pixmaps(Rng& rng) {
    int format = static_cast<int>(rng.Below(14));  // 0 and 13 are not formats
    TPixmap* p = CreatePixmap(rng.Int(24), rng.Int(24), format, 1 + static_cast<int>(rng.Below(8)));
    p->ClearPixels(static_cast<int>(rng.Next()));
    for (int op = 0; op < 8; ++op) {
        switch (rng.Below(7)) {
        case 0: p = p->Convert(static_cast<int>(rng.Below(14))); break;
        case 1: p = p->Window(rng.Int(24), rng.Int(24), rng.Int(24), rng.Int(24)); break;
        case 2: p = ResizePixmap(p, rng.Int(40), rng.Int(40)); break;
        case 3: p = rng.OneIn(2) ? XFlipPixmap(p) : YFlipPixmap(p); break;
        case 4: p->WritePixel(rng.Int(24), rng.Int(24), static_cast<int>(rng.Next())); break;
        case 5: p->Paste(CreatePixmap(rng.Int(8), rng.Int(8), static_cast<int>(rng.Below(14))), rng.Int(24), rng.Int(24)); break;
        default: p = MaskPixmap(p, rng.Below(256), rng.Below(256), rng.Below(256));
        }
        p->ReadPixel(rng.Int(24), rng.Int(24));
    }
}

// ---- the radio's metadata ----

void Titles(Rng& rng) {
    static const char* kPieces[] = {"StreamTitle='", "';", "Url", "StreamUrl='", "'", ";", "A - B", "\xc3\xa9",
                                    "&#1046;", "&#x416;", "&#", ";"};
    std::string meta;
    int pieces = static_cast<int>(rng.Below(12));
    for (int i = 0; i < pieces; ++i) meta += rng.OneIn(3) ? rng.Bytes(rng.Below(40)) : kPieces[rng.Below(12)];
    String* title = TitleFromMetadata(meta.c_str());
    Expect(title->length <= 201, "a title longer than the metadata it may use");
}

}  // namespace

const Target kMediaTargets[] = {
    {"png", Png, 30000},
    {"font", Font, 3000},
    {"text", Text, 50000},
    {"pixmaps", Pixmaps, 30000},
    {"titles", Titles, 100000},
};
const int kMediaTargetCount = sizeof kMediaTargets / sizeof kMediaTargets[0];

}  // namespace fuzz
