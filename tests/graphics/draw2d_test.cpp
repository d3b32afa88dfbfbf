// The 2D state and the OpenGL 2D driver, checked by reading back what was
// drawn into a real context.
#include <cmath>

#include "gl_test_support.h"

namespace {

Array* Floats(std::initializer_list<float> values) {
    Array* a = NewArray("f", static_cast<int>(values.size()));
    int i = 0;
    for (float v : values) a->DataAs<float>()[i++] = v;
    return a;
}

void ExpectNear(int rgb, int r, int g, int b) {
    EXPECT_NEAR(Red(rgb), r, 2) << std::hex << rgb;
    EXPECT_NEAR(Green(rgb), g, 2) << std::hex << rgb;
    EXPECT_NEAR(Blue(rgb), b, 2) << std::hex << rgb;
}

}  // namespace

TEST_F(GLTest, TransformFollowsRotationAndScale) {
    SetTransform(90, 2, 3);
    TVanta2DGraphics* g = TVanta2DGraphics::Current();
    EXPECT_NEAR(g->ix, 0, 1e-6);
    EXPECT_NEAR(g->iy, -3, 1e-6);
    EXPECT_NEAR(g->jx, 2, 1e-6);
    EXPECT_NEAR(g->jy, 0, 1e-6);
    EXPECT_FLOAT_EQ(GetRotation(), 90);
    float sx, sy;
    GetScale(sx, sy);
    EXPECT_FLOAT_EQ(sx, 2);
    EXPECT_FLOAT_EQ(sy, 3);
}

TEST_F(GLTest, HandleIsStoredNegatedAndOffsetsRects) {
    SetHandle(10, 5);
    float hx, hy;
    GetHandle(hx, hy);
    EXPECT_FLOAT_EQ(hx, 10);
    EXPECT_FLOAT_EQ(hy, 5);
    DrawRect(100, 100, 20, 20);
    EXPECT_NE(PixelAt(90, 95), 0);
    EXPECT_NE(PixelAt(109, 114), 0);
    EXPECT_EQ(PixelAt(89, 100), 0);
    EXPECT_EQ(PixelAt(110, 100), 0);
    EXPECT_EQ(PixelAt(100, 115), 0);
}

TEST_F(GLTest, PlotIgnoresHandleRotationAndScale) {
    SetHandle(30, 30);
    SetTransform(45, 3, 3);
    SetOrigin(5, 6);
    Plot(20, 20);
    EXPECT_NE(PixelAt(25, 26), 0);
    EXPECT_EQ(LitPixels(0, 0, 60, 60), 1);
}

TEST_F(GLTest, DrawPixmapIgnoresOriginAndTransform) {
    SetOrigin(50, 50);
    SetTransform(30, 2, 2);
    TPixmap* p = CreatePixmap(2, 2, PF_RGBA8888);
    p->ClearPixels(static_cast<int>(0xFF00FF00));
    DrawPixmap(p, 10, 12);
    EXPECT_EQ(PixelAt(10, 12), 0x00FF00);
    EXPECT_EQ(PixelAt(11, 13), 0x00FF00);
    EXPECT_EQ(LitPixels(0, 0, 80, 80), 4);
}

TEST_F(GLTest, LineDrawsItsLastPixelOnlyWhenAsked) {
    DrawLine(10, 10, 20, 10, false);
    EXPECT_NE(PixelAt(15, 10), 0);
    EXPECT_EQ(PixelAt(20, 10), 0);
    DrawLine(10, 30, 20, 30, true);
    EXPECT_NE(PixelAt(20, 30), 0);
}

TEST_F(GLTest, BlendModesCombineWithTheBackground) {
    SetClsColor(100, 100, 100);
    Cls();
    SetBlend(BLEND_SOLID);
    SetColor(10, 20, 30);
    DrawRect(0, 0, 10, 10);
    ExpectNear(PixelAt(5, 5), 10, 20, 30);

    SetBlend(BLEND_ALPHA);
    SetColor(200, 0, 0);
    SetAlpha(0.5f);
    DrawRect(20, 0, 10, 10);
    ExpectNear(PixelAt(25, 5), 150, 50, 50);

    SetBlend(BLEND_LIGHT);
    SetColor(100, 200, 0);
    SetAlpha(1);
    DrawRect(40, 0, 10, 10);
    ExpectNear(PixelAt(45, 5), 200, 255, 100);

    SetBlend(BLEND_SHADE);
    SetColor(255, 128, 0);
    DrawRect(60, 0, 10, 10);
    ExpectNear(PixelAt(65, 5), 100, 50, 0);

    SetBlend(BLEND_MASK);
    SetColor(0, 0, 255);
    SetAlpha(0.4f);
    DrawRect(80, 0, 10, 10);
    ExpectNear(PixelAt(85, 5), 100, 100, 100);  // below one half: discarded
    SetAlpha(0.6f);
    DrawRect(100, 0, 10, 10);
    ExpectNear(PixelAt(105, 5), 0, 0, 255);
}

