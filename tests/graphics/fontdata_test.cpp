// The built-in bitmap fonts: present as "incbin::" streams, of the right
// size, and with glyphs of the right shapes in the right places. The checks
// hold for any sane 8x16 font, so they do not depend on which console font
// the build machine provides; they catch a wrong bit order (mirrored
// glyphs), a wrong row order (upside-down glyphs) and a wrong character
// mapping.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <utility>

#include "graphics/fontdata.h"
#include "stream/ramstream.h"
#include "stream/stream.h"
#include "tests/graphics/graphics_test_support.h"

namespace {

// One glyph: 16 rows, bit k of a row is pixel column k.
using Glyph = std::array<unsigned char, 16>;

class BitmapFont {
public:
    explicit BitmapFont(String* name) {
        StartFontDataModule();
        TStream* stream = ReadStream(Concat(u"incbin::"_s, name));
        if (IsNull(stream)) return;
        size = stream->Size();
        if (size == kBitmapFontBytes) stream->ReadBytes(bytes.data(), kBitmapFontBytes);
        stream->Close();
    }

    Glyph Of(char c) const {
        Glyph g{};
        for (int i = 0; i < 16; ++i) g[static_cast<size_t>(i)] = bytes[static_cast<size_t>(i * 96 + (c - 32))];
        return g;
    }

    int size = -1;
    std::array<unsigned char, kBitmapFontBytes> bytes{};
};

bool Set(const Glyph& g, int x, int y) { return (g[static_cast<size_t>(y)] >> x) & 1; }

int Pixels(const Glyph& g) {
    int n = 0;
    for (unsigned char row : g) n += __builtin_popcount(row);
    return n;
}

// Rows holding any set pixel: first and last, or -1 for an empty glyph.
std::pair<int, int> RowSpan(const Glyph& g) {
    int first = -1, last = -1;
    for (int y = 0; y < 16; ++y) {
        if (g[static_cast<size_t>(y)]) {
            if (first < 0) first = y;
            last = y;
        }
    }
    return {first, last};
}

// The longest run of set pixels down one column, and that column.
std::pair<int, int> LongestColumnRun(const Glyph& g) {
    int best = 0, column = -1;
    for (int x = 0; x < 8; ++x) {
        int run = 0;
        for (int y = 0; y < 16; ++y) {
            run = Set(g, x, y) ? run + 1 : 0;
            if (run > best) best = run, column = x;
        }
    }
    return {best, column};
}

int WidestRow(const Glyph& g) {
    int best = 0;
    for (unsigned char row : g) best = std::max(best, __builtin_popcount(row));
    return best;
}

class FontData : public ::testing::TestWithParam<const char*> {
protected:
    FontData() : font(S(GetParam())) {}
    BitmapFont font;
};

}  // namespace

TEST_P(FontData, OpensAsAStreamOfTheRightSize) {
    EXPECT_EQ(font.size, kBitmapFontBytes);
    EXPECT_EQ(IncbinLen(S(GetParam())), kBitmapFontBytes);
}

TEST_P(FontData, SpaceIsEmptyAndEveryVisibleCharacterIsNot) {
    EXPECT_EQ(Pixels(font.Of(' ')), 0);
    for (char c = 33; c < 127; ++c) EXPECT_GT(Pixels(font.Of(c)), 0) << c;
}

TEST_P(FontData, LettersAndDigitsAreAllDifferent) {
    std::set<Glyph> seen;
    const char* all = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (const char* c = all; *c; ++c) EXPECT_TRUE(seen.insert(font.Of(*c)).second) << *c;
}

TEST_P(FontData, CapitalIIsAVerticalBarInTheMiddle) {
    auto [run, column] = LongestColumnRun(font.Of('I'));
    EXPECT_GE(run, 8);
    EXPECT_GE(column, 2);
    EXPECT_LE(column, 5);
}

TEST_P(FontData, UnderscoreSitsOnTheBottomRows) {
    Glyph g = font.Of('_');
    auto [first, last] = RowSpan(g);
    EXPECT_GE(first, 12);
    EXPECT_LE(last - first, 1);
    EXPECT_GE(WidestRow(g), 6);
    // A quote mark is the opposite: high up.
    EXPECT_LE(RowSpan(font.Of('\'')).second, 7);
    EXPECT_LE(RowSpan(font.Of('^')).second, 7);
}

TEST_P(FontData, ExclamationMarkIsAStrokeAboveADot) {
    Glyph g = font.Of('!');
    auto [run, column] = LongestColumnRun(g);
    ASSERT_GE(run, 4);
    // Down that column: set, then a gap, then the dot, then nothing.
    int y = 0;
    while (y < 16 && !Set(g, column, y)) ++y;
    while (y < 16 && Set(g, column, y)) ++y;
    int gap = y;
    while (y < 16 && !Set(g, column, y)) ++y;
    EXPECT_GT(y, gap) << "no gap below the stroke";
    ASSERT_LT(y, 16) << "no dot";
    while (y < 16 && Set(g, column, y)) ++y;
    while (y < 16 && !Set(g, column, y)) ++y;
    EXPECT_EQ(y, 16) << "more than a stroke and a dot";
}

TEST_P(FontData, CapitalLHasItsStemOnTheLeftAndItsFootAtTheBottom) {
    Glyph g = font.Of('L');
    auto [run, column] = LongestColumnRun(g);
    EXPECT_GE(run, 8);
    EXPECT_LE(column, 2);  // mirrored glyphs would have it on the right
    auto [first, last] = RowSpan(g);
    EXPECT_GE(__builtin_popcount(g[static_cast<size_t>(last)]), 4);
    EXPECT_LE(__builtin_popcount(g[static_cast<size_t>(first)]), 4);
}

TEST_P(FontData, DotAndCommaAreLowHyphenIsInTheMiddle) {
    EXPECT_GE(RowSpan(font.Of('.')).first, 8);
    EXPECT_GE(RowSpan(font.Of(',')).first, 8);
    auto [first, last] = RowSpan(font.Of('-'));
    EXPECT_GE(first, 4);
    EXPECT_LE(last, 11);
}

INSTANTIATE_TEST_SUITE_P(BothFonts, FontData, ::testing::Values("korvofont.bin", "gldrawtextfont.bin"));
