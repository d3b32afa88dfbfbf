// The 2D drawing state and API: colour, alpha, blend mode, a 2x2 transform
// from rotation and scale, origin, handle, viewport and font, kept per
// context in a TVanta2DGraphics, with the drawing delegated to the current
// TVanta2DDriver.
//
// The transform: ix = cos(r) * sx, iy = -sin(r) * sy, jx = sin(r) * sx,
// jy = cos(r) * sy; a local point (x, y) maps to (x * ix + y * iy,
// x * jx + y * jy) and is then translated. The handle is stored negated.
#pragma once
#include <cstdint>

#include "graphics/font.h"
#include "graphics/graphics.h"
#include "graphics/image.h"
#include "graphics/pixmap.h"

constexpr int BLEND_MASK = 1;
constexpr int BLEND_SOLID = 2;
constexpr int BLEND_ALPHA = 3;
constexpr int BLEND_LIGHT = 4;
constexpr int BLEND_SHADE = 5;

class TVanta2DDriver;

class TVanta2DGraphics : public TGraphics {
    KV_CLASS(TVanta2DGraphics, TGraphics)
public:
    int32_t colorRed = 255, colorGreen = 255, colorBlue = 255;
    float alpha = 1.0f;
    int32_t clsRed = 0, clsGreen = 0, clsBlue = 0;
    float lineWidth = 1.0f;
    float rotation = 0;
    float scaleX = 1.0f, scaleY = 1.0f;
    float ix = 1, iy = 0, jx = 0, jy = 1;
    int32_t viewportX = 0, viewportY = 0, viewportWidth = 0, viewportHeight = 0;
    float originX = 0, originY = 0;
    float handleX = 0, handleY = 0;  // negated
    Ref<TImageFont> imageFont;
    int32_t blend = BLEND_MASK;
    Ref<TGraphics> graphics;     // the wrapped context
    Ref<TVanta2DDriver> driver;
    bool validated = false;

    TGraphicsDriver* Driver() override;
    void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
    void Close() override;
    // Re-sends the whole stored state to the driver.
    virtual void Validate();
    // Becomes current; the first time both buffers are cleared and presented.
    virtual void MakeCurrent();
    static void ClearCurrent();
    static TVanta2DGraphics* Current();
    static TVanta2DGraphics* Create(TGraphics* graphics, TVanta2DDriver* driver);
};

class TVanta2DDriver : public TGraphicsDriver {
    KV_CLASS(TVanta2DDriver, TGraphicsDriver)
public:
    virtual TImageFrame* CreateFrameFromPixmap(TPixmap* pixmap, int flags) = 0;
    virtual void SetBlend(int mode) = 0;
    virtual void SetAlpha(float alpha) = 0;
    virtual void SetColor(int red, int green, int blue) = 0;
    virtual void SetClsColor(int red, int green, int blue) = 0;
    virtual void SetViewport(int x, int y, int width, int height) = 0;
    virtual void SetTransform(float ix, float iy, float jx, float jy) = 0;
    virtual void SetLineWidth(float width) = 0;
    virtual void Cls() = 0;
    virtual void Plot(float x, float y) = 0;
    virtual void DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    virtual void DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    virtual void DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
    // xy: a float array of x, y pairs.
    virtual void DrawPoly(Array* xy, float handleX, float handleY, float originX, float originY) = 0;
    virtual void DrawPixmap(TPixmap* pixmap, int x, int y) = 0;
    virtual TPixmap* GrabPixmap(int x, int y, int width, int height) = 0;
};

TVanta2DDriver* Current2DDriver();

void Cls();
void SetClsColor(int red, int green, int blue);
void GetClsColor(int& red, int& green, int& blue);
void SetColor(int red, int green, int blue);
void GetColor(int& red, int& green, int& blue);
void SetBlend(int mode);
int GetBlend();
void SetAlpha(float alpha);
float GetAlpha();
void SetLineWidth(float width);
float GetLineWidth();
void SetViewport(int x, int y, int width, int height);
void GetViewport(int& x, int& y, int& width, int& height);
void SetOrigin(float x, float y);
void GetOrigin(float& x, float& y);
void SetHandle(float x, float y);
void GetHandle(float& x, float& y);
void SetRotation(float rotation);
float GetRotation();
void SetScale(float scaleX, float scaleY);
void GetScale(float& scaleX, float& scaleY);
void SetTransform(float rotation, float scaleX, float scaleY);
void SetMaskColor(int red, int green, int blue);
void GetMaskColor(int& red, int& green, int& blue);
void Plot(float x, float y);
void DrawLine(float x0, float y0, float x1, float y1, bool drawLastPixel = true);
void DrawRect(float x, float y, float width, float height);
void DrawOval(float x, float y, float width, float height);
void DrawPoly(Array* xy);
void DrawPixmap(TPixmap* pixmap, int x, int y);
TPixmap* GrabPixmap(int x, int y, int width, int height);

// Module state shared with the image module.
void GetMaskColorState(int& red, int& green, int& blue);
bool AutoMidHandleState();
void SetAutoMidHandleState(bool on);
int AutoImageFlagsState();
void SetAutoImageFlagsState(int flags);
// The built-in 8x16 font, made once on first need.
TImageFont* DefaultImageFont();

void StartVanta2DModule();
