// Graphics contexts, display modes and presentation, independent of any
// driver: the current driver and context, the mode cache, the default
// context made by Graphics, and Flip with its software frame limiter.
//
// Invariants kept here:
//  - the five current values (width, height, depth, hertz, flags) are the
//    current context's settings, or all 0 when there is none;
//  - the mode cache is empty or holds the current driver's modes;
//  - GraphicsSeq is never 0: it changes whenever Graphics makes a context or
//    EndGraphics closes one, and everything made inside a context (textures)
//    carries the value it was made under.
#pragma once
#include "stream/datatype.h"
#include <cstdint>

#include "runtime/array.h"
#include "runtime/object.h"
#include "runtime/string.h"

constexpr int GRAPHICS_BACKBUFFER = 2;
constexpr int GRAPHICS_ALPHABUFFER = 4;
constexpr int GRAPHICS_DEPTHBUFFER = 8;
constexpr int GRAPHICS_STENCILBUFFER = 16;
constexpr int GRAPHICS_ACCUMBUFFER = 32;

class TGraphicsDriver;

class TGraphicsMode : public Object {
    KV_CLASS(TGraphicsMode, Object)
public:
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t hertz = 0;
    // "1024,768,32 60Hz"
    String* ToString() override;
    static TGraphicsMode* Create(int width, int height, int depth, int hertz);
};

class TGraphics : public Object {
    KV_CLASS(TGraphics, Object)
public:
    virtual TGraphicsDriver* Driver() = 0;
    // depth 0 means a window, non-zero a full-screen display.
    virtual void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) = 0;
    // Releases the context; the object must not be used afterwards.
    virtual void Close() = 0;
};

// A driver is also the data type of its contexts: a context is written as
// its width, height, depth and hertz, four integers, and read back as a new
// context with those settings (flags 0).
class TGraphicsDriver : public TDataType {
    KV_CLASS(TGraphicsDriver, TDataType)
public:
    String* TypeName() override;
    Object* ReadObject(TStream* stream) override;
    void WriteObject(Object* object, TStream* stream) override;

    virtual Array* GraphicsModes() = 0;  // ":TGraphicsMode"
    virtual TGraphics* AttachGraphics(intptr_t widget, int flags) = 0;
    virtual TGraphics* CreateGraphics(int width, int height, int depth, int hertz, int flags) = 0;
    virtual void SetGraphics(TGraphics* graphics) = 0;  // null object: none current
    virtual void Flip(int sync) = 0;
};

// The context generation stamp (see the invariants above).
extern int32_t GraphicsSeq;
// The hook id whose chain Flip runs (null payload) before presenting.
extern int FlipHook;

void SetGraphicsDriver(TGraphicsDriver* driver, int defaultFlags);
TGraphicsDriver* GetGraphicsDriver();
int DefaultGraphicsFlags();
Array* GraphicsModes();  // a fresh copy of the cache
int CountGraphicsModes();
void GetGraphicsMode(int index, int& width, int& height, int& depth, int& hertz);
// An argument of 0 matches anything.
bool GraphicsModeExists(int width, int height, int depth, int hertz);
// Null object on failure; anything the driver throws is swallowed.
TGraphics* CreateGraphics(int width, int height, int depth, int hertz, int flags);
TGraphics* AttachGraphics(intptr_t widget, int flags);
void CloseGraphics(TGraphics* graphics);
void SetGraphics(TGraphics* graphics);
TGraphics* CurrentGraphics();
int GraphicsWidth();
int GraphicsHeight();
int GraphicsDepth();
int GraphicsHertz();
int GraphicsFlags();
// The default context: ends the previous one, creates, makes current and
// sets up the frame limiter; the null object when no context can be made.
TGraphics* Graphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
void EndGraphics();
// -1: the soft-synced default schedule; 0 or 1: straight to the driver.
void Flip(int sync = -1);
bool SoftSyncEnabled();
// How long the last Graphics call spent timing the display's retrace (up to
// a second when the display does not sync by itself), in milliseconds.
int RetraceProbeMillis();

// Increments GraphicsSeq, skipping 0 (exposed for the overflow check).
void AdvanceGraphicsSeq();

void StartGraphicsModule();
