// The OpenGL graphics driver over WGL: windows of the "Korvex GLGraphics"
// class, pixel formats from the graphics flags, one hidden context that
// shares its textures and display lists with every other context, full-
// screen mode switching on focus, the swap interval, and a few functions that
// draw straight to the current context outside the 2D layer.
//
// Invariants kept here:
//  - every live context record is on the context list exactly once; a closed
//    record is unlinked and freed, and its TGLGraphics forgets it;
//  - the current record is null or on the list;
//  - at most one window (a full-screen one) holds a changed display mode.
#pragma once
#include <cstdint>

#include "graphics/graphics.h"
#include "graphics/pixmap.h"
#include "runtime/win32.h"

struct GLContextRecord;

class TGLGraphicsDriver;

class TGLGraphics : public TGraphics {
    KV_CLASS(TGLGraphics, TGraphics)
public:
    GLContextRecord* record = nullptr;  // null after Close

    ~TGLGraphics() override;
    TGraphicsDriver* Driver() override;
    void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
    void Close() override;
    HWND Window();  // null when closed
};

class TGLGraphicsDriver : public TGraphicsDriver {
    KV_CLASS(TGLGraphicsDriver, TGraphicsDriver)
public:
    String* ToString() override;  // "OpenGL"
    Array* GraphicsModes() override;
    TGraphics* AttachGraphics(intptr_t widget, int flags) override;
    TGraphics* CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(TGraphics* graphics) override;
    void Flip(int sync) override;
    // Switches the thread between the shared context and the current one;
    // texture creation and deletion sit between two calls.
    virtual void SwapSharedContext();
};

TGLGraphicsDriver* GLGraphicsDriver();

// Selects the OpenGL driver with GRAPHICS_BACKBUFFER, then calls Graphics.
TGraphics* GLGraphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
void GLBeginOverlay();
void GLEndOverlay();
void GLDrawRect(int x, int y, int width, int height);
void GLDrawText(String* text, int x, int y);
void GLDrawPixmap(TPixmap* pixmap, int x, int y);
// A texture of the pixmap (power-of-two size, stretched), uploaded with all
// mipmap levels when asked; its name.
unsigned GLTexFromPixmap(TPixmap* pixmap, bool mipmap);

// The texture size rule: each side rounded up to a power of two, then halved
// until the driver accepts it; "Unable to calculate tex size" at 1x1.
void GLTextureSize(int& width, int& height);

// Layer facts for tests and the 2D driver.
HGLRC GLSharedContext();
int GLLastSwapInterval();
HWND GLDisplayModeWindow();
int GLLiveContexts();
const char* GLWindowClassName();

void StartGLGraphicsModule();
