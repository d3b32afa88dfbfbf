// Images, frames and textures: sizes, edge replication, placement of
// rotated and scaled images.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "gl_test_support.h"

namespace {

TPixmap* Filled(int width, int height, int format, int argb) {
    TPixmap* p = CreatePixmap(width, height, format);
    p->ClearPixels(argb);
    return p;
}

std::vector<uint32_t> TextureTexels(TGLImageFrame* frame) {
    std::vector<uint32_t> texels(frame->textureWidth * frame->textureHeight);
    glBindTexture(GL_TEXTURE_2D, frame->texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

}  // namespace

TEST_F(GLTest, TextureOfOddSizeRepeatsItsLastColumnAndRow) {
    TPixmap* p = CreatePixmap(100, 50, PF_RGBA8888);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 100; ++x) p->WritePixel(x, y, static_cast<int>(0xFF000000u | (x << 16) | (y << 8) | 7));
    }
    TImage* image = LoadImage(p, 0);
    auto* frame = static_cast<TGLImageFrame*>(image->Frame(0));
    ASSERT_FALSE(IsNull(frame));
    EXPECT_EQ(frame->textureWidth, 128);
    EXPECT_EQ(frame->textureHeight, 64);
    EXPECT_FLOAT_EQ(frame->s1, 0.78125f);
    EXPECT_FLOAT_EQ(frame->t1, 0.78125f);
    std::vector<uint32_t> t = TextureTexels(frame);
    auto at = [&](int x, int y) { return t[y * 128 + x]; };
    for (int y = 0; y < 50; y += 7) EXPECT_EQ(at(100, y), at(99, y)) << y;
    for (int x = 0; x < 100; x += 9) EXPECT_EQ(at(x, 50), at(x, 49)) << x;
    EXPECT_EQ(at(100, 50), at(99, 49));
    EXPECT_EQ(at(57, 33), 0xFF000000u | (7 << 16) | (33 << 8) | 57);  // RGBA bytes, little-endian
}

TEST_F(GLTest, PowerOfTwoTextureIsUsedWhole) {
    TImage* image = LoadImage(Filled(64, 64, PF_RGBA8888, static_cast<int>(0xFF123456)), 0);
    auto* frame = static_cast<TGLImageFrame*>(image->Frame(0));
    EXPECT_EQ(frame->textureWidth, 64);
    EXPECT_EQ(frame->textureHeight, 64);
    EXPECT_FLOAT_EQ(frame->s1, 1);
    EXPECT_FLOAT_EQ(frame->t1, 1);
}

TEST_F(GLTest, FrameIsRemadeAfterWriteAndNewGeneration) {
    TImage* image = LoadImage(Filled(8, 8, PF_RGBA8888, -1), 0);
    TImageFrame* first = image->Frame(0);
    EXPECT_EQ(image->Frame(0), first);
    LockImage(image, 0, true, true);
    EXPECT_EQ(image->seqs->DataAs<int32_t>()[0], 0);
    TImageFrame* second = image->Frame(0);
    EXPECT_NE(second, first);
    AdvanceGraphicsSeq();
    EXPECT_NE(image->Frame(0), second);
}

TEST_F(GLTest, MidHandledImageCoversItsBox) {
    AutoMidHandle(true);
    TImage* image = LoadImage(Filled(64, 32, PF_RGBA8888, static_cast<int>(0xFFFF0000)), 0);
    AutoMidHandle(false);
    EXPECT_FLOAT_EQ(image->handleX, 32);
    EXPECT_FLOAT_EQ(image->handleY, 16);
    DrawImage(image, 100, 100);
    EXPECT_EQ(PixelAt(68, 84), 0xFF0000);
    EXPECT_EQ(PixelAt(131, 115), 0xFF0000);
    EXPECT_EQ(PixelAt(67, 100), 0);
    EXPECT_EQ(PixelAt(132, 100), 0);
    EXPECT_EQ(PixelAt(100, 116), 0);
}

TEST_F(GLTest, RotatedScaledImageLandsWhereTheTransformSays) {
    TImage* image = LoadImage(Filled(10, 10, PF_RGBA8888, static_cast<int>(0xFF00FF00)), 0);
    MidHandleImage(image);
    SetTransform(90, 2, 1);
    // (x, y) -> (-y, 2x): x in -5..5 covers rows 90..110, y covers columns 95..105.
    DrawImage(image, 100, 100);
    EXPECT_EQ(PixelAt(100, 91), 0x00FF00);
    EXPECT_EQ(PixelAt(96, 108), 0x00FF00);
    EXPECT_EQ(PixelAt(100, 88), 0);
    EXPECT_EQ(PixelAt(107, 100), 0);
    EXPECT_EQ(PixelAt(93, 100), 0);
}

