#include "graphics/font.h"

#include "graphics/fontdata.h"
#include "graphics/vanta2d.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/stream.h"

KV_DEFINE_CLASS(TGlyph, Object);
KV_DEFINE_CLASS(TFont, Object);
KV_DEFINE_CLASS(TFontLoader, Object);
KV_DEFINE_CLASS(TImageGlyph, TGlyph);
KV_DEFINE_CLASS(TImageFont, TFont);

namespace {

Ref<TFontLoader> fontLoaders;

TImageGlyph* NewImageGlyph(TImage* image, float advance, int x, int y, int width, int height) {
    TImageGlyph* glyph = new TImageGlyph;
    glyph->image = image;
    glyph->advance = advance;
    glyph->x = x;
    glyph->y = y;
    glyph->width = width;
    glyph->height = height;
    return glyph;
}

// The 768x16 picture of the built-in font: opaque white where a bit is set.
TPixmap* BuiltInFontPixmap() {
    Array* bytes = LoadByteArray(Concat(u"incbin::"_s, KorvoFontName()));
    if (bytes->Length() < kBitmapFontBytes) RuntimeError("korvofont.bin is missing or short");
    TPixmap* p = CreatePixmap(8 * kBitmapFontChars, kBitmapFontRows, PF_RGBA8888, 4);
    p->ClearPixels(0);
    const unsigned char* rows = bytes->DataAs<unsigned char>();
    for (int i = 0; i < kBitmapFontRows; ++i) {
        for (int j = 0; j < kBitmapFontChars; ++j) {
            for (int k = 0; k < 8; ++k) {
                if (rows[i * kBitmapFontChars + j] & (1 << k)) p->WritePixel(8 * j + k, i, static_cast<int>(0xFFFFFFFF));
            }
        }
    }
    return p;
}

}  // namespace

TPixmap* TImageGlyph::Pixels() {
    if (IsNull(image)) return NullOf<TPixmap>();
    return image->Lock(0, true, false);
}

void TImageGlyph::GetRect(int& gx, int& gy, int& gw, int& gh) {
    gx = x;
    gy = y;
    gw = width;
    gh = height;
}

int TImageFont::Style() { return IsNull(source) ? 0 : source->Style(); }
int TImageFont::Height() { return IsNull(source) ? 16 : source->Height(); }
int TImageFont::CountGlyphs() { return glyphs->Length(); }

int TImageFont::CharToGlyph(int c) {
    if (!IsNull(source)) return source->CharToGlyph(c);
    return c >= 32 && c < 128 ? c - 32 : -1;
}

TGlyph* TImageFont::LoadGlyph(int index) {
    int i = glyphs->CheckIndex(index);
    if (IsNull(glyphs->ObjectAt(i))) {
        TImageGlyph* glyph = NewImageGlyph(NullOf<TImage>(), 0, 0, 0, 0, 0);
        glyphs->SetObject(i, glyph);
        TGlyph* from = Checked(source.get())->LoadGlyph(i);
        glyph->advance = from->Advance();
        from->GetRect(glyph->x, glyph->y, glyph->width, glyph->height);
        TPixmap* pixels = from->Pixels();
        if (!IsNull(pixels)) glyph->image = TImage::Load(pixels->Copy(), imageFlags, 0, 0, 0);
    }
    return static_cast<TGlyph*>(glyphs->ObjectAt(i));
}

void TImageFont::Draw(String* text, float x, float y, float ix, float iy, float jx, float jy) {
    Checked(text);
    for (int i = 0; i < text->length; ++i) {
        int n = CharToGlyph(text->Text()[i]);
        if (n < 0) continue;
        auto* glyph = static_cast<TImageGlyph*>(LoadGlyph(n));
        TImage* image = glyph->image;
        if (!IsNull(image)) {
            TImageFrame* frame = image->Frame(0);
            if (!IsNull(frame)) {
                float gx = static_cast<float>(glyph->x), gy = static_cast<float>(glyph->y);
                frame->Draw(0, 0, static_cast<float>(image->width), static_cast<float>(image->height),
                            x + gx * ix + gy * iy, y + gx * jx + gy * jy);
            }
        }
        x += ix * glyph->advance;
        y += jx * glyph->advance;
    }
}

TImageFont* TImageFont::Load(Object* url, int size, int style) {
    TFont* from = LoadFont(url, size, style);
    if (IsNull(from)) return NullOf<TImageFont>();
    TImageFont* font = new TImageFont;
    font->source = from;
    font->glyphs = NewArray(":TImageGlyph", from->CountGlyphs());
    font->imageFlags = (style & FONT_SMOOTH) ? IMAGE_FILTERED | IMAGE_MIPMAPPED : 0;
    return font;
}

TImageFont* TImageFont::CreateDefault() {
    TPixmap* sheet = BuiltInFontPixmap();
    TImageFont* font = new TImageFont;
    font->glyphs = NewArray(":TImageGlyph", kBitmapFontChars);
    for (int i = 0; i < kBitmapFontChars; ++i) {
        TImage* image = TImage::Load(sheet->Window(8 * i, 0, 8, 16)->Copy(), 0, 0, 0, 0);
        font->glyphs->SetObject(i, NewImageGlyph(image, 8, 0, 0, 8, 16));
    }
    return font;
}

TFont* LoadFont(Object* url, int size, int style) {
    for (TFontLoader* loader = fontLoaders; !IsNull(loader); loader = loader->next) {
        TFont* font = loader->LoadFont(url, size, style);
        if (!IsNull(font)) return font;
    }
    return NullOf<TFont>();
}

void AddFontLoader(TFontLoader* loader) {
    Checked(loader);
    // A loader already in the list keeps its place (re-linking it would cut the chain).
    if (!IsNull(loader->next) || loader == fontLoaders.get()) return;
    loader->next = fontLoaders;
    fontLoaders = loader;
}

TImageFont* LoadImageFont(Object* url, int size, int style) { return TImageFont::Load(url, size, style); }

void SetImageFont(TImageFont* font) {
    Checked(TVanta2DGraphics::Current())->imageFont = IsNull(font) ? DefaultImageFont() : font;
}

TImageFont* GetImageFont() { return Checked(TVanta2DGraphics::Current())->imageFont; }

void DrawText(String* text, float x, float y) {
    TVanta2DGraphics* g = Checked(TVanta2DGraphics::Current());
    float hx = g->handleX, hy = g->handleY;
    g->imageFont->Draw(text, x + g->originX + hx * g->ix + hy * g->iy, y + g->originY + hx * g->jx + hy * g->jy,
                       g->ix, g->iy, g->jx, g->jy);
}

int TextWidth(String* text) {
    Checked(text);
    TImageFont* font = Checked(TVanta2DGraphics::Current())->imageFont;
    int w = 0;
    for (int i = 0; i < text->length; ++i) {
        int n = font->CharToGlyph(text->Text()[i]);
        if (n >= 0) w = static_cast<int>(w + font->LoadGlyph(n)->Advance());
    }
    return w;
}

int TextHeight() { return Checked(TVanta2DGraphics::Current())->imageFont->Height(); }

void StartFontModule() {
    KV_START_ONCE();
    StartImageModule();
    StartFontDataModule();
}
