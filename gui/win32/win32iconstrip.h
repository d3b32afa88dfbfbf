// Native icon strips: a 24-bit RGB pixmap cut into square icons as wide as
// it is high, in an image list with white as the transparent colour. An icon
// whose square is all white is blank (a tool bar shows a separator for it).
#pragma once
#include <vector>

#include "graphics/pixmap.h"
#include "gui/win32/kvgadget.h"
#include "runtime/win32.h"

#include <commctrl.h>

class Win32IconStrip : public KVResource {
public:
    int count = 0;
    int iconSize = 0;  // width and height of each icon
    std::vector<bool> blank;
    HIMAGELIST images = nullptr;

    // From a PF_RGB888 pixmap; raises "CreateDIBSection failed".
    explicit Win32IconStrip(TPixmap* pixmap);
    ~Win32IconStrip() override;
};

// For pixel formats with alpha: with d = (x + y) mod 2 and a the top two bits
// of alpha, a pixel with a + d < 3 becomes white (transparent: alpha below
// 128 always, 128-191 on every other pixel); a pure white pixel that stays
// becomes 0xFEFEFE so it is not taken for transparent.
void PrepareIconPixmap(TPixmap* pixmap);

// A 32-bit DIB section with the pixmap's colours (alpha dropped); raises
// "CreateDIBSection failed". The caller deletes it.
HBITMAP BitmapFromPixmap(TPixmap* pixmap);
