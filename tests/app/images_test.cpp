// The image effects' state: the splash fade machine, the fireworks' spin,
// growth and fade, and their removal from the effect list.
#include <gtest/gtest.h>

#include <cmath>

#include "app/globals.h"
#include "app/images.h"
#include "runtime/collector.h"
#include "runtime/list.h"
#include "runtime/random.h"
#include "runtime/string.h"
#include "runtime/time.h"

namespace {

class Effects : public ::testing::Test {
protected:
    void SetUp() override {
        StartImagesModule();
        ImageList->Clear();
    }
    // The sprite choice is shared start-up state: it is left as it was.
    void TearDown() override {
        ImageList->Clear();
        SpriteIndex = savedIndex;
        SpriteSwitchTime = savedSwitchTime;
    }

    int savedIndex = SpriteIndex;
    int savedSwitchTime = SpriteSwitchTime;

    // A splash whose fade machine runs from now, with no image to draw.
    static TSplash* Splash() {
        TSplash* splash = new TSplash();
        splash->fading = 1;
        return splash;
    }

    // Frame times long after (or before) every fade time set here.
    static void Later() { FrameTime = static_cast<float>(MilliSecs()) + 1e6f; }
    static void Earlier() { FrameTime = 0; }
    // Frame times just before and after a millisecond time. FrameTime is a
    // float: once the clock passes 2^24 ms (4.7 hours after boot) it holds
    // only every second millisecond, so "one later" needs a wider step.
    static float BeforeTime(int ms) { return static_cast<float>(ms - 100); }
    static float AfterTime(int ms) { return static_cast<float>(ms + 100); }

    static int StepsUntil(TSplash* splash, bool (*done)(TSplash*), int limit) {
        for (int i = 1; i <= limit; ++i) {
            splash->UpdateFade();
            if (done(splash)) return i;
        }
        return -1;
    }
};

}  // namespace

// ---- the splash fade machine ----

TEST_F(Effects, NewEffectsJoinTheListInOrder) {
    TSplash* a = Splash();
    TFireworks* b = new TFireworks();
    ASSERT_EQ(ImageList->Count(), 2);
    EXPECT_EQ(ImageList->First(), a);
    EXPECT_EQ(ImageList->Last(), b);
}

TEST_F(Effects, SplashCreateStoresItsSettings) {
    int before = MilliSecs();
    TSplash* s = TSplash::Create(u"incbin::glowline.png"_s, 510, 352, 0.25f, 2, 3, 3, 1, 1, 1, 10);
    EXPECT_TRUE(ImageList->Contains(s));
    EXPECT_FALSE(IsNull(s->image));
    EXPECT_EQ(s->x, 510.0f);
    EXPECT_EQ(s->y, 352.0f);
    EXPECT_EQ(s->alpha, 0.25f);
    EXPECT_EQ(s->scaleX, 2.0f);
    EXPECT_EQ(s->scaleY, 3.0f);
    EXPECT_EQ(s->red, 255);
    EXPECT_EQ(s->green, 255);
    EXPECT_EQ(s->blue, 255);
    EXPECT_EQ(s->blend, 3);
    EXPECT_EQ(s->fading, 1);
    EXPECT_EQ(s->fadeFlag, 1);
    EXPECT_GE(s->fadeTime, before + 10000);
    EXPECT_LE(s->fadeTime, MilliSecs() + 10000);
    // The centred handle is the image's middle.
    EXPECT_EQ(s->image->handleX, ImageWidth(s->image) / 2.0f);
    EXPECT_EQ(s->image->handleY, ImageHeight(s->image) / 2.0f);
}

TEST_F(Effects, SplashWithAMissingFileHasNoImage) {
    TSplash* s = TSplash::Create(u"incbin::no-such.png"_s, 0, 0, 1, 1, 1, 3, 1, 0, 0, 0);
    EXPECT_TRUE(IsNull(s->image));
    EXPECT_EQ(s->Draw(), 0);  // nothing to draw, and no fault
}

TEST_F(Effects, FadeSetsTheStartOfTheCycle) {
    TSplash* s = Splash();
    int before = MilliSecs();
    s->Fade(1, 2, 5);
    EXPECT_EQ(s->alpha, 0.0f);
    EXPECT_EQ(s->fadeFlag, 0);
    EXPECT_EQ(s->hold, 5);
    EXPECT_GE(s->fadeTime, before + 2000);
    s->fading = 0;
    s->Fade(0, 0, 7);
    EXPECT_EQ(s->fading, 1);
    EXPECT_EQ(s->alpha, 1.0f);
    EXPECT_EQ(s->fadeFlag, 1);
    EXPECT_EQ(s->hold, 7);
}

TEST_F(Effects, SplashWaitsForItsFadeTime) {
    TSplash* s = Splash();
    s->Fade(1, 0, 5);
    Earlier();
    for (int i = 0; i < 10; ++i) s->UpdateFade();
    EXPECT_EQ(s->alpha, 0.0f);
}

