// Shared pieces of the OpenGL tests: a windowed 2D context on the Xvfb
// display and pixel reads from what was drawn.
#pragma once
#include <gtest/gtest.h>

#include "runtime/win32.h"
#include <GL/gl.h>

#include "graphics/freetypefont.h"
#include "graphics/glgraphics.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/vanta2d.h"
#include "system/system.h"

constexpr int kTestWidth = 320;
constexpr int kTestHeight = 240;

inline void StartGLTestModules() {
    StartGLVanta2DModule();
    StartFreeTypeModule();
}

// Each test gets a fresh default context of the 2D OpenGL driver with
// opaque white drawing, solid blending and a black background.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartGLTestModules();
        SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
        graphics = Graphics(kTestWidth, kTestHeight, 0, 0, 0);
        ASSERT_FALSE(IsNull(graphics));
        PollSystem();
        SetBlend(BLEND_SOLID);
        SetAlpha(1);
        SetColor(255, 255, 255);
        SetClsColor(0, 0, 0);
        Cls();
    }
    void TearDown() override {
        EndGraphics();
        SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    }
    TGraphics* graphics = nullptr;
};

// The colour at (x, y) of the back buffer as 0xRRGGBB.
inline int PixelAt(int x, int y) {
    unsigned char rgba[4];
    glReadPixels(x, GraphicsHeight() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    return (rgba[0] << 16) | (rgba[1] << 8) | rgba[2];
}

inline int Red(int rgb) { return (rgb >> 16) & 255; }
inline int Green(int rgb) { return (rgb >> 8) & 255; }
inline int Blue(int rgb) { return rgb & 255; }

// Pixels in [x0, x1) x [y0, y1) that are not black.
inline int LitPixels(int x0, int y0, int x1, int y1) {
    int lit = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (PixelAt(x, y) != 0) ++lit;
        }
    }
    return lit;
}
