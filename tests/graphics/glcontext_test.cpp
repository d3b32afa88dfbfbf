// Contexts, modes, Flip and the direct OpenGL functions on real contexts of
// the Xvfb display.
#include <vector>

#include "gl_test_support.h"
#include "graphics_test_support.h"
#include "runtime/exception.h"
#include "stream/bank.h"
#include "stream/bankstream.h"
#include "system/event.h"

namespace {

int CountClassWindows() {
    struct Counter {
        static BOOL CALLBACK Visit(HWND window, LPARAM data) {
            char name[64];
            if (GetClassNameA(window, name, sizeof name) && std::string(name) == GLWindowClassName()) {
                ++*reinterpret_cast<int*>(data);
            }
            return TRUE;
        }
    };
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), Counter::Visit, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string TextOf(String* s) {
    char* c = s->ToCString();
    std::string out = c;
    MemFreeBlock(c);
    return out;
}

}  // namespace

TEST(GraphicsModule, SeqSkipsZeroOnOverflow) {
    StartGLTestModules();
    int32_t saved = GraphicsSeq;
    GraphicsSeq = -1;
    AdvanceGraphicsSeq();
    EXPECT_EQ(GraphicsSeq, 1);
    GraphicsSeq = saved;
}

TEST(GraphicsModule, ModeTextAndModeList) {
    StartGLTestModules();
    EXPECT_EQ(TextOf(TGraphicsMode::Create(1024, 768, 32, 60)->ToString()), "1024,768,32 60Hz");
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_GT(CountGraphicsModes(), 0);
    EXPECT_TRUE(GraphicsModeExists(0, 0, 0, 0));
    EXPECT_TRUE(GraphicsModeExists(1024, 768, 32, 0));
    EXPECT_FALSE(GraphicsModeExists(0, 0, 8, 0));  // 8-bit modes are never listed
    EXPECT_FALSE(GraphicsModeExists(1023, 0, 0, 0));
    // The copy is the caller's: changing it leaves the cache alone.
    Array* modes = GraphicsModes();
    modes->SetObject(0, NullObject());
    int w, h, d, hz;
    GetGraphicsMode(0, w, h, d, hz);
    EXPECT_GT(w, 0);
    EXPECT_GE(d, 16);
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, GraphicsMakesCurrentDefaultContextAndEndCloses) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    int32_t before = GraphicsSeq;
    int windows = CountClassWindows();
    TGraphics* g = Graphics(200, 100, 0, 0, 0);
    ASSERT_FALSE(IsNull(g));
    EXPECT_NE(GraphicsSeq, before);
    EXPECT_EQ(CurrentGraphics(), g);
    EXPECT_EQ(GraphicsWidth(), 200);
    EXPECT_EQ(GraphicsHeight(), 100);
    EXPECT_EQ(GraphicsDepth(), 0);
    EXPECT_EQ(GraphicsFlags() & GRAPHICS_BACKBUFFER, GRAPHICS_BACKBUFFER);
    EXPECT_FALSE(SoftSyncEnabled());  // hertz 0
    EXPECT_EQ(CountClassWindows(), windows + 1);
    int32_t during = GraphicsSeq;
    EndGraphics();
    EXPECT_NE(GraphicsSeq, during);
    EXPECT_TRUE(IsNull(CurrentGraphics()));
    EXPECT_EQ(GraphicsWidth(), 0);
    EXPECT_EQ(CountClassWindows(), windows);
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

// A driver is the data type of its contexts: four integers out, a context
// with the same settings back.
TEST(GraphicsModule, AContextTravelsAsItsSettings) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    TGraphics* g = Graphics(160, 120, 0, 50, 0);
    ASSERT_FALSE(IsNull(g));
    TGraphicsDriver* driver = g->Driver();
    EXPECT_TRUE(Equals(driver->TypeName(), u"KYN.Graphics.TGraphics"_s));
    TBank* bank = CreateBank(0);
    TStream* out = CreateBankStream(bank);
    driver->WriteObject(g, out);
    ASSERT_EQ(BankSize(bank), 16);
    EXPECT_EQ(PeekInt(bank, 0), 160);
    EXPECT_EQ(PeekInt(bank, 4), 120);
    EXPECT_EQ(PeekInt(bank, 8), 0);
    EXPECT_EQ(PeekInt(bank, 12), 50);
    EndGraphics();
    auto* again = Downcast<TGraphics>(driver->ReadObject(CreateBankStream(bank)));
    ASSERT_FALSE(IsNull(again));
    int w, h, depth, hertz, flags;
    again->GetSettings(w, h, depth, hertz, flags);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    EXPECT_EQ(hertz, 50);
    EndGraphics();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, AttachToInvalidWindowGivesNullWithoutLeaks) {
    StartGLTestModules();
    int windows = CountClassWindows();
    int live = GLLiveContexts();
    TGraphics* g = AttachGraphics(0x7FFF0, 0);
    EXPECT_TRUE(IsNull(g));
    EXPECT_EQ(GLLiveContexts(), live);
    EXPECT_EQ(CountClassWindows(), windows);
}

