#include "graphics/vanta2d.h"

#include <cmath>

#include "runtime/exception.h"
#include "runtime/math.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TVanta2DGraphics, TGraphics);
KV_DEFINE_CLASS(TVanta2DDriver, TGraphicsDriver);

namespace {

Ref<TVanta2DGraphics> current;
Ref<TVanta2DDriver> currentDriver;
Ref<TImageFont> defaultFont;
int maskRed = 0, maskGreen = 0, maskBlue = 0;
bool autoMidHandle = false;
int autoImageFlags = IMAGE_MASKED | IMAGE_FILTERED;

TVanta2DGraphics* G() { return Checked(current.get()); }
TVanta2DDriver* D() { return Checked(currentDriver.get()); }

// Derives the matrix from rotation and scale and sends it.
void SendTransform(TVanta2DGraphics* g) {
    double c = Cos(g->rotation), s = Sin(g->rotation);
    g->ix = static_cast<float>(c * g->scaleX);
    g->iy = static_cast<float>(-s * g->scaleY);
    g->jx = static_cast<float>(s * g->scaleX);
    g->jy = static_cast<float>(c * g->scaleY);
    D()->SetTransform(g->ix, g->iy, g->jx, g->jy);
}

}  // namespace

// ---- TVanta2DGraphics ----

TGraphicsDriver* TVanta2DGraphics::Driver() { return driver; }

void TVanta2DGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) {
    if (IsNull(graphics)) {
        width = height = depth = hertz = flags = 0;
        return;
    }
    graphics->GetSettings(width, height, depth, hertz, flags);
}

void TVanta2DGraphics::Close() {
    if (!IsNull(graphics)) graphics->Close();
    graphics = NullOf<TGraphics>();
    driver = NullOf<TVanta2DDriver>();
}

void TVanta2DGraphics::Validate() {
    float hx = -handleX, hy = -handleY;
    ::SetBlend(blend);
    ::SetColor(colorRed, colorGreen, colorBlue);
    ::SetAlpha(alpha);
    ::SetClsColor(clsRed, clsGreen, clsBlue);
    ::SetLineWidth(lineWidth);
    ::SetRotation(rotation);
    ::SetScale(scaleX, scaleY);
    ::SetViewport(viewportX, viewportY, viewportWidth, viewportHeight);
    ::SetOrigin(originX, originY);
    ::SetHandle(hx, hy);
    ::SetImageFont(imageFont);
}

void TVanta2DGraphics::MakeCurrent() {
    current = this;
    currentDriver = driver;
    Validate();
    if (!validated) {
        ::Cls();
        Flip(0);
        ::Cls();
        Flip(0);
        validated = true;
    }
}

void TVanta2DGraphics::ClearCurrent() {
    current = NullOf<TVanta2DGraphics>();
    currentDriver = NullOf<TVanta2DDriver>();
}

TVanta2DGraphics* TVanta2DGraphics::Current() { return current; }

TVanta2DGraphics* TVanta2DGraphics::Create(TGraphics* graphics, TVanta2DDriver* driver) {
    TImageFont* font = DefaultImageFont();
    int width, height, depth, hertz, flags;
    graphics->GetSettings(width, height, depth, hertz, flags);
    TVanta2DGraphics* g = new TVanta2DGraphics;
    g->viewportWidth = width;
    g->viewportHeight = height;
    g->imageFont = font;
    g->graphics = graphics;
    g->driver = driver;
    return g;
}

// ---- module functions ----

TVanta2DDriver* Current2DDriver() { return currentDriver; }

void Cls() { D()->Cls(); }

void SetClsColor(int red, int green, int blue) {
    TVanta2DGraphics* g = G();
    g->clsRed = red;
    g->clsGreen = green;
    g->clsBlue = blue;
    D()->SetClsColor(red, green, blue);
}

void GetClsColor(int& red, int& green, int& blue) {
    red = G()->clsRed;
    green = G()->clsGreen;
    blue = G()->clsBlue;
}

void SetColor(int red, int green, int blue) {
    TVanta2DGraphics* g = G();
    g->colorRed = red;
    g->colorGreen = green;
    g->colorBlue = blue;
    D()->SetColor(red, green, blue);
}

void GetColor(int& red, int& green, int& blue) {
    red = G()->colorRed;
    green = G()->colorGreen;
    blue = G()->colorBlue;
}

void SetBlend(int mode) {
    G()->blend = mode;
    D()->SetBlend(mode);
}

int GetBlend() { return G()->blend; }

