#include "graphics/image.h"

#include <cmath>

#include "graphics/graphics.h"
#include "graphics/vanta2d.h"
#include "runtime/exception.h"
#include "runtime/startup.h"

KV_DEFINE_CLASS(TImageFrame, Object);
KV_DEFINE_CLASS(TImage, TData);

namespace {

TPixmap* PixmapOrLoad(Object* url) {
    TPixmap* pixmap = Downcast<TPixmap>(url);
    if (!IsNull(pixmap)) return pixmap;
    return LoadPixmap(url);
}

TImage* AutoHandled(TImage* image) {
    if (!IsNull(image) && AutoMidHandleState()) MidHandleImage(image);
    return image;
}

int FlagsOrAuto(int flags) { return flags == -1 ? AutoImageFlagsState() : flags; }

}  // namespace

TImageFrame* TImage::Frame(int index) {
    int* stamps = seqs->DataAs<int32_t>();
    int i = seqs->CheckIndex(index);
    // An image without pixels has nothing to draw, whatever its other side.
    if (width <= 0 || height <= 0) return NullOf<TImageFrame>();
    if (stamps[i] != GraphicsSeq) {
        TPixmap* pixmap = Lock(i, true, false);
        TImageFrame* frame = Checked(Current2DDriver())->CreateFrameFromPixmap(pixmap, flags);
        frames->SetObject(i, frame);
        seqs->DataAs<int32_t>()[i] = IsNull(frame) ? 0 : GraphicsSeq;
    }
    return static_cast<TImageFrame*>(frames->ObjectAt(i));
}

TPixmap* TImage::Lock(int index, bool, bool write) {
    int i = pixmaps->CheckIndex(index);
    if (write) {
        seqs->DataAs<int32_t>()[i] = 0;
        frames->SetObject(i, NullObject());
    }
    if (IsNull(pixmaps->ObjectAt(i))) pixmaps->SetObject(i, CreatePixmap(width, height, PF_RGBA8888, 4));
    return static_cast<TPixmap*>(pixmaps->ObjectAt(i));
}

void TImage::SetPixmap(int index, TPixmap* pixmap) {
    int i = pixmaps->CheckIndex(index);
    Checked(pixmap);
    if ((flags & IMAGE_MASKED) && PixelFormatAlphaBits(pixmap->format) == 0) {
        pixmap = MaskPixmap(pixmap, maskRed, maskGreen, maskBlue);
    }
    pixmaps->SetObject(i, pixmap);
    seqs->DataAs<int32_t>()[i] = 0;
    frames->SetObject(i, NullObject());
}

TImage* TImage::Create(int width, int height, int frameCount, int flags, int red, int green, int blue) {
    if (frameCount < 0) RuntimeError("Image frame count must not be negative");
    TImage* image = new TImage;
    image->width = width;
    image->height = height;
    image->flags = flags;
    image->maskRed = red;
    image->maskGreen = green;
    image->maskBlue = blue;
    image->pixmaps = NewArray(":TPixmap", frameCount);
    image->frames = NewArray(":TImageFrame", frameCount);
    image->seqs = NewArray("i", frameCount);
    return image;
}

TImage* TImage::Load(Object* url, int flags, int red, int green, int blue) {
    TPixmap* pixmap = PixmapOrLoad(url);
    if (IsNull(pixmap)) return NullOf<TImage>();
    TImage* image = Create(pixmap->width, pixmap->height, 1, flags, red, green, blue);
    image->SetPixmap(0, pixmap);
    return image;
}

TImage* TImage::LoadAnim(Object* url, int cellWidth, int cellHeight, int firstCell, int cellCount, int flags,
                         int red, int green, int blue) {
    if (cellWidth <= 0 || cellHeight <= 0 || firstCell < 0 || cellCount <= 0) return NullOf<TImage>();
    TPixmap* pixmap = PixmapOrLoad(url);
    if (IsNull(pixmap)) return NullOf<TImage>();
    int across = pixmap->width / cellWidth;
    // In 64 bits: the cell count and the last cell wanted can both overflow an int.
    int64_t cells = static_cast<int64_t>(across) * (pixmap->height / cellHeight);
    if (cells < static_cast<int64_t>(firstCell) + cellCount) return NullOf<TImage>();
    TImage* image = Create(cellWidth, cellHeight, cellCount, flags, red, green, blue);
    for (int i = firstCell; i < firstCell + cellCount; ++i) {
        TPixmap* cell = pixmap->Window(cellWidth * (i % across), cellHeight * (i / across), cellWidth, cellHeight);
        image->SetPixmap(i - firstCell, cell->Copy());
    }
    return image;
}

TImage* LoadImage(Object* url, int flags) {
    int r, g, b;
    GetMaskColorState(r, g, b);
    return AutoHandled(TImage::Load(url, FlagsOrAuto(flags), r, g, b));
}