TEST(GraphicsModule, AttachFollowsHostWindowSize) {
    StartGLTestModules();
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(host);
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    TGraphics* g = AttachGraphics(reinterpret_cast<intptr_t>(host), 0);
    ASSERT_FALSE(IsNull(g));
    int w, h, d, hz, f;
    g->GetSettings(w, h, d, hz, f);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(d, 0);
    SetWindowPos(host, nullptr, 0, 0, 150, 90, SWP_NOZORDER | SWP_NOMOVE);
    g->GetSettings(w, h, d, hz, f);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 90);
    CloseGraphics(g);
    EXPECT_TRUE(IsWindow(host));  // a foreign window is not ours to destroy
    DestroyWindow(host);
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, SoftSyncKeepsWindowedFramesApart) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(64, 64, 0, 60, 0)));
    EXPECT_TRUE(SoftSyncEnabled());
    Flip();
    const int frames = 12;
    DWORD start = timeGetTime();
    for (int i = 0; i < frames; ++i) Flip();
    DWORD elapsed = timeGetTime() - start;
    // 16 or 17 ms a frame by schedule; the limiter may be late, never early.
    // A late frame restarts the schedule from its own time, so the first
    // frame (due a period after the one before the clock was read) may come
    // at once: only the periods after it are sure.
    EXPECT_GE(elapsed, static_cast<DWORD>((frames - 1) * 16 - 1));
    EndGraphics();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, FlipRunsFlipHook) {
    StartGLTestModules();
    static int calls;
    calls = 0;
    auto hook = [](int, Object* data, Object*) -> Object* {
        ++calls;
        return data;
    };
    AddHook(FlipHook, hook, NullObject(), 0);
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(64, 64, 0, 0, 0)));
    Flip(0);
    Flip(1);
    Flip();
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(GLLastSwapInterval(), 0);  // Flip() in a window does not wait
    RemoveHook(FlipHook, hook, NullObject());
    EndGraphics();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, FullScreenSwitchesModeAndRestoresIt) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    // 75 Hz is not offered: the switch is retried at the desktop's frequency.
    TGraphics* g = Graphics(1024, 768, 32, 75, 0);
    ASSERT_FALSE(IsNull(g));
    for (int i = 0; i < 5; ++i) PollSystem();
    EXPECT_TRUE(GLDisplayModeWindow() != nullptr);
    EXPECT_EQ(GraphicsDepth(), 32);
    EndGraphics();
    EXPECT_TRUE(GLDisplayModeWindow() == nullptr);
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, UnavailableFullScreenModeRaisesTheModeError) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    std::string error;
    try {
        Graphics(800, 600, 32, 0, 0);
        for (int i = 0; i < 5; ++i) PollSystem();
        RethrowPending();
    } catch (ThrownObject& thrown) {
        error = TextOf(thrown.object()->ToString());
    }
    EXPECT_NE(error.find("GLGraphicsDriver failed to set display mode"), std::string::npos) << error;
    EXPECT_TRUE(GLDisplayModeWindow() == nullptr);
    EndGraphics();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST(GraphicsModule, WindowProcedureHandsInputOnAndKeepsExceptions) {
    StartGLTestModules();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    TGraphics* g = Graphics(64, 64, 0, 0, 0);
    ASSERT_FALSE(IsNull(g));
    auto* gl = static_cast<TGLGraphics*>(g);
    auto thrower = [](int, Object* data, Object*) -> Object* {
        auto* event = Downcast<TEvent>(data);
        if (!IsNull(event) && event->id == EVENT_KEYDOWN) RuntimeError("thrown in a hook");
        return data;
    };
    AddHook(EmitEventHook, thrower, NullObject(), 100);
    PostMessageA(gl->Window(), WM_KEYDOWN, 'A', 0x001E0001);
    std::string error;
    try {
        for (int i = 0; i < 5; ++i) PollSystem();
    } catch (ThrownObject& thrown) {
        error = TextOf(thrown.object()->ToString());
    }
    RemoveHook(EmitEventHook, thrower, NullObject());
    EXPECT_NE(error.find("thrown in a hook"), std::string::npos) << error;
    EndGraphics();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}

TEST_F(GLTest, DirectRectAndTextDrawIntoTheCurrentContext) {
    glColor3ub(0, 255, 0);
    GLDrawRect(10, 10, 20, 20);
    EXPECT_EQ(PixelAt(15, 15), 0x00FF00);
    EXPECT_EQ(PixelAt(35, 15), 0);
    glColor3ub(255, 255, 255);
    GLDrawText(u"HH"_s, 50, 50);
    EXPECT_GT(LitPixels(50, 50, 66, 66), 10);
    EXPECT_EQ(LitPixels(66, 50, 80, 66), 0);
    EXPECT_EQ(LitPixels(50, 30, 66, 50), 0);
}

TEST_F(GLTest, DirectPixmapLandsUnflipped) {
    TPixmap* p = CreatePixmap(4, 2, PF_RGBA8888);
    p->ClearPixels(static_cast<int>(0xFF0000FF));
    for (int x = 0; x < 4; ++x) p->WritePixel(x, 0, static_cast<int>(0xFFFF0000));
    GLDrawPixmap(p, 20, 30);
    EXPECT_EQ(PixelAt(21, 30), 0xFF0000);  // top row red
    EXPECT_EQ(PixelAt(21, 31), 0x0000FF);
    EXPECT_EQ(PixelAt(21, 32), 0);
}

TEST_F(GLTest, TexFromPixmapRoundsUpToPowerOfTwo) {
    TPixmap* p = CreatePixmap(3, 5, PF_RGB888);
    p->ClearPixels(static_cast<int>(0xFF102030));
    GLuint name = GLTexFromPixmap(p, true);
    ASSERT_NE(name, 0u);
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0, w2 = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH, &w2);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 8);
    EXPECT_EQ(w2, 1);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &name);
}