TEST_F(GLTest, AlphaBlendedImageModulatesByColour) {
    SetClsColor(0, 0, 200);
    Cls();
    TImage* image = LoadImage(Filled(16, 16, PF_RGBA8888, static_cast<int>(0xFFFFFFFF)), 0);
    SetBlend(BLEND_ALPHA);
    SetColor(255, 0, 0);
    SetAlpha(0.5f);
    DrawImage(image, 10, 10);
    int rgb = PixelAt(15, 15);
    EXPECT_NEAR(Red(rgb), 128, 2);
    EXPECT_NEAR(Blue(rgb), 100, 2);
}

TEST_F(GLTest, MaskedImageMakesTheKeyColourTransparent) {
    SetMaskColor(255, 0, 255);
    TPixmap* p = Filled(4, 1, PF_RGB888, static_cast<int>(0xFFFF00FF));
    p->WritePixel(0, 0, static_cast<int>(0xFF00FF00));
    TImage* image = LoadImage(p, IMAGE_MASKED);
    SetMaskColor(0, 0, 0);
    TPixmap* stored = LockImage(image, 0, true, false);
    EXPECT_EQ(static_cast<unsigned>(stored->ReadPixel(0, 0)) >> 24, 255u);
    EXPECT_EQ(static_cast<unsigned>(stored->ReadPixel(1, 0)) >> 24, 0u);
    SetBlend(BLEND_MASK);
    DrawImage(image, 20, 20);
    EXPECT_EQ(PixelAt(20, 20), 0x00FF00);
    EXPECT_EQ(PixelAt(21, 20), 0);
    // An image with alpha is never masked.
    TImage* rgba = LoadImage(Filled(2, 1, PF_RGBA8888, static_cast<int>(0xFFFF00FF)), IMAGE_MASKED);
    EXPECT_EQ(static_cast<unsigned>(LockImage(rgba, 0, true, false)->ReadPixel(0, 0)) >> 24, 255u);
}

TEST_F(GLTest, AnimationCellsAreNumberedAcrossThenDown) {
    TPixmap* sheet = CreatePixmap(64, 64, PF_RGBA8888);
    sheet->ClearPixels(0);
    const int colours[4] = {static_cast<int>(0xFF000001), static_cast<int>(0xFF000002),
                            static_cast<int>(0xFF000003), static_cast<int>(0xFF000004)};
    for (int cell = 0; cell < 4; ++cell) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) sheet->WritePixel(32 * (cell % 2) + x, 32 * (cell / 2) + y, colours[cell]);
        }
    }
    TImage* anim = LoadAnimImage(sheet, 32, 32, 1, 3, 0);
    ASSERT_FALSE(IsNull(anim));
    EXPECT_EQ(anim->FrameCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(LockImage(anim, i, true, false)->ReadPixel(5, 5), colours[i + 1]);
    EXPECT_TRUE(IsNull(LoadAnimImage(sheet, 32, 32, 2, 3, 0)));
    EXPECT_TRUE(IsNull(LoadAnimImage(sheet, 0, 32, 0, 1, 0)));
    // Ranges whose end or cell count overflows an int are invalid ranges too.
    EXPECT_TRUE(IsNull(LoadAnimImage(sheet, 32, 32, 2147483647, 2, 0)));
    TPixmap* strip = CreatePixmap(65536, 1, PF_I8);
    EXPECT_TRUE(IsNull(LoadAnimImage(strip, 1, 1, 1, 2147483647, 0)));
}

TEST_F(GLTest, ImagesWithoutPixelsOrFarAwayDrawNothing) {
    TImage* empty = CreateImage(0, 0, 1, 0);
    DrawImage(empty, 10, 10);
    TileImage(empty, 10, 10);
    TImage* wide = CreateImage((1 << 30) + 1, 0, 1, 0);
    DrawImage(wide, 0, 0);
    DrawImage(LoadImage(CreatePixmap(0, 5, PF_RGBA8888), 0), 0, 0);
    int w = (1 << 30) + 1, h = 1;
    GLTextureSize(w, h);
    EXPECT_GT(w, 0);
    EXPECT_EQ(PixelAt(11, 11), 0);
    // Tiling from positions at the ends of the float range lines up and ends.
    TImage* tile = LoadImage(Filled(10, 10, PF_RGBA8888, static_cast<int>(0xFFFFFFFF)), 0);
    TileImage(tile, 1e30f, -1e30f);
    EXPECT_EQ(PixelAt(50, 50), 0xFFFFFF);
    TileImage(tile, NAN, 0);
    TileImage(tile, INFINITY, 0);
}

TEST_F(GLTest, TileImageStartsLeftOfTheViewport) {
    TPixmap* p = Filled(10, 10, PF_RGBA8888, static_cast<int>(0xFF000000));
    for (int y = 0; y < 10; ++y) p->WritePixel(0, y, static_cast<int>(0xFFFFFFFF));
    TImage* image = LoadImage(p, 0);
    SetTransform(30, 2, 2);  // ignored by tiling, and restored after it
    TileImage(image, 3, 0);
    for (int x = 3; x < 100; x += 10) EXPECT_EQ(PixelAt(x, 50), 0xFFFFFF) << x;
    EXPECT_EQ(PixelAt(4, 50), 0);
    EXPECT_EQ(PixelAt(2, 50), 0);
    EXPECT_NEAR(TVanta2DGraphics::Current()->jx, 1.0, 1e-6);
}