TEST_F(GLTest, ColoursAndAlphaAreClamped) {
    SetColor(300, -5, 128);
    SetAlpha(7);
    DrawRect(0, 0, 4, 4);
    ExpectNear(PixelAt(1, 1), 255, 0, 128);
    GLubyte c[4];
    GLfloat current[4];
    glGetFloatv(GL_CURRENT_COLOR, current);
    for (int i = 0; i < 4; ++i) c[i] = static_cast<GLubyte>(std::lround(current[i] * 255));
    EXPECT_EQ(c[3], 255);
    SetAlpha(std::nanf(""));
    glGetFloatv(GL_CURRENT_COLOR, current);
    EXPECT_EQ(current[3], 0.0f);
}

TEST_F(GLTest, BlendCacheSkipsRepeatsUntilContextIsReset) {
    SetBlend(BLEND_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    glDisable(GL_BLEND);  // behind the cache's back
    SetBlend(BLEND_ALPHA);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    SetGraphics(NullOf<TGraphics>());
    SetGraphics(graphics);  // resets the cache and re-sends the state
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GetBlend(), BLEND_ALPHA);
}

TEST_F(GLTest, ViewportScissorsWithFlippedY) {
    SetViewport(10, 20, 30, 40);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(box[0], 10);
    EXPECT_EQ(box[1], kTestHeight - 20 - 40);
    EXPECT_EQ(box[2], 30);
    EXPECT_EQ(box[3], 40);
    DrawRect(0, 0, 100, 100);
    EXPECT_NE(PixelAt(10, 20), 0);
    EXPECT_EQ(PixelAt(9, 20), 0);
    EXPECT_EQ(PixelAt(10, 60), 0);
    SetViewport(0, 0, kTestWidth, kTestHeight);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_F(GLTest, OvalSegmentsAndCoverage) {
    EXPECT_EQ(GLOvalSegments(0, 0, 4, 4), 12);
    EXPECT_EQ(GLOvalSegments(0, 0, 100, 60), 80);
    EXPECT_EQ(GLOvalSegments(0, 0, 30, 31), 28);  // 30.5 rounded down to a multiple of 4
    DrawOval(100, 100, 100, 60);
    EXPECT_NE(PixelAt(150, 130), 0);
    EXPECT_NE(PixelAt(102, 130), 0);
    EXPECT_EQ(PixelAt(102, 102), 0);  // the box's corner lies outside
    EXPECT_EQ(PixelAt(197, 157), 0);
    // Huge, infinite and NaN sizes keep a bounded count and draw without harm.
    EXPECT_EQ(GLOvalSegments(0, 0, 1e30f, 1e30f), 4096);
    EXPECT_EQ(GLOvalSegments(0, 0, -INFINITY, 5), 4096);
    EXPECT_EQ(GLOvalSegments(0, 0, NAN, NAN), 12);
    DrawOval(0, 0, NAN, 10);
    DrawOval(0, 0, 3e38f, 3e38f);
}

TEST_F(GLTest, PolyNeedsThreePoints) {
    DrawPoly(Floats({10, 10, 50, 10}));
    DrawPoly(Floats({10, 10, 50, 10, 30, 40, 7}));
    EXPECT_EQ(LitPixels(0, 0, 60, 50), 0);
    SetOrigin(100, 0);
    DrawPoly(Floats({10, 10, 50, 10, 30, 40}));
    EXPECT_NE(PixelAt(130, 15), 0);
    EXPECT_EQ(PixelAt(112, 38), 0);
}

TEST_F(GLTest, GrabPixmapReadsTopDown) {
    SetColor(255, 0, 0);
    DrawRect(10, 10, 4, 1);
    SetColor(0, 0, 255);
    DrawRect(10, 11, 4, 1);
    SetBlend(BLEND_ALPHA);
    TPixmap* p = GrabPixmap(10, 10, 4, 2);
    EXPECT_EQ(p->format, PF_RGBA8888);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(0, 0)) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(static_cast<unsigned>(p->ReadPixel(3, 1)) & 0xFFFFFF, 0x0000FFu);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));  // the blend mode comes back
}

TEST_F(GLTest, FirstMakeCurrentPresentsTwoClearedFrames) {
    // Both buffers were cleared by the first MakeCurrent: the front too.
    glReadBuffer(GL_FRONT);
    EXPECT_EQ(PixelAt(5, 5), 0);
    glReadBuffer(GL_BACK);
    SetClsColor(0, 0, 255);
    Cls();
    // Later MakeCurrent calls keep what is drawn.
    SetGraphics(NullOf<TGraphics>());
    SetGraphics(graphics);
    EXPECT_EQ(PixelAt(5, 5), 0x0000FF);
}
