// Images: drawable pictures with one or more frames. Each frame keeps its
// pixels as a pixmap in main memory (the master copy) and, made lazily from
// it, a driver-side TImageFrame (a texture).
//
// Invariants kept here:
//  - pixmaps, frames and seqs all have the frame count as length;
//  - seqs[i] is the GraphicsSeq value frames[i] was made under, 0 when none
//    is made; since GraphicsSeq is never 0 the first Frame(i) always makes one;
//  - writing a frame's pixmap (SetPixmap, Lock for writing) drops its texture.
#pragma once
#include <cstdint>

#include "graphics/pixmap.h"
#include "runtime/array.h"
#include "runtime/list.h"
#include "runtime/object.h"

constexpr int IMAGE_MASKED = 1;
constexpr int IMAGE_FILTERED = 2;
constexpr int IMAGE_MIPMAPPED = 4;
constexpr int IMAGE_DYNAMIC = 8;

// A frame's picture inside a driver context.
class TImageFrame : public Object {
    KV_CLASS(TImageFrame, Object)
public:
    // Draws the picture stretched over the local rectangle, each corner mapped
    // by the current transform and translated by (tx, ty).
    virtual void Draw(float x0, float y0, float x1, float y1, float tx, float ty) = 0;
};

class TImage : public TData {
    KV_CLASS(TImage, TData)
public:
    int32_t width = 0;
    int32_t height = 0;
    int32_t flags = 0;
    int32_t maskRed = 0, maskGreen = 0, maskBlue = 0;
    float handleX = 0, handleY = 0;
    Ref<Array> pixmaps;  // ":TPixmap"
    Ref<Array> frames;   // ":TImageFrame"
    Ref<Array> seqs;     // "i"

    // The frame's texture, made or remade when needed; may be the null object.
    virtual TImageFrame* Frame(int index);
    // The frame's pixmap (created blank, PF_RGBA8888, when missing).
    virtual TPixmap* Lock(int index, bool read, bool write);
    virtual void SetPixmap(int index, TPixmap* pixmap);
    int FrameCount() { return pixmaps->Length(); }

    static TImage* Create(int width, int height, int frameCount, int flags, int red, int green, int blue);
    // `url` may be a pixmap; the null object when nothing loads.
    static TImage* Load(Object* url, int flags, int red, int green, int blue);
    static TImage* LoadAnim(Object* url, int cellWidth, int cellHeight, int firstCell, int cellCount, int flags,
                            int red, int green, int blue);
};

TImage* LoadImage(Object* url, int flags = -1);
TImage* LoadAnimImage(Object* url, int cellWidth, int cellHeight, int firstCell, int cellCount, int flags = -1);
TImage* CreateImage(int width, int height, int frameCount = 1, int flags = -1);
void AutoMidHandle(bool on);
void AutoImageFlags(int flags);
void MidHandleImage(TImage* image);
void SetImageHandle(TImage* image, float x, float y);
int ImageWidth(TImage* image);
int ImageHeight(TImage* image);
TPixmap* LockImage(TImage* image, int frame = 0, bool read = true, bool write = true);
void UnlockImage(TImage* image, int frame = 0);
void GrabImage(TImage* image, int x, int y, int frame = 0);
void DrawImage(TImage* image, float x, float y, int frame = 0);
void DrawImageRect(TImage* image, float x, float y, float width, float height, int frame = 0);
void TileImage(TImage* image, float x = 0, float y = 0, int frame = 0);

void StartImageModule();