TEST_F(GLTest, GrabImageTakesThePixelsDrawn) {
    SetColor(0, 255, 0);
    DrawRect(30, 30, 8, 8);
    TImage* image = CreateImage(8, 8, 1, 0);
    EXPECT_EQ(image->flags & IMAGE_DYNAMIC, IMAGE_DYNAMIC);
    GrabImage(image, 30, 30);
    EXPECT_EQ(static_cast<unsigned>(LockImage(image, 0, true, false)->ReadPixel(4, 4)), 0xFF00FF00u);
}

TEST_F(GLTest, LoadImageOfMissingFileIsNull) {
    EXPECT_TRUE(IsNull(LoadImage(u"no/such/file.png"_s)));
}

TEST_F(GLTest, TextureCacheDoesNotSeeTheApplicationsOwnCalls) {
    TImage* image = LoadImage(Filled(8, 8, PF_RGBA8888, static_cast<int>(0xFFFF0000)), 0);
    DrawImage(image, 10, 10);
    EXPECT_EQ(PixelAt(12, 12), 0xFF0000);
    glDisable(GL_TEXTURE_2D);  // behind the cache's back: the next draw is untextured
    DrawImage(image, 30, 10);
    EXPECT_EQ(PixelAt(32, 12), 0xFFFFFF);
    // A primitive turns texturing off through the cache, so the next image
    // enables it again.
    DrawRect(0, 100, 2, 2);
    DrawImage(image, 50, 10);
    EXPECT_EQ(PixelAt(52, 12), 0xFF0000);
}

TEST_F(GLTest, ContextsOfThe2DDriverWrapGLContexts) {
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 0, 0, 90, 70, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(host);
    TGraphics* attached = AttachGraphics(reinterpret_cast<intptr_t>(host), 0);
    auto* g2d = Downcast<TVanta2DGraphics>(attached);
    ASSERT_FALSE(IsNull(g2d));
    EXPECT_TRUE(IsA<TGLGraphics>(g2d->graphics));
    EXPECT_EQ(g2d->viewportWidth, 90);
    EXPECT_EQ(g2d->viewportHeight, 70);
    SetGraphics(attached);
    EXPECT_EQ(TVanta2DGraphics::Current(), g2d);
    EXPECT_EQ(GraphicsWidth(), 90);
    // Textures are made in the shared context and draw in any current one.
    TImage* image = LoadImage(Filled(4, 4, PF_RGBA8888, static_cast<int>(0xFF0000FF)), 0);
    DrawImage(image, 10, 10);
    EXPECT_EQ(PixelAt(11, 11), 0x0000FF);
    int live = GLLiveContexts();
    CloseGraphics(attached);
    EXPECT_EQ(GLLiveContexts(), live - 1);
    EXPECT_TRUE(IsNull(TVanta2DGraphics::Current()));
    EXPECT_TRUE(IsNull(g2d->graphics));
    DestroyWindow(host);
}

// An image with a clear rim is drawn by its outline alone: the picture must
// be the whole quad's, within the one level that interpolating over other
// triangles may round differently, wherever the opaque part sits and
// however the image is turned.
TEST_F(GLTest, OutlinedImageLooksAsItsWholeQuad) {
    TPixmap* p = Filled(120, 90, PF_RGBA8888, 0);
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 120; ++x) {
            const int dx = x - 30, dy = y - 25;  // an ellipse off centre, and a thin diagonal
            if (dx * dx + 2 * dy * dy < 300 || (x == y + 20 && y > 0 && y < 80)) {
                p->WritePixel(x, y, static_cast<int>(0xFF0000C8u | (x * 2) << 16 | (y * 2) << 8));
            }
        }
    }
    TImage* image = LoadImage(p, IMAGE_FILTERED);
    MidHandleImage(image);
    SetClsColor(20, 40, 60);
    SetBlend(BLEND_ALPHA);
    SetAlpha(0.8f);
    SetTransform(33, 1.3f, 1.3f);
    auto draw = [&](bool plain) {
        GLDrawPlainly(plain);
        Cls();
        DrawImage(image, 160, 120);
        std::vector<uint32_t> pixels(kTestWidth * kTestHeight);
        glReadPixels(0, 0, kTestWidth, kTestHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    };
    const int before = GLOutlinedDraws();
    std::vector<uint32_t> outlined = draw(false);
    EXPECT_EQ(GLOutlinedDraws(), before + 1);
    std::vector<uint32_t> whole = draw(true);
    GLDrawPlainly(false);
    int worst = 0, lit = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = (outlined[i] >> shift) & 255, b = (whole[i] >> shift) & 255;
            worst = std::max(worst, std::abs(a - b));
        }
        lit += (whole[i] & 0xFFFFFF) != (20 | 40 << 8 | 60 << 16);
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(lit, 1500);  // the ellipse and the line did show
}