TImage* LoadAnimImage(Object* url, int cellWidth, int cellHeight, int firstCell, int cellCount, int flags) {
    int r, g, b;
    GetMaskColorState(r, g, b);
    return AutoHandled(TImage::LoadAnim(url, cellWidth, cellHeight, firstCell, cellCount, FlagsOrAuto(flags), r, g, b));
}

TImage* CreateImage(int width, int height, int frameCount, int flags) {
    int r, g, b;
    GetMaskColorState(r, g, b);
    return AutoHandled(TImage::Create(width, height, frameCount, FlagsOrAuto(flags) | IMAGE_DYNAMIC, r, g, b));
}

void AutoMidHandle(bool on) { SetAutoMidHandleState(on); }

void AutoImageFlags(int flags) {
    if (flags != -1) SetAutoImageFlagsState(flags);
}

void MidHandleImage(TImage* image) {
    Checked(image);
    image->handleX = image->width * 0.5f;
    image->handleY = image->height * 0.5f;
}

void SetImageHandle(TImage* image, float x, float y) {
    Checked(image);
    image->handleX = x;
    image->handleY = y;
}

int ImageWidth(TImage* image) { return Checked(image)->width; }
int ImageHeight(TImage* image) { return Checked(image)->height; }

TPixmap* LockImage(TImage* image, int frame, bool read, bool write) { return Checked(image)->Lock(frame, read, write); }

void UnlockImage(TImage*, int) {}

void GrabImage(TImage* image, int x, int y, int frame) {
    Checked(image);
    TPixmap* pixmap = Checked(Current2DDriver())->GrabPixmap(x, y, image->width, image->height);
    if (image->flags & IMAGE_MASKED) {
        int r, g, b;
        GetMaskColorState(r, g, b);
        pixmap = MaskPixmap(pixmap, r, g, b);
    }
    image->SetPixmap(frame, pixmap);
}

void DrawImage(TImage* image, float x, float y, int frame) {
    TImageFrame* f = Checked(image)->Frame(frame);
    if (IsNull(f)) return;
    float ox, oy;
    GetOrigin(ox, oy);
    float hx = image->handleX, hy = image->handleY;
    f->Draw(-hx, -hy, -hx + image->width, -hy + image->height, x + ox, y + oy);
}

void DrawImageRect(TImage* image, float x, float y, float width, float height, int frame) {
    TImageFrame* f = Checked(image)->Frame(frame);
    if (IsNull(f)) return;
    float ox, oy;
    GetOrigin(ox, oy);
    float hx = image->handleX, hy = image->handleY;
    f->Draw(-hx, -hy, -hx + width, -hy + height, x + ox, y + oy);
}

namespace {

// The first tile position at or left of the viewport's start that lines up
// with `start` in steps of `size`.  In doubles: a start anywhere in the float
// range must not overflow on its way to the few tiles that are drawn.
int64_t FirstTile(int viewportStart, int size, double start) {
    double from = static_cast<double>(viewportStart) - size + 1;
    double m = std::fmod(start - from, size);
    if (m < 0) m += size;
    return static_cast<int64_t>(from + m);
}

}  // namespace

void TileImage(TImage* image, float x, float y, int frame) {
    TImageFrame* f = Checked(image)->Frame(frame);
    if (IsNull(f)) return;
    int w = image->width, h = image->height;
    if (w <= 0 || h <= 0) return;  // a zero step would never leave the viewport
    TVanta2DGraphics* g = Checked(TVanta2DGraphics::Current());
    TVanta2DDriver* driver = Checked(Current2DDriver());
    driver->SetTransform(1, 0, 0, 1);
    float px = x + g->originX - image->handleX, py = y + g->originY - image->handleY;
    if (!std::isfinite(px) || !std::isfinite(py)) return;
    float fx = std::floor(px), fy = std::floor(py);
    float dx = px - fx, dy = py - fy;
    int64_t sx = FirstTile(g->viewportX, w, fx);
    int64_t sy = FirstTile(g->viewportY, h, fy);
    int64_t right = static_cast<int64_t>(g->viewportX) + g->viewportWidth;
    int64_t bottom = static_cast<int64_t>(g->viewportY) + g->viewportHeight;
    for (int64_t ty = sy; ty < bottom; ty += h) {
        for (int64_t tx = sx; tx < right; tx += w) {
            f->Draw(0, 0, static_cast<float>(w), static_cast<float>(h), static_cast<float>(tx) + dx,
                    static_cast<float>(ty) + dy);
        }
    }
    driver->SetTransform(g->ix, g->iy, g->jx, g->jy);
}

void StartImageModule() {
    KV_START_ONCE();
    StartPixmapModule();
    StartGraphicsModule();
}
