// Icon strips from pixmaps: square icons as wide as the strip is high, white
// (and what the alpha rule makes white) transparent, all-white icons blank.
#include <gtest/gtest.h>

#include "graphics/pixmap.h"
#include "gui/gui.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32guidriver.h"
#include "tests/gui/win32_driver_install.h"

namespace {

TPixmap* Strip(int icons, int size) {
    TPixmap* pixmap = CreatePixmap(icons * size, size, PF_RGBA8888);
    ClearPixels(pixmap, static_cast<int>(0xFFFF0000u));  // opaque red
    return pixmap;
}

}  // namespace

TEST(IconStrip, TenIconsOfSixteenFromA160By16PixmapAndTransparentOnesAreBlank) {
    InstallWin32Driver();
    TPixmap* pixmap = Strip(10, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 48; x < 64; ++x) WritePixel(pixmap, x, y, 0x00000000);  // icon 3 transparent
        WritePixel(pixmap, 80 + y, y, static_cast<int>(0xFFFFFFFFu));  // opaque white in icon 5 stays visible
    }
    TIconStrip* strip = LoadIconStrip(pixmap);
    ASSERT_FALSE(IsNull(strip));
    EXPECT_EQ(strip->count, 10);
    EXPECT_EQ(strip->pixmap->format, PF_RGB888);
    EXPECT_NE(strip->pixmap.get(), pixmap);  // a copy: the caller's pixmap is left alone
    Win32IconStrip* native = Downcast<TWin32IconStrip>(strip)->native;
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->iconSize, 16);
    EXPECT_EQ(ImageList_GetImageCount(native->images), 10);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(native->images, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(native->blank[i], i == 3) << "icon " << i;
}

TEST(IconStrip, AlphaBecomesTheTransparentWhiteByTheCheckerboardRule) {
    TPixmap* pixmap = CreatePixmap(4, 1, PF_RGBA8888);
    WritePixel(pixmap, 0, 0, 0x7F102030);                         // alpha below 128: white
    WritePixel(pixmap, 1, 0, static_cast<int>(0x90102030u));      // 128-191 at an odd x + y: kept
    WritePixel(pixmap, 2, 0, static_cast<int>(0x90102030u));      // the same at an even one: white
    WritePixel(pixmap, 3, 0, static_cast<int>(0xFFFFFFFFu));      // opaque white: not transparent
    PrepareIconPixmap(pixmap);
    EXPECT_EQ(static_cast<unsigned>(ReadPixel(pixmap, 0, 0)), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<unsigned>(ReadPixel(pixmap, 1, 0)), 0x90102030u);
    EXPECT_EQ(static_cast<unsigned>(ReadPixel(pixmap, 2, 0)), 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<unsigned>(ReadPixel(pixmap, 3, 0)), 0xFFFEFEFEu);
}

TEST(IconStrip, NothingToLoadGivesTheNullObject) {
    InstallWin32Driver();
    EXPECT_TRUE(IsNull(LoadIconStrip(u"Z:/tmp/neonara-no-such-icons.png"_s)));
}
