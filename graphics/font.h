// Fonts: source fonts from the font loader chain, and image fonts that turn
// their glyphs into small images on first use and draw them as textured
// quads along the transformed baseline. Without a source font, the built-in
// 8x16 bitmap font ("korvofont.bin", characters 32 to 127) is used.
#pragma once
#include <cstdint>

#include "graphics/image.h"
#include "graphics/pixmap.h"
#include "runtime/array.h"
#include "runtime/object.h"
#include "runtime/string.h"

constexpr int FONT_SMOOTH = 4;

class TGlyph : public Object {
    KV_CLASS(TGlyph, Object)
public:
    virtual TPixmap* Pixels() = 0;  // the null object for blank glyphs
    virtual float Advance() = 0;
    // Offsets of the picture from the pen, y measured down from the line's top.
    virtual void GetRect(int& x, int& y, int& width, int& height) = 0;
};

class TFont : public Object {
    KV_CLASS(TFont, Object)
public:
    virtual int Style() = 0;
    virtual int Height() = 0;
    virtual int CountGlyphs() = 0;
    virtual int CharToGlyph(int c) = 0;  // -1 when the font lacks it
    virtual TGlyph* LoadGlyph(int index) = 0;
};

class TFontLoader : public Object {
    KV_CLASS(TFontLoader, Object)
public:
    Ref<TFontLoader> next;
    virtual TFont* LoadFont(Object* url, int size, int style) = 0;
};

class TImageGlyph : public TGlyph {
    KV_CLASS(TImageGlyph, TGlyph)
public:
    Ref<TImage> image;
    float advance = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
    TPixmap* Pixels() override;
    float Advance() override { return advance; }
    void GetRect(int& gx, int& gy, int& gw, int& gh) override;
};

class TImageFont : public TFont {
    KV_CLASS(TImageFont, TFont)
public:
    Ref<TFont> source;   // the null object for the built-in font
    Ref<Array> glyphs;   // ":TImageGlyph", filled lazily
    int32_t imageFlags = 0;

    int Style() override;
    int Height() override;
    int CountGlyphs() override;
    int CharToGlyph(int c) override;
    TGlyph* LoadGlyph(int index) override;
    virtual void Draw(String* text, float x, float y, float ix, float iy, float jx, float jy);
    static TImageFont* Load(Object* url, int size, int style);
    static TImageFont* CreateDefault();
};

// Asks each loader in list order; the first font wins; the null object if none.
TFont* LoadFont(Object* url, int size, int style);
// Links the loader in at the head, unless its next is already set.
void AddFontLoader(TFontLoader* loader);
TImageFont* LoadImageFont(Object* url, int size, int style = FONT_SMOOTH);
void SetImageFont(TImageFont* font);  // the null object: the built-in font
TImageFont* GetImageFont();
void DrawText(String* text, float x, float y);
int TextWidth(String* text);
int TextHeight();

void StartFontModule();
