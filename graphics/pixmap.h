// Pixmaps: rectangles of pixels in main memory in one of twelve byte layouts,
// their conversions and operations, and the chain of pixmap loaders.
//
// Invariants kept here:
//  - row y starts at pixels + y * pitch; pixel (x, y) is at
//    pixels + y * pitch + x * PixelFormatBytes(format);
//  - an owning pixmap (capacity >= 0) keeps its pixels in the byte array
//    `memory` (capacity bytes, so the collector sees every pointer into the
//    pixels as a pointer into that array); every other pixmap has the empty
//    array there and capacity -1;
//  - a window pixmap points into its parent's memory and holds the parent in
//    `source`, so the memory outlives the window; `source` is the null object
//    for every other pixmap;
//  - converting, copying, flipping, masking and resizing always make a new
//    pixmap with memory of its own (alignment 4); nothing but Window shares.
//
// Colours passed as one 32-bit integer are ARGB: alpha in bits 24-31, red
// 16-23, green 8-15, blue 0-7. PF_RGBA8888 is the standard format: every
// conversion goes through it.
#pragma once
#include <cstdint>

#include "runtime/array.h"
#include "runtime/list.h"
#include "runtime/object.h"

class TStream;

constexpr int PF_I8 = 1;
constexpr int PF_A8 = 2;
constexpr int PF_BGR888 = 3;
constexpr int PF_RGB888 = 4;
constexpr int PF_BGRA8888 = 5;
constexpr int PF_RGBA8888 = 6;
constexpr int PF_RED8 = 7;
constexpr int PF_GREEN8 = 8;
constexpr int PF_BLUE8 = 9;
constexpr int PF_ALPHA8 = 10;
constexpr int PF_INTENSITY8 = 11;
constexpr int PF_LUMINANCE8 = 12;

struct PixelFormatInfo {
    int bytesPerPixel;
    int redBits;
    int greenBits;
    int blueBits;
    int alphaBits;
};

// Indexed by format; row 0 (and every value outside 1..12) is all zero.
extern const PixelFormatInfo PIXEL_FORMATS[13];

const PixelFormatInfo& PixelFormat(int format);
inline int PixelFormatBytes(int format) { return PixelFormat(format).bytesPerPixel; }
inline int PixelFormatAlphaBits(int format) { return PixelFormat(format).alphaBits; }

class TPixmap : public TData {
    KV_CLASS(TPixmap, TData)
public:
    unsigned char* pixels = nullptr;  // first byte of row 0
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;     // bytes from one row to the next
    int32_t format = 0;    // PF_...
    int32_t capacity = -1; // bytes owned; -1 for a static pixmap or a window
    Ref<TPixmap> source;   // the pixmap whose memory a window shares
    Ref<Array> memory;     // the owned pixel bytes ("b" array)

    // The slots, in order (Create and CreateStatic are class functions).
    virtual unsigned char* PixelPtr(int x, int y);  // no bounds check
    // A static pixmap over the rectangle; it must lie inside this pixmap
    // (a runtime error otherwise).
    virtual TPixmap* Window(int x, int y, int width, int height);
    virtual TPixmap* Copy();
    // Converts each row of `source` into this pixmap at (x, y + row); the
    // part outside this pixmap is left out.
    virtual void Paste(TPixmap* source, int x, int y);
    virtual TPixmap* Convert(int format);
    // Points outside the pixmap read as 0 and are not written.
    virtual int ReadPixel(int x, int y);
    virtual void WritePixel(int x, int y, int argb);
    // pitch = width * bytes per pixel rounded up to a multiple of `align`;
    // the pixels are not cleared. Negative or oversized dimensions raise a
    // runtime error; an alignment below 1 counts as 1.
    static TPixmap* Create(int width, int height, int format, int align);
    static TPixmap* CreateStatic(void* pixels, int width, int height, int pitch, int format);
    virtual void ClearPixels(int argb);
};

// ---- row primitives ----

void CopyPixels(const void* source, void* destination, int format, int count);
void ConvertPixels(const void* source, int sourceFormat, void* destination, int destinationFormat,
                   int count);

// ---- module functions (the null object raises TNullObjectException) ----

TPixmap* CreatePixmap(int width, int height, int format, int align = 4);
TPixmap* CreateStaticPixmap(void* pixels, int width, int height, int pitch, int format);
TPixmap* CopyPixmap(TPixmap* pixmap);
TPixmap* ConvertPixmap(TPixmap* pixmap, int format);
int PixmapWidth(TPixmap* pixmap);
int PixmapHeight(TPixmap* pixmap);
int PixmapPitch(TPixmap* pixmap);
int PixmapFormat(TPixmap* pixmap);
unsigned char* PixmapPixelPtr(TPixmap* pixmap, int x = 0, int y = 0);
TPixmap* PixmapWindow(TPixmap* pixmap, int x, int y, int width, int height);
int ReadPixel(TPixmap* pixmap, int x, int y);
void WritePixel(TPixmap* pixmap, int x, int y, int argb);
void ClearPixels(TPixmap* pixmap, int argb);
// A new PF_RGBA8888 pixmap in which the key colour is transparent (see pixmap.cpp).
TPixmap* MaskPixmap(TPixmap* pixmap, int red, int green, int blue);
TPixmap* XFlipPixmap(TPixmap* pixmap);
TPixmap* YFlipPixmap(TPixmap* pixmap);
// Bilinear stretch to the new size, in the source's format.
TPixmap* ResizePixmap(TPixmap* pixmap, int width, int height);

// ---- the loader chain ----

// Constructing a loader links it in at the head of the chain, so the newest
// loader is asked first. Loaders are never removed.
class TPixmapLoader : public Object {
    KV_CLASS(TPixmapLoader, Object)
public:
    Ref<TPixmapLoader> next;

    TPixmapLoader();
    // A pixmap decoded from the stream, or the null object.
    virtual TPixmap* LoadPixmap(TStream* stream) = 0;
};

// The newest loader, or the null object.
TPixmapLoader* PixmapLoaders();

// Opens the url and asks each loader in turn, from the stream's starting
// position; the null object when the url cannot be opened, the stream cannot
// seek or no loader understands it. The stream is always closed.
TPixmap* LoadPixmap(Object* url);

void StartPixmapModule();
