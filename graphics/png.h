// PNG: the pixmap loader for PNG data and the PNG writer, over libpng with
// read and write callbacks on our streams.
//
// Loading gives PF_I8 (grey), PF_RGB888 (RGB, palette without transparency)
// or PF_RGBA8888 (everything with alpha or transparency); 16-bit samples are
// reduced to 8 bits. Every failure is the null object, and the stream opened
// for the call is always closed. Images wider or higher than kMaxPngSide, or
// with more than kMaxPngPixelBytes of decoded pixels, are refused before any
// pixel memory is taken.
#pragma once
#include "graphics/pixmap.h"

class TStream;

constexpr int kMaxPngSide = 16384;
constexpr int kMaxPngPixelBytes = 128 << 20;

class TPixmapLoaderPNG : public TPixmapLoader {
    KV_CLASS(TPixmapLoaderPNG, TPixmapLoader)
public:
    TPixmap* LoadPixmap(TStream* stream) override;
};

// Opens the url for reading and decodes it; a pixmap or the null object.
TPixmap* LoadPixmapPNG(Object* url);

// Writes the pixmap as an 8-bit PNG (grey, RGB or RGBA; other formats go
// through PF_RGBA8888). `compression` is zlib's level, 0 to 9 (below 0: the
// default level). False when the url cannot be opened or writing fails.
bool SavePixmapPNG(TPixmap* pixmap, Object* url, int compression);

// Starts the pixmap and stream modules and links the one PNG loader into the
// pixmap loader chain.
void StartPngModule();