TEST_F(Effects, StoppedSplashDoesNotChange) {
    TSplash* s = Splash();
    s->fading = 0;
    s->alpha = 0.5f;
    Later();
    s->UpdateFade();
    EXPECT_EQ(s->alpha, 0.5f);
}

// The saver's logo: in after 201 steps, held, out after 201 more, then it
// stays below 0 and in the list.
TEST_F(Effects, SplashFadesInHoldsAndFadesOut) {
    TSplash* s = Splash();
    s->Fade(1, 0, 5);
    Later();
    int in = StepsUntil(s, [](TSplash* x) { return x->alpha > 1; }, 1000);
    EXPECT_EQ(in, 201);
    int before = MilliSecs();
    s->UpdateFade();  // starts the hold
    EXPECT_EQ(s->alpha, 1.0f);
    EXPECT_EQ(s->fadeFlag, 1);
    EXPECT_EQ(s->hold, 0);
    EXPECT_GE(s->fadeTime, before + 5000);

    FrameTime = BeforeTime(s->fadeTime);  // not yet past the hold
    s->UpdateFade();
    EXPECT_EQ(s->alpha, 1.0f);

    Later();
    int out = StepsUntil(s, [](TSplash* x) { return x->alpha <= 0; }, 1000);
    EXPECT_EQ(out, 201);
    float last = s->alpha;
    EXPECT_LT(last, 0.0f);
    for (int i = 0; i < 5; ++i) s->UpdateFade();
    EXPECT_EQ(s->alpha, last);
    TImages::UpdateKind(1);  // fireworks only: a splash is never removed
    EXPECT_TRUE(ImageList->Contains(s));
}

TEST_F(Effects, SplashAtExactlyOneNeitherGrowsNorHolds) {
    TSplash* s = Splash();
    s->alpha = 1.0f;
    s->fadeFlag = 0;
    s->fadeTime = 0;
    Later();
    for (int i = 0; i < 3; ++i) s->UpdateFade();
    EXPECT_EQ(s->alpha, 1.0f);
    EXPECT_EQ(s->fadeFlag, 0);
}

TEST_F(Effects, FadeRestartsTheCycleAtAnyPoint) {
    TSplash* s = Splash();
    s->Fade(0, 0, 0);
    Later();
    for (int i = 0; i < 50; ++i) s->UpdateFade();
    EXPECT_LT(s->alpha, 1.0f);
    s->Fade(1, 0, 22);
    EXPECT_EQ(s->alpha, 0.0f);
    s->UpdateFade();
    EXPECT_FLOAT_EQ(s->alpha, 0.005f);
}

// ---- fireworks ----

TEST_F(Effects, FireworksCreateDrawsColourTiltAndSprite) {
    SpriteSwitchTime = MilliSecs();
    SpriteIndex = 6;
    SeedRnd(99);
    int red = Rand(255, 1), green = Rand(255, 1), blue = Rand(255, 1);
    int first = Rand(90, 1);
    int rotation = first - Rand(90, 1);
    SeedRnd(99);
    int before = MilliSecs();
    TFireworks* f = TFireworks::Create(512, 384, 1.0f, 0.05f, 3, 1, 1, 1);
    EXPECT_TRUE(ImageList->Contains(f));
    EXPECT_EQ(f->image, SpriteImages->ObjectAt(6));
    EXPECT_EQ(f->red, red);
    EXPECT_EQ(f->green, green);
    EXPECT_EQ(f->blue, blue);
    EXPECT_EQ(f->rotation, static_cast<float>(rotation));
    EXPECT_EQ(f->spinDirection, rotation > 0 ? 0 : 1);
    EXPECT_EQ(f->x, 512.0f);
    EXPECT_EQ(f->y, 384.0f);
    EXPECT_EQ(f->scale, 0.05f);
    EXPECT_EQ(f->fadeFlag, 1);
    EXPECT_GE(f->fadeTime, before + 1000);
    EXPECT_EQ(SpriteIndex, 6);  // switched just now: no timed change
}

TEST_F(Effects, FireworksRandomRangesHold) {
    int n = CollectorMode() == kCollectEveryAllocation ? 40 : 400;
    SpriteSwitchTime = MilliSecs();
    for (int i = 0; i < n; ++i) {
        TFireworks* f = TFireworks::Create(0, 0, 1, 0.01f, 3, 0, 1, 0);
        ASSERT_GE(f->red, 1);
        ASSERT_LE(f->red, 255);
        ASSERT_GE(f->blue, 1);
        ASSERT_LE(f->blue, 255);
        ASSERT_GE(f->rotation, -89.0f);
        ASSERT_LE(f->rotation, 89.0f);
        ASSERT_EQ(f->spinDirection, f->rotation > 0 ? 0 : 1);
    }
}

