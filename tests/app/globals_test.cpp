// The start-up state: the tint's draws, the sprite index and the embedded files.
#include <gtest/gtest.h>

#include <cstring>

#include "app/globals.h"
#include "runtime/random.h"
#include "runtime/string.h"
#include "stream/ramstream.h"

namespace {

int Channel(int k) { return k == 1 ? TintRed : k == 2 ? TintGreen : TintBlue; }

}  // namespace

TEST(Tint, OneBrightChannelAndTwoDimOnes) {
    for (int seed = 1; seed <= 300; ++seed) {
        SeedRnd(seed);
        int k = ChooseTint();
        ASSERT_GE(k, 1);
        ASSERT_LE(k, 3);
        for (int c = 1; c <= 3; ++c) {
            int v = Channel(c);
            if (c == k) {
                ASSERT_GE(v, 150) << "seed " << seed;
                ASSERT_LE(v, 255) << "seed " << seed;
            } else {
                ASSERT_GE(v, 1) << "seed " << seed;
                ASSERT_LE(v, 150) << "seed " << seed;
            }
        }
    }
}

TEST(Tint, EveryChannelCanBeTheBrightOne) {
    bool seen[4] = {};
    for (int seed = 1; seed <= 100; ++seed) {
        SeedRnd(seed);
        seen[ChooseTint()] = true;
    }
    EXPECT_TRUE(seen[1] && seen[2] && seen[3]);
}

TEST(Tint, DrawsFollowTheFixedOrder) {
    SeedRnd(777);
    Rand(255, 1);
    Rand(255, 1);
    Rand(255, 1);
    int k = Rand(1, 3);
    int bright = Rand(150, 255);
    int first = Rand(150, 1);
    int second = Rand(150, 1);
    SeedRnd(777);
    ASSERT_EQ(ChooseTint(), k);
    if (k == 1) {
        EXPECT_EQ(TintRed, bright);
        EXPECT_EQ(TintBlue, first);
        EXPECT_EQ(TintGreen, second);
    } else if (k == 2) {
        EXPECT_EQ(TintGreen, bright);
        EXPECT_EQ(TintBlue, first);
        EXPECT_EQ(TintRed, second);
    } else {
        EXPECT_EQ(TintBlue, bright);
        EXPECT_EQ(TintRed, first);
        EXPECT_EQ(TintGreen, second);
    }
}

TEST(Tint, SameSeedSameTintAndFirstSpriteIndex) {
    for (int seed : {3, 99, 123456}) {
        SeedRnd(seed);
        int k = ChooseTint();
        int tint[3] = {TintRed, TintGreen, TintBlue};
        ChooseSpriteIndex();
        int sprite = SpriteIndex;
        ASSERT_GE(sprite, 1);
        ASSERT_LE(sprite, 7);
        SeedRnd(seed);
        EXPECT_EQ(ChooseTint(), k);
        EXPECT_EQ(TintRed, tint[0]);
        EXPECT_EQ(TintGreen, tint[1]);
        EXPECT_EQ(TintBlue, tint[2]);
        ChooseSpriteIndex();
        EXPECT_EQ(SpriteIndex, sprite);
    }
}

TEST(EmbeddedAssets, TenFilesInTheirOrder) {
    const char* names[] = {"thing2.png", "thing3.png", "thing4.png", "thing6.png", "star2.png",
                           "circle.png", "thing5.png", "radiobar.png", "glowline.png", "ALBA____.TTF"};
    for (int i = 0; i < kEmbeddedAssetCount; ++i) EXPECT_STREQ(EmbeddedAssetName(i), names[i]);
    EXPECT_STREQ(EmbeddedAssetName(10), "");
}

TEST(EmbeddedAssets, RegisteredOnceWithTheirBytes) {
    RegisterEmbeddedAssets();
    EXPECT_EQ(RegisterEmbeddedAssets(), 0);  // a second registration adds nothing
    for (int i = 0; i < 9; ++i) {
        String* name = String::FromCString(EmbeddedAssetName(i));
        const unsigned char* bytes = static_cast<const unsigned char*>(IncbinPtr(name));
        ASSERT_NE(bytes, nullptr) << EmbeddedAssetName(i);
        ASSERT_GT(IncbinLen(name), 24);
        EXPECT_EQ(std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8), 0) << EmbeddedAssetName(i);
    }
    const unsigned char* font = static_cast<const unsigned char*>(IncbinPtr(u"ALBA____.TTF"_s));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::memcmp(font, "\0\1\0\0", 4), 0);  // TrueType's sfnt version
}

namespace {

int BigEndian(const unsigned char* p) { return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

}  // namespace

TEST(EmbeddedAssets, ImagesHaveTheirSizesAndAreRGBA) {
    struct Size { const char* name; int w, h; };
    const Size sizes[] = {{"thing2.png", 256, 255}, {"thing3.png", 256, 256}, {"thing4.png", 256, 256},
                          {"thing6.png", 255, 256}, {"star2.png", 256, 253},  {"circle.png", 268, 269},
                          {"thing5.png", 256, 256}, {"radiobar.png", 64, 64}, {"glowline.png", 256, 128}};
    RegisterEmbeddedAssets();
    for (const Size& s : sizes) {
        const unsigned char* png = static_cast<const unsigned char*>(IncbinPtr(String::FromCString(s.name)));
        ASSERT_NE(png, nullptr) << s.name;
        EXPECT_EQ(std::memcmp(png + 12, "IHDR", 4), 0) << s.name;
        EXPECT_EQ(BigEndian(png + 16), s.w) << s.name;
        EXPECT_EQ(BigEndian(png + 20), s.h) << s.name;
        EXPECT_EQ(png[24], 8) << s.name;  // bit depth
        EXPECT_EQ(png[25], 6) << s.name;  // RGBA
    }
}

TEST(GlobalsModule, StartUpFillsTheState) {
    StartGlobalsModule();
    EXPECT_FALSE(IsNull(ImageList.get()));
    EXPECT_TRUE(ImageList->IsEmpty());
    EXPECT_GE(SpriteIndex, 1);
    EXPECT_LE(SpriteIndex, 7);
    EXPECT_FALSE(IsNull(FrameTimer.get()));
    EXPECT_NE(IncbinPtr(u"glowline.png"_s), nullptr);
    int bright = (TintRed >= 150) + (TintGreen >= 150) + (TintBlue >= 150);
    EXPECT_GE(bright, 1);
    StopTimer(FrameTimer);
}

TEST(GlobalsModule, SpriteImagesLoadFromTheEmbeddedFiles) {
    StartGlobalsModule();
    LoadSpriteImages();
    ASSERT_EQ(SpriteImages->Length(), 8);
    EXPECT_TRUE(IsNull(SpriteImages->ObjectAt(0)));
    const int widths[8] = {0, 256, 256, 256, 255, 256, 268, 256};
    const int heights[8] = {0, 255, 256, 256, 256, 253, 269, 256};
    for (int i = 1; i <= 7; ++i) {
        TImage* image = Downcast<TImage>(SpriteImages->ObjectAt(i));
        ASSERT_FALSE(IsNull(image)) << i;
        EXPECT_EQ(ImageWidth(image), widths[i]) << i;
        EXPECT_EQ(ImageHeight(image), heights[i]) << i;
    }
}
