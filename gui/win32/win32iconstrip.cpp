#include "gui/win32/win32iconstrip.h"

#include "runtime/exception.h"

namespace {

constexpr int kWhite = 0xFFFFFF;

bool SquareIsWhite(TPixmap* pixmap, int icon, int size) {
    for (int y = 0; y < size; ++y) {
        for (int x = icon * size; x < (icon + 1) * size; ++x) {
            if ((pixmap->ReadPixel(x, y) & 0xFFFFFF) != kWhite) return false;
        }
    }
    return true;
}

}  // namespace

Win32IconStrip::Win32IconStrip(TPixmap* pixmap) {
    iconSize = pixmap->height;
    count = iconSize > 0 ? pixmap->width / iconSize : 0;
    for (int i = 0; i < count; ++i) blank.push_back(SquareIsWhite(pixmap, i, iconSize));
    HBITMAP bitmap = BitmapFromPixmap(pixmap);
    images = ImageList_Create(iconSize, iconSize, ILC_COLOR24 | ILC_MASK, 0, 1);
    ImageList_AddMasked(images, bitmap, RGB(255, 255, 255));
    DeleteObject(bitmap);
}

Win32IconStrip::~Win32IconStrip() {
    if (images) ImageList_Destroy(images);
}

void PrepareIconPixmap(TPixmap* pixmap) {
    if (PixelFormatAlphaBits(pixmap->format) == 0) return;
    for (int y = 0; y < pixmap->height; ++y) {
        for (int x = 0; x < pixmap->width; ++x) {
            unsigned argb = static_cast<unsigned>(pixmap->ReadPixel(x, y));
            int a = static_cast<int>(argb >> 30);
            int d = (x + y) % 2;
            if (a + d < 3) {
                pixmap->WritePixel(x, y, static_cast<int>(0xFFFFFFFFu));
            } else if ((argb & 0xFFFFFF) == kWhite) {
                pixmap->WritePixel(x, y, static_cast<int>((argb & 0xFF000000u) | 0xFEFEFE));
            }
        }
    }
}

HBITMAP BitmapFromPixmap(TPixmap* pixmap) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixmap->width;
    info.bmiHeader.biHeight = -pixmap->height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) RuntimeError("CreateDIBSection failed");
    auto* out = static_cast<DWORD*>(bits);
    for (int y = 0; y < pixmap->height; ++y) {
        for (int x = 0; x < pixmap->width; ++x) *out++ = static_cast<DWORD>(pixmap->ReadPixel(x, y)) & 0xFFFFFF;
    }
    return bitmap;
}