void SetAlpha(float alpha) {
    G()->alpha = alpha;
    D()->SetAlpha(alpha);
}

float GetAlpha() { return G()->alpha; }

void SetLineWidth(float width) {
    G()->lineWidth = width;
    D()->SetLineWidth(width);
}

float GetLineWidth() { return G()->lineWidth; }

void SetViewport(int x, int y, int width, int height) {
    TVanta2DGraphics* g = G();
    g->viewportX = x;
    g->viewportY = y;
    g->viewportWidth = width;
    g->viewportHeight = height;
    D()->SetViewport(x, y, width, height);
}

void GetViewport(int& x, int& y, int& width, int& height) {
    x = G()->viewportX;
    y = G()->viewportY;
    width = G()->viewportWidth;
    height = G()->viewportHeight;
}

void SetOrigin(float x, float y) {
    G()->originX = x;
    G()->originY = y;
}

void GetOrigin(float& x, float& y) {
    x = G()->originX;
    y = G()->originY;
}

void SetHandle(float x, float y) {
    G()->handleX = -x;
    G()->handleY = -y;
}

void GetHandle(float& x, float& y) {
    x = -G()->handleX;
    y = -G()->handleY;
}

void SetRotation(float rotation) {
    G()->rotation = rotation;
    SendTransform(G());
}

float GetRotation() { return G()->rotation; }

void SetScale(float scaleX, float scaleY) {
    G()->scaleX = scaleX;
    G()->scaleY = scaleY;
    SendTransform(G());
}

void GetScale(float& scaleX, float& scaleY) {
    scaleX = G()->scaleX;
    scaleY = G()->scaleY;
}

void SetTransform(float rotation, float scaleX, float scaleY) {
    TVanta2DGraphics* g = G();
    g->rotation = rotation;
    g->scaleX = scaleX;
    g->scaleY = scaleY;
    SendTransform(g);
}

void SetMaskColor(int red, int green, int blue) {
    maskRed = red;
    maskGreen = green;
    maskBlue = blue;
}

void GetMaskColor(int& red, int& green, int& blue) { GetMaskColorState(red, green, blue); }

void Plot(float x, float y) { D()->Plot(x + G()->originX, y + G()->originY); }

void DrawLine(float x0, float y0, float x1, float y1, bool drawLastPixel) {
    TVanta2DGraphics* g = G();
    float hx = g->handleX, hy = g->handleY;
    D()->DrawLine(hx, hy, hx + x1 - x0, hy + y1 - y0, x0 + g->originX, y0 + g->originY);
    if (!drawLastPixel) return;
    float px = x1 - x0 + hx, py = y1 - y0 + hy;
    D()->Plot(x0 + px * g->ix + py * g->iy + g->originX, y0 + px * g->jx + py * g->jy + g->originY);
}

void DrawRect(float x, float y, float width, float height) {
    TVanta2DGraphics* g = G();
    D()->DrawRect(g->handleX, g->handleY, g->handleX + width, g->handleY + height, x + g->originX, y + g->originY);
}

void DrawOval(float x, float y, float width, float height) {
    TVanta2DGraphics* g = G();
    D()->DrawOval(g->handleX, g->handleY, g->handleX + width, g->handleY + height, x + g->originX, y + g->originY);
}

void DrawPoly(Array* xy) {
    TVanta2DGraphics* g = G();
    D()->DrawPoly(Checked(xy), g->handleX, g->handleY, g->originX, g->originY);
}

void DrawPixmap(TPixmap* pixmap, int x, int y) { D()->DrawPixmap(Checked(pixmap), x, y); }

TPixmap* GrabPixmap(int x, int y, int width, int height) { return D()->GrabPixmap(x, y, width, height); }

void GetMaskColorState(int& red, int& green, int& blue) {
    red = maskRed;
    green = maskGreen;
    blue = maskBlue;
}

bool AutoMidHandleState() { return autoMidHandle; }
void SetAutoMidHandleState(bool on) { autoMidHandle = on; }
int AutoImageFlagsState() { return autoImageFlags; }
void SetAutoImageFlagsState(int flags) { autoImageFlags = flags; }

TImageFont* DefaultImageFont() {
    if (IsNull(defaultFont)) defaultFont = TImageFont::CreateDefault();
    return defaultFont;
}

void StartVanta2DModule() {
    KV_START_ONCE();
    StartGraphicsModule();
    StartPixmapModule();
    StartMathModule();
    StartImageModule();
    StartFontModule();
}
