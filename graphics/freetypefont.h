// The FreeType font loader: TrueType (and every other format FreeType reads)
// from a file path or, for a stream url ("incbin::title.ttf"), from the
// stream's bytes read into memory. Glyphs render into PF_A8 pixmaps.
//
// Invariants kept here:
//  - a TFreeTypeFont owns its face and, for a face opened from memory, the
//    bytes FreeType reads from; both live exactly as long as the font;
//  - glyph index i stands for FreeType glyph i + 1 (FreeType's glyph 0 is the
//    "missing glyph" picture, which is never drawn).
#pragma once
#include <cstdint>

#include "graphics/font.h"

class TFreeTypeGlyph : public TGlyph {
    KV_CLASS(TFreeTypeGlyph, TGlyph)
public:
    Ref<TPixmap> pixmap;  // PF_A8, or the null object
    float advance = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
    TPixmap* Pixels() override { return pixmap; }
    float Advance() override { return advance; }
    void GetRect(int& gx, int& gy, int& gw, int& gh) override;
};

class TFreeTypeFont : public TFont {
    KV_CLASS(TFreeTypeFont, TFont)
public:
    void* face = nullptr;  // FT_Face
    int32_t style = 0;
    int32_t height = 0, ascend = 0, descend = 0;
    Ref<Array> glyphs;  // ":TFreeTypeGlyph"
    unsigned char* bytes = nullptr;  // the font file, when opened from memory
    int32_t byteCount = 0;

    ~TFreeTypeFont() override;
    int Style() override { return style; }
    int Height() override { return height; }
    int CountGlyphs() override { return glyphs->Length(); }
    int CharToGlyph(int c) override;
    TGlyph* LoadGlyph(int index) override;
    // The null object for anything that fails: library, file, stream, size.
    static TFreeTypeFont* Load(String* url, int size, int style);
};

class TFreeTypeFontLoader : public TFontLoader {
    KV_CLASS(TFreeTypeFontLoader, TFontLoader)
public:
    TFont* LoadFont(Object* url, int size, int style) override;
};

void StartFreeTypeModule();