TEST_F(Effects, SpriteIndexChangesAtMostOncePerTenSecondsAndOnlyTo1To5) {
    int n = CollectorMode() == kCollectEveryAllocation ? 20 : 200;
    for (int i = 0; i < n; ++i) {
        SpriteIndex = 7;
        int before = MilliSecs();
        SpriteSwitchTime = before - 10001;
        TFireworks::Create(0, 0, 1, 0.01f, 3, 0, 1, 0);
        int after = MilliSecs();
        ASSERT_GE(SpriteIndex, 1);
        ASSERT_LE(SpriteIndex, 5);
        int switched = SpriteIndex;
        EXPECT_GE(SpriteSwitchTime, before);  // the time of this change
        EXPECT_LE(SpriteSwitchTime, after);
        SpriteIndex = 7;
        TFireworks::Create(0, 0, 1, 0.01f, 3, 0, 1, 0);
        ASSERT_EQ(SpriteIndex, 7) << "changed again right after " << switched;
    }
}

TEST_F(Effects, FireworksOutsideTheSpriteRangeHaveNoImage) {
    SpriteSwitchTime = MilliSecs();
    SpriteIndex = 0;
    TFireworks* f = TFireworks::Create(0, 0, 1, 0.01f, 3, 1, 1, 0);
    EXPECT_TRUE(IsNull(f->image));
    EXPECT_EQ(f->Draw(), 0);  // advances, draws nothing
    EXPECT_FLOAT_EQ(f->scale, 0.03f);
}

TEST_F(Effects, SpinFollowsTheDirectionAndGrowAdds) {
    TFireworks* f = new TFireworks();
    f->rotation = 10;
    f->spinDirection = 0;
    f->Spin(0.5f);
    EXPECT_FLOAT_EQ(f->rotation, 9.5f);
    f->spinDirection = 1;
    f->Spin(1.5f);
    EXPECT_FLOAT_EQ(f->rotation, 11.0f);
    f->scale = 0.05f;
    f->Grow(0.02f);
    EXPECT_FLOAT_EQ(f->scale, 0.07f);
}

TEST_F(Effects, FireworksLiveAbout101FramesThenLeaveTheList) {
    SpriteSwitchTime = MilliSecs();
    TFireworks* f = TFireworks::Create(0, 0, 1.0f, 0.05f, 3, 0, 1, 0);
    float start = f->rotation;
    Later();
    int frames = 0;
    while (f->alpha > 0 && frames < 1000) {
        f->Advance();
        ++frames;
    }
    EXPECT_GE(frames, 100);
    EXPECT_LE(frames, 101);
    EXPECT_NEAR(f->scale, 0.05f + 0.02f * frames, 1e-3);
    EXPECT_NEAR(std::abs(f->rotation - start), 0.3f * frames, 1e-2);
    ASSERT_TRUE(ImageList->Contains(f));
    TImages::UpdateKind(1);
    EXPECT_FALSE(ImageList->Contains(f));
}

TEST_F(Effects, FireworksKeepFullAlphaUntilTheirDelayPassed) {
    SpriteSwitchTime = MilliSecs();
    TFireworks* f = TFireworks::Create(0, 0, 1.0f, 0.05f, 3, 0, 1, 1);
    FrameTime = BeforeTime(f->fadeTime);  // not after it
    for (int i = 0; i < 10; ++i) f->Advance();
    EXPECT_EQ(f->alpha, 1.0f);
    FrameTime = AfterTime(f->fadeTime);
    f->Advance();
    EXPECT_FLOAT_EQ(f->alpha, 0.99f);
}

TEST_F(Effects, FireworksThatDoNotFadeKeepTheirAlpha) {
    TFireworks* f = new TFireworks();
    f->alpha = 1.0f;
    f->fadeFlag = 0;
    Later();
    for (int i = 0; i < 200; ++i) f->Advance();
    EXPECT_EQ(f->alpha, 1.0f);
}

// Removing the element under the walk must not skip or stop the walk.
TEST_F(Effects, UpdateKindRemovesEveryInvisibleSpriteAndSkipsOtherObjects) {
    TSplash* splash = Splash();
    TFireworks* a = new TFireworks();
    TFireworks* b = new TFireworks();
    ImageList->AddLast(u"not an effect"_s);
    TFireworks* c = new TFireworks();
    a->alpha = 0;
    b->alpha = -0.01f;
    c->alpha = 0;
    TImages::UpdateKind(1);
    EXPECT_EQ(ImageList->Count(), 2);
    EXPECT_TRUE(ImageList->Contains(splash));
    EXPECT_FALSE(ImageList->Contains(a));
    EXPECT_FALSE(ImageList->Contains(b));
    EXPECT_FALSE(ImageList->Contains(c));
}

TEST_F(Effects, UpdateAllTakesTheFrameTime) {
    FrameTime = 0;
    // Both bounds are rounded to float as FrameTime is (past 2^24 ms of
    // uptime a float holds only every second millisecond); volatile keeps
    // the x87 unit from comparing them at a higher precision.
    volatile float before = static_cast<float>(MilliSecs());
    TImages::UpdateAll();  // an empty list: nothing to draw
    volatile float after = static_cast<float>(MilliSecs());
    EXPECT_GE(FrameTime, before);
    EXPECT_LE(FrameTime, after);
}
