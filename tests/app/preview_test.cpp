// The preview mode drawing into a host area of this process, the way the
// Display settings give the saver their little monitor picture: the preview
// window becomes the host's child, the scene is drawn at the host's size,
// and the preview ends when the host goes away.
#include <gtest/gtest.h>

#include <string>

#include "app/globals.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "graphics/graphics.h"
#include "gui/win32guidriver.h"
#include "runtime/array.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "system/event.h"

#include <GL/gl.h>

namespace {

constexpr int kAreaWidth = 152;
constexpr int kAreaHeight = 112;
constexpr int kFlipsBeforeClosing = 40;

HWND host = nullptr;
int flips = 0;
HWND drawnInto = nullptr;  // the window the preview's OpenGL context draws into
HWND previewParent = nullptr;  // the parent of the window holding that canvas
LONG previewStyle = 0;
GLint viewport[4] = {};
int starPixels = 0;    // grey points: r = g = b, lit
int tintedPixels = 0;  // coloured light in the middle band: the logo

HWND MakeHost() {
    static ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"NeonaraPreviewTestHost";
        return RegisterClassExW(&wc);
    }();
    if (!atom) return nullptr;
    RECT r{0, 0, kAreaWidth, kAreaHeight};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    return CreateWindowExW(0, L"NeonaraPreviewTestHost", L"preview host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Reads the finished frame before it is presented, then closes the host.
Object* InspectFrame(int, Object* data, Object*) {
    if (++flips != kFlipsBeforeClosing) return data;
    drawnInto = WindowFromDC(wglGetCurrentDC());
    HWND previewWindow = GetParent(drawnInto);
    previewParent = GetParent(previewWindow);
    previewStyle = GetWindowLongA(previewWindow, GWL_STYLE);
    glGetIntegerv(GL_VIEWPORT, viewport);
    static unsigned char pixels[kAreaWidth * kAreaHeight * 3];
    glReadPixels(0, 0, kAreaWidth, kAreaHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    for (int y = 0; y < kAreaHeight; ++y) {
        for (int x = 0; x < kAreaWidth; ++x) {
            const unsigned char* p = pixels + (y * kAreaWidth + x) * 3;
            bool grey = p[0] == p[1] && p[1] == p[2];
            if (grey && p[0] > 8) ++starPixels;
            bool middle = y > kAreaHeight / 3 && y < kAreaHeight * 2 / 3;
            if (!grey && middle && (p[0] > 40 || p[1] > 40 || p[2] > 40)) ++tintedPixels;
        }
    }
    DestroyWindow(host);
    return data;
}

Array* Arguments(std::initializer_list<std::string> args) {
    Array* array = NewArray("$", static_cast<int>(args.size()));
    int i = 0;
    for (const std::string& arg : args) array->SetObject(i++, String::FromCString(arg.c_str()));
    return array;
}

}  // namespace

TEST(Preview, DrawsTheSceneAtTheHostsSizeAndEndsWhenTheHostGoes) {
    StartScreenSaverModules();
    host = MakeHost();
    ASSERT_NE(host, nullptr);
    Ref<Array> savedArgs = AppArgs.get();
    Ref<TList> savedStars = StarList.get();
    Ref<TStars> savedField = Stars.get();
    StarList = NullOf<TList>();
    ImageList->Clear();
    // The single-argument form of the switch.
    AppArgs = Arguments({"neonara.scr", "/p:" + std::to_string(reinterpret_cast<uintptr_t>(host))});
    AddHook(FlipHook, InspectFrame, NullObject(), 0);

    TScreenSaver* saver = new TScreenSaver();
    EXPECT_EQ(saver->RunPreview(), 0);
    RemoveHook(FlipHook, InspectFrame, NullObject());

    EXPECT_GE(flips, kFlipsBeforeClosing);
    EXPECT_FALSE(IsWindow(host));
    ASSERT_NE(drawnInto, nullptr);
    // The canvas sits in the preview window, which had become the host's child.
    EXPECT_EQ(previewParent, host);
    EXPECT_EQ(previewStyle & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(viewport[2], kAreaWidth);
    EXPECT_EQ(viewport[3], kAreaHeight);
    EXPECT_EQ(saver->width, 1024);  // the 2D layer uses the virtual screen
    EXPECT_EQ(saver->height, 768);
    EXPECT_GT(starPixels, 100) << "the star field";
    EXPECT_GT(tintedPixels, 20) << "the logo in the middle";
    EXPECT_EQ(Logo->fading, 0);  // the preview's logo stays lit
    EXPECT_EQ(Radio->stream, 0);  // and no stream is opened

    AppArgs = savedArgs;
    StarList = savedStars;
    Stars = savedField;
    ImageList->Clear();
    Radio = NullOf<TBass>();
    Logo = NullOf<TSplash>();
}

TEST(Preview, AHostThatIsNotAWindowEndsThePreviewAtOnce) {
    StartScreenSaverModules();
    Ref<Array> savedArgs = AppArgs.get();
    for (const char* args : {"", "0", "12345678"}) {
        AppArgs = Arguments({"neonara.scr", "/p", args});
        EXPECT_EQ((new TScreenSaver())->RunPreview(), 0) << args;
    }
    AppArgs = Arguments({"neonara.scr", "/p"});  // no handle at all
    EXPECT_EQ((new TScreenSaver())->RunPreview(), 0);
    AppArgs = savedArgs;
}
