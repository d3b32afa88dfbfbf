#include "graphics/freetypefont.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "stream/stream.h"

KV_DEFINE_CLASS(TFreeTypeGlyph, TGlyph);
KV_DEFINE_CLASS(TFreeTypeFont, TFont);
KV_DEFINE_CLASS(TFreeTypeFontLoader, TFontLoader);

namespace {

FT_Library library = nullptr;

bool EnsureLibrary() {
    if (library) return true;
    if (FT_Init_FreeType(&library) != 0) {
        library = nullptr;
        return false;
    }
    return true;
}

FT_Face Face(void* face) { return static_cast<FT_Face>(face); }

// A stream url has its "::" after at least one character of protocol.
bool IsStreamUrl(String* url) { return url->Find(u"::"_s) > 0; }

FT_Face OpenFromStream(String* url, unsigned char*& owned, int& count) {
    Array* data;
    try {
        data = LoadByteArray(url);
    } catch (ThrownObject&) {
        return nullptr;
    }
    count = data->Length();
    if (count == 0) return nullptr;
    owned = static_cast<unsigned char*>(MemAllocBlock(count));
    std::memcpy(owned, data->Data(), count);
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, owned, count, 0, &face) != 0) {
        MemFreeBlock(owned);
        owned = nullptr;
        return nullptr;
    }
    return face;
}

FT_Face OpenFromFile(String* url) {
    char* path = url->ToUtf8();
    FT_Face face = nullptr;
    FT_Error error = FT_New_Face(library, path, 0, &face);
    MemFreeBlock(path);
    return error == 0 ? face : nullptr;
}

// The glyph's bitmap as a PF_A8 pixmap (1-bit bitmaps expanded to 0 and 255).
TPixmap* BitmapPixmap(const FT_Bitmap& bitmap) {
    int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
    TPixmap* p = CreatePixmap(width, rows, PF_A8, 4);
    for (int y = 0; y < rows; ++y) {
        const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
        unsigned char* out = p->PixelPtr(0, y);
        if (bitmap.num_grays != 0) {
            std::memcpy(out, row, width);
        } else {
            for (int x = 0; x < width; ++x) out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        }
    }
    return p;
}

// One transparent pixel around the glyph, so filtering fades at its edge.
TPixmap* Padded(TPixmap* glyph) {
    TPixmap* p = CreatePixmap(glyph->width + 2, glyph->height + 2, PF_A8, 4);
    p->ClearPixels(0);
    p->Paste(glyph, 1, 1);
    return p;
}

}  // namespace

void TFreeTypeGlyph::GetRect(int& gx, int& gy, int& gw, int& gh) {
    gx = x;
    gy = y;
    gw = width;
    gh = height;
}

TFreeTypeFont::~TFreeTypeFont() {
    if (face) FT_Done_Face(Face(face));
    if (bytes) MemFreeBlock(bytes);
}

int TFreeTypeFont::CharToGlyph(int c) { return static_cast<int>(FT_Get_Char_Index(Face(face), c)) - 1; }

TGlyph* TFreeTypeFont::LoadGlyph(int index) {
    int i = glyphs->CheckIndex(index);
    if (!IsNull(glyphs->ObjectAt(i))) return static_cast<TGlyph*>(glyphs->ObjectAt(i));
    TFreeTypeGlyph* glyph = new TFreeTypeGlyph;
    glyphs->SetObject(i, glyph);
    FT_Face f = Face(face);
    if (FT_Load_Glyph(f, i + 1, FT_LOAD_RENDER) != 0) return glyph;
    FT_GlyphSlot slot = f->glyph;
    glyph->x = slot->bitmap_left;
    glyph->y = ascend - slot->bitmap_top;
    glyph->width = static_cast<int>(slot->bitmap.width);
    glyph->height = static_cast<int>(slot->bitmap.rows);
    glyph->advance = static_cast<float>(slot->advance.x >> 6);
    if (glyph->width == 0) return glyph;
    TPixmap* pixmap = BitmapPixmap(slot->bitmap);
    if (style & FONT_SMOOTH) {
        glyph->x -= 1;
        glyph->y -= 1;
        glyph->width += 2;
        glyph->height += 2;
        pixmap = Padded(pixmap);
    }
    glyph->pixmap = pixmap;
    return glyph;
}

TFreeTypeFont* TFreeTypeFont::Load(String* url, int size, int style) {
    if (!EnsureLibrary()) return NullOf<TFreeTypeFont>();
    unsigned char* owned = nullptr;
    int count = 0;
    FT_Face face = IsStreamUrl(url) ? OpenFromStream(url, owned, count) : OpenFromFile(url);
    if (!face) return NullOf<TFreeTypeFont>();
    while (size > 0 && FT_Set_Pixel_Sizes(face, 0, size) != 0) --size;
    if (size <= 0) {
        FT_Done_Face(face);
        if (owned) MemFreeBlock(owned);
        return NullOf<TFreeTypeFont>();
    }
    TFreeTypeFont* font = new TFreeTypeFont;
    font->face = face;
    font->bytes = owned;
    font->byteCount = count;
    font->style = style;
    font->height = static_cast<int>(face->size->metrics.height >> 6);
    font->ascend = static_cast<int>(face->size->metrics.ascender >> 6);
    font->descend = static_cast<int>(face->size->metrics.descender >> 6);
    font->glyphs = NewArray(":TFreeTypeGlyph", static_cast<int>(face->num_glyphs));
    return font;
}

TFont* TFreeTypeFontLoader::LoadFont(Object* url, int size, int style) {
    String* text = Downcast<String>(url);
    if (IsNull(text) || text->length == 0) return NullOf<TFont>();
    return TFreeTypeFont::Load(text, size, style);
}

void StartFreeTypeModule() {
    KV_START_ONCE();
    StartFontModule();
    AddFontLoader(new TFreeTypeFontLoader);
}
