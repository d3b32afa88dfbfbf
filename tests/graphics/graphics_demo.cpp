// graphics_demo.exe [STOP_FILE]: one window showing every 2D primitive, an
// image, a pixmap, text in the built-in and a TrueType font (straight and
// rotated) and the five blend modes. It prints the window's client origin
// in screen pixels ("client X Y") and "ready" once a few frames have been
// flipped, then keeps drawing so it can be photographed until STOP_FILE (a
// Windows path) exists. Whatever happens to the one who asked, it gives up
// after two minutes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/freetypefont.h"
#include "graphics/glgraphics.h"
#include "graphics/glvanta2d.h"
#include "runtime/startup.h"
#include "system/system.h"

namespace {

constexpr const char* kFontPath = "Z:/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kFramesBeforeReady = 3;
constexpr DWORD kGiveUpMs = 120000;

std::string stopFile;

bool StopRequested() {
    return !stopFile.empty() && GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TImage* HalfAndHalfImage() {
    TPixmap* p = CreatePixmap(32, 32, PF_RGBA8888);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) p->WritePixel(x, y, static_cast<int>(x < 16 ? 0xFFFF0000u : 0xFF0000FFu));
    }
    TImage* image = LoadImage(p, IMAGE_FILTERED);
    MidHandleImage(image);
    return image;
}

void DrawBlendRow() {
    SetBlend(BLEND_SOLID);
    SetColor(100, 100, 100);
    DrawRect(20, 20, 500, 60);
    struct Sample {
        int mode, r, g, b;
        float alpha;
    };
    const Sample samples[5] = {{BLEND_SOLID, 200, 50, 50, 1},
                               {BLEND_ALPHA, 200, 0, 0, 0.5f},
                               {BLEND_LIGHT, 100, 100, 0, 1},
                               {BLEND_SHADE, 255, 128, 0, 1},
                               {BLEND_MASK, 0, 0, 255, 0.6f}};
    for (int i = 0; i < 5; ++i) {
        SetBlend(samples[i].mode);
        SetColor(samples[i].r, samples[i].g, samples[i].b);
        SetAlpha(samples[i].alpha);
        DrawRect(30.0f + 100 * i, 30, 80, 40);
    }
    SetAlpha(1);
    SetBlend(BLEND_SOLID);
}

void DrawPrimitives() {
    SetColor(0, 255, 0);
    DrawRect(20, 120, 60, 60);
    SetColor(255, 255, 0);
    DrawOval(100, 120, 80, 60);
    SetColor(0, 255, 255);
    Array* xy = NewArray("f", 6);
    const float points[6] = {200, 120, 260, 120, 230, 180};
    for (int i = 0; i < 6; ++i) xy->DataAs<float>()[i] = points[i];
    DrawPoly(xy);
    SetColor(255, 255, 255);
    SetLineWidth(3);
    DrawLine(280, 150, 360, 150);
    SetLineWidth(1);
    Plot(380, 150);
    TPixmap* magenta = CreatePixmap(20, 20, PF_RGBA8888);
    magenta->ClearPixels(static_cast<int>(0xFFFF00FF));
    DrawPixmap(magenta, 560, 120);
}

void DrawScene(TImage* image, TImageFont* trueType) {
    SetClsColor(40, 40, 40);
    Cls();
    DrawBlendRow();
    DrawPrimitives();
    SetTransform(45, 2, 2);
    DrawImage(image, 460, 160);
    SetTransform(0, 1, 1);

    SetColor(255, 255, 255);
    SetImageFont(NullOf<TImageFont>());
    DrawText(u"Neonara 8x16"_s, 20, 240);
    SetRotation(90);
    DrawText(u"rotated"_s, 620, 240);
    SetRotation(0);

    if (!IsNull(trueType)) {
        SetImageFont(trueType);
        SetBlend(BLEND_ALPHA);
        SetColor(255, 160, 0);
        SetRotation(-15);
        DrawText(u"DejaVu Sans"_s, 40, 340);
        SetRotation(0);
        SetBlend(BLEND_SOLID);
        SetImageFont(NullOf<TImageFont>());
    }
}

int Demo() {
    StartGLVanta2DModule();
    StartFreeTypeModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    auto* g = Downcast<TVanta2DGraphics>(Graphics(640, 480, 0, 60, 0));
    if (IsNull(g)) {
        std::printf("no graphics\n");
        return 1;
    }
    TImage* image = HalfAndHalfImage();
    TImageFont* trueType = LoadImageFont(String::FromCString(kFontPath), 28, FONT_SMOOTH);
    if (IsNull(trueType)) std::printf("no truetype font\n");
    HWND window = static_cast<TGLGraphics*>(g->graphics.get())->Window();
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::printf("client %ld %ld\n", static_cast<long>(origin.x), static_cast<long>(origin.y));
    std::fflush(stdout);
    DWORD start = timeGetTime();
    int frames = 0;
    while (!StopRequested() && timeGetTime() - start < kGiveUpMs) {
        PollSystem();
        DrawScene(image, trueType);
        Flip();
        if (++frames == kFramesBeforeReady) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
    EndGraphics();
    if (StopRequested()) return 0;
    std::printf("gave up waiting for the stop file\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) stopFile = argv[1];
    return RunProcess(argc, argv, Demo);
}
