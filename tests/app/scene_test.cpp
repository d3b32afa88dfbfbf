// The scene's set-up: the star field, the loudness scale and the tint the
// logo and the radio bar take.
#include <gtest/gtest.h>

#include "app/globals.h"
#include "app/scene.h"
#include "runtime/collector.h"
#include "runtime/list.h"
#include "runtime/random.h"

namespace {

// One star field for the whole program: making it is 10000 allocations,
// slow when the collector runs before each of them.
class StarField : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartSceneModule();
        if (IsNull(Stars.get())) {
            SeedRnd(4242);
            Stars = TStars::Create();
        }
    }
};

}  // namespace

TEST_F(StarField, FirstCreateMakesTheListWithExactlyTenThousandStars) {
    ASSERT_FALSE(IsNull(StarList.get()));
    EXPECT_EQ(StarList->Count(), 10000);
    EXPECT_EQ(StarList->Last(), Stars.get());
}

TEST_F(StarField, CoordinatesAndGreyStayInRange) {
    int greyBelowHalf = 0;
    float minX = 0, maxX = 0;
    for (Object* value : *StarList.get()) {
        TStars* s = Downcast<TStars>(value);
        ASSERT_FALSE(IsNull(s));
        for (float c : {s->x, s->y, s->z}) {
            ASSERT_GE(c, -2099.0f);
            ASSERT_LE(c, 2099.0f);
            ASSERT_EQ(c, static_cast<float>(static_cast<int>(c)));  // whole numbers
        }
        ASSERT_GE(s->red, 0.1f);
        ASSERT_LE(s->red, 1.0f);
        ASSERT_EQ(s->red, s->green);
        ASSERT_EQ(s->red, s->blue);
        if (s->red < 0.5f) ++greyBelowHalf;
        minX = std::min(minX, s->x);
        maxX = std::max(maxX, s->x);
    }
    // The field spreads over the whole range, and the grey levels vary.
    EXPECT_LT(minX, -1500.0f);
    EXPECT_GT(maxX, 1500.0f);
    EXPECT_GT(greyBelowHalf, 3000);
    EXPECT_LT(greyBelowHalf, 6000);
}

TEST_F(StarField, SeededFieldFollowsTheDrawOrder) {
    SeedRnd(777);
    float expected[4];
    for (int i = 0; i < 3; ++i) {
        int a = Rand(2100, 1);
        int b = Rand(2100, 1);
        expected[i] = static_cast<float>(b - a);
    }
    expected[3] = static_cast<float>(Rnd(0.1, 1));

    int before = StarList->Count();
    TLink* last = StarList->LastLink();
    SeedRnd(777);
    TStars* made = TStars::Create();
    EXPECT_EQ(StarList->Count(), before + 10000);  // appended to the one list
    EXPECT_EQ(StarList->Last(), made);
    TStars* first = Downcast<TStars>(last->NextLink()->Value());
    ASSERT_FALSE(IsNull(first));
    EXPECT_EQ(first->x, expected[0]);
    EXPECT_EQ(first->y, expected[1]);
    EXPECT_EQ(first->z, expected[2]);
    EXPECT_EQ(first->red, expected[3]);
    while (StarList->Count() > before) StarList->RemoveLast();
}

TEST(Loudness, ScaleOfTheSpectrum) {
    EXPECT_EQ(LoudnessLevel(0.0f), -4);   // silence
    EXPECT_EQ(LoudnessLevel(0.03f), 55);  // no burst
    EXPECT_EQ(LoudnessLevel(0.25f), 167); // a centre burst
    EXPECT_EQ(LoudnessLevel(1.0f), static_cast<int>(static_cast<double>(2.7f) * 127 - 4));
}

TEST(Tint, BrightChannelAndTheOtherTwo) {
    StartSceneModule();
    int n = CollectorMode() == kCollectEveryAllocation ? 50 : 500;
    for (int i = 0; i < n; ++i) {
        int k = ChooseTint();
        int channel[3] = {TintRed, TintGreen, TintBlue};
        for (int c = 0; c < 3; ++c) {
            if (c == k - 1) {
                ASSERT_GE(channel[c], 150);
                ASSERT_LE(channel[c], 255);
            } else {
                ASSERT_GE(channel[c], 1);
                ASSERT_LE(channel[c], 150);
            }
        }
    }
}
