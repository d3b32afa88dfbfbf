// Fonts: the built-in font, FreeType faces from files and streams, and
// where drawn text lands.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "gl_test_support.h"
#include "graphics_test_support.h"
#include "stream/ramstream.h"

namespace {

const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The font file as Wine sees it: the Unix root is drive Z.
String* DejaVuPath() { return Concat(u"Z:"_s, S(kDejaVu)); }

std::vector<char> DejaVuBytes() {
    std::ifstream in(std::string("Z:") + kDejaVu, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}


}  // namespace

TEST_F(GLTest, BuiltInFontMeasuresEightBySixteen) {
    EXPECT_EQ(TextWidth(u"AB"_s), 16);
    EXPECT_EQ(TextWidth(u"A\x01\x80" u"B"_s), 16);  // outside 32..127: nothing
    EXPECT_EQ(TextHeight(), 16);
    EXPECT_EQ(GetImageFont()->CharToGlyph(31), -1);
    EXPECT_EQ(GetImageFont()->CharToGlyph(127), 95);
}

TEST_F(GLTest, BuiltInTextLandsAtThePenAndRotates) {
    DrawText(u"MM"_s, 100, 100);
    EXPECT_GT(LitPixels(100, 100, 116, 116), 20);
    EXPECT_EQ(LitPixels(116, 100, 140, 116), 0);
    EXPECT_EQ(LitPixels(100, 84, 116, 100), 0);
    Cls();
    // Rotated by 90 degrees the line runs downwards, left of the pen.
    SetRotation(90);
    DrawText(u"MM"_s, 100, 100);
    EXPECT_GT(LitPixels(84, 100, 100, 116), 20);
    EXPECT_EQ(LitPixels(100, 100, 116, 132), 0);
}

TEST_F(GLTest, TextRotatesAboutTheHandle) {
    SetHandle(8, 0);
    DrawText(u"M"_s, 100, 50);  // drawn 8 pixels left of the pen
    EXPECT_GT(LitPixels(92, 50, 100, 66), 5);
    EXPECT_EQ(LitPixels(100, 50, 110, 66), 0);
}

TEST_F(GLTest, CharactersOutsideTheFontDrawNothing) {
    DrawText(u"\x01\x05\x7F"_s, 10, 10);
    DrawText(u"\x80" u"M"_s, 40, 10);  // M right at the pen: the first adds no space
    EXPECT_EQ(LitPixels(0, 0, 40, 30), 0);
    EXPECT_GT(LitPixels(40, 10, 48, 26), 5);
}

TEST_F(GLTest, FreeTypeFontFromFileMeasuresAndDraws) {
    TImageFont* font = LoadImageFont(DejaVuPath(), 28, FONT_SMOOTH);
    ASSERT_FALSE(IsNull(font));
    SetImageFont(font);
    EXPECT_GT(TextHeight(), 28);
    EXPECT_EQ(font->imageFlags, IMAGE_FILTERED | IMAGE_MIPMAPPED);
    int i = TextWidth(u"i"_s);
    EXPECT_GT(i, 0);
    EXPECT_EQ(TextWidth(u"iii"_s), 3 * i);
    // The space has an advance and no picture.
    TGlyph* space = font->source->LoadGlyph(font->CharToGlyph(' '));
    EXPECT_GT(space->Advance(), 0);
    EXPECT_TRUE(IsNull(space->Pixels()));
    // A smooth glyph has one pixel of transparent padding.
    TGlyph* h = font->source->LoadGlyph(font->CharToGlyph('H'));
    TPixmap* pixels = h->Pixels();
    ASSERT_FALSE(IsNull(pixels));
    EXPECT_EQ(pixels->format, PF_A8);
    int edge = 0, inner = 0;
    for (int y = 0; y < pixels->height; ++y) {
        edge += *pixels->PixelPtr(0, y) + *pixels->PixelPtr(pixels->width - 1, y);
        inner = std::max<int>(inner, *pixels->PixelPtr(1, y));
    }
    for (int x = 0; x < pixels->width; ++x) edge += *pixels->PixelPtr(x, 0) + *pixels->PixelPtr(x, pixels->height - 1);
    EXPECT_EQ(edge, 0);
    EXPECT_GT(inner, 0);

    SetBlend(BLEND_ALPHA);
    DrawText(u"HH"_s, 50, 50);
    int width = TextWidth(u"HH"_s);
    EXPECT_GT(LitPixels(50, 50, 50 + width, 50 + TextHeight()), 100);
    EXPECT_EQ(LitPixels(50 + width + 2, 50, 50 + width + 30, 50 + TextHeight()), 0);
    SetImageFont(NullOf<TImageFont>());
    EXPECT_EQ(TextHeight(), 16);
}

TEST_F(GLTest, FreeTypeFontFromStreamUrl) {
    static std::vector<char> bytes = DejaVuBytes();
    ASSERT_GT(bytes.size(), 1000u);
    IncbinAdd(u"test-dejavu.ttf"_s, bytes.data(), static_cast<int>(bytes.size()));
    TFont* font = LoadFont(u"incbin::test-dejavu.ttf"_s, 20, 0);
    ASSERT_FALSE(IsNull(font));
    auto* ft = Downcast<TFreeTypeFont>(font);
    ASSERT_FALSE(IsNull(ft));
    EXPECT_NE(ft->bytes, nullptr);  // read into memory the font owns
    EXPECT_GT(ft->height, 20);
    EXPECT_TRUE(IsNull(LoadFont(u"incbin::no-such-font.ttf"_s, 20, 0)));
}

TEST_F(GLTest, BadFontFilesGiveNull) {
    ScratchFolder folder;
    std::vector<char> bytes = DejaVuBytes();
    ASSERT_GT(bytes.size(), 1000u);
    folder.Put("cut.ttf", std::string(bytes.begin(), bytes.begin() + 200));
    folder.Put("text.ttf", std::string(500, 'x'));
    EXPECT_TRUE(IsNull(LoadImageFont(folder.Path("cut.ttf"), 20, 0)));
    EXPECT_TRUE(IsNull(LoadImageFont(folder.Path("text.ttf"), 20, 0)));
    EXPECT_TRUE(IsNull(LoadImageFont(S("no/such/font.ttf"), 20, 0)));
    EXPECT_TRUE(IsNull(LoadImageFont(S("::font.ttf"), 20, 0)));  // "::" at 0: a file path
    EXPECT_TRUE(IsNull(LoadFont(EmptyString(), 20, 0)));
    EXPECT_TRUE(IsNull(LoadFont(NullObject(), 20, 0)));
}

TEST_F(GLTest, MissingCharacterIsSkippedWithoutAdvance) {
    TImageFont* font = LoadImageFont(DejaVuPath(), 16, 0);
    ASSERT_FALSE(IsNull(font));
    SetImageFont(font);
    EXPECT_EQ(font->CharToGlyph(0xE000), -1);  // a private-use character DejaVu Sans lacks
    EXPECT_EQ(TextWidth(u"a\xE000" u"a"_s), TextWidth(u"aa"_s));
}
