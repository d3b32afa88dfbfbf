// The OpenGL 2D driver: the 2D API of vanta2d.h in fixed-function OpenGL
// over the OpenGL graphics driver, with images as textures of the shared
// context.
//
// The driver keeps a small cache of GL state (blend mode, bound texture,
// texture enable) and skips calls that would not change it; the cache is
// reset whenever a 2D context becomes current. State the application changes
// with its own GL calls is not seen by the cache: the application restores it.
#pragma once
#include <cstdint>
#include <vector>

#include "graphics/vanta2d.h"

class TGLImageFrame : public TImageFrame {
    KV_CLASS(TGLImageFrame, TImageFrame)
public:
    float s0 = 0, t0 = 0, s1 = 1, t1 = 1;
    int32_t texture = 0;
    int32_t seq = 0;
    int32_t textureWidth = 0, textureHeight = 0;
    // The convex polygon that holds every texel filtering can show, as u, v
    // pairs from 0 to 1 over the image, when it is worth drawing in place of
    // the whole quad (outlined); empty when nothing shows.
    std::vector<float> outline;
    bool outlined = false;
    bool mipmapped = false;
    bool filtered = false;
    // The texture's min filter reads level 0 alone for now: the image is
    // drawn magnified, where its mipmaps cannot show.
    bool levelZeroOnly = false;

    ~TGLImageFrame() override;
    void Draw(float x0, float y0, float x1, float y1, float tx, float ty) override;
    // Draws the outline, when leaving the rest out changes no pixel; false
    // when the whole quad must be drawn.
    bool DrawOutline(float x0, float y0, float x1, float y1, float tx, float ty);
    void SampleLevelZeroOnly(bool only);
    // Must be called with the texture's context current (the driver brackets
    // it with SwapSharedContext).
    static TGLImageFrame* CreateFromPixmap(TPixmap* pixmap, int flags);
};

// Every image drawn plainly, as its one whole quad with its texture's own
// filters (true), or with the shortcuts that change no pixel (false, the
// default): only the outline that can show something, and a magnified
// mipmapped image sampled from level 0 alone. For comparing the pictures.
void GLDrawPlainly(bool plain);
// How many images have been drawn by their outlines, and how many from
// level 0 alone, so far.
int GLOutlinedDraws();
int GLLevelZeroDraws();

class TGLVanta2DDriver : public TVanta2DDriver {
    KV_CLASS(TGLVanta2DDriver, TVanta2DDriver)
public:
    String* ToString() override;  // "OpenGL"
    Array* GraphicsModes() override;
    TGraphics* AttachGraphics(intptr_t widget, int flags) override;
    TGraphics* CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(TGraphics* graphics) override;
    void Flip(int sync) override;

    TImageFrame* CreateFrameFromPixmap(TPixmap* pixmap, int flags) override;
    void SetBlend(int mode) override;
    void SetAlpha(float alpha) override;
    void SetColor(int red, int green, int blue) override;
    void SetClsColor(int red, int green, int blue) override;
    void SetViewport(int x, int y, int width, int height) override;
    void SetTransform(float ix, float iy, float jx, float jy) override;
    void SetLineWidth(float width) override;
    void Cls() override;
    void Plot(float x, float y) override;
    void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) override;
    void DrawPoly(Array* xy, float handleX, float handleY, float originX, float originY) override;
    void DrawPixmap(TPixmap* pixmap, int x, int y) override;
    TPixmap* GrabPixmap(int x, int y, int width, int height) override;

    // Resets the cache and sets the projection and viewport for the context.
    virtual void ResetContext(TGraphics* graphics);
};

TGLVanta2DDriver* GLVanta2DDriver();
// Vertex count DrawOval uses for the local box (at least 12, a multiple of 4).
int GLOvalSegments(float x0, float y0, float x1, float y1);

void StartGLVanta2DModule();
