// The command-line dispatch of TScreenSaver.Run and the 2D projection of TOrtho.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/radio.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "graphics/font.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/png.h"
#include "graphics/vanta2d.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/random.h"
#include "runtime/time.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "system/system.h"
#include "tests/app/seeded_frames.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

// What the dispatch did, in order.
std::string journal;
int previousSaverState;  // what the announcement reports as the state before
bool saverThrows;

void Note(const char* what) {
    if (!journal.empty()) journal += ' ';
    journal += what;
}

int RecordingSetRunning(int running) {
    Note(running ? "announce" : "withdraw");
    return previousSaverState;
}

void RecordingRelease() { Note("release"); }

class TRecordingSaver : public TScreenSaver {
    KV_CLASS(TRecordingSaver, TScreenSaver)
public:
    int RunSaver() override {
        Note("saver");
        if (saverThrows) RuntimeError("saver failed");
        return 0;
    }
    int RunPreview() override {
        Note("preview");
        return 0;
    }
    int RunConfig() override {
        Note("config");
        return 0;
    }
};

}  // namespace

KV_DEFINE_CLASS(TRecordingSaver, TScreenSaver);

namespace {

std::string Text(String* s) {
    char* c = s->ToCString();
    std::string text(c);
    MemFreeBlock(c);
    return text;
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        savedArgs = AppArgs.get();
        journal.clear();
        previousSaverState = 0;
        saverThrows = false;
        SetScreenSaverRunning = RecordingSetRunning;
        ReleaseRadioLibrary = RecordingRelease;
    }
    void TearDown() override {
        AppArgs = savedArgs;
        SetScreenSaverRunning = SystemSetScreenSaverRunning;
        ReleaseRadioLibrary = savedRelease;
    }

    // Runs the dispatch with AppArgs = program, then `args`; returns the journal.
    std::string RunWith(std::initializer_list<const char*> args, bool withProgram = true) {
        Array* array = NewArray("$", static_cast<int>(args.size()) + (withProgram ? 1 : 0));
        int i = 0;
        if (withProgram) array->SetObject(i++, u"C:/saver/neonara.scr"_s);
        for (const char* a : args) array->SetObject(i++, String::FromCString(a));
        AppArgs = array;
        journal.clear();
        TScreenSaver* saver = new TRecordingSaver();
        EXPECT_EQ(saver->Run(), 0);
        return journal;
    }

    Ref<Array> savedArgs;
    void (*savedRelease)() = ReleaseRadioLibrary;
};

}  // namespace

TEST_F(Dispatch, NoArgumentOpensTheConfiguration) {
    EXPECT_EQ(RunWith({}), "config release");
    ASSERT_EQ(AppArgs->Length(), 2);
    EXPECT_EQ(Text(AppArgs->StringAt(0)), "C:/saver/neonara.scr");
    EXPECT_EQ(Text(AppArgs->StringAt(1)), "/c");
}

TEST_F(Dispatch, EmptyArgumentArrayOpensTheConfigurationToo) {
    EXPECT_EQ(RunWith({}, false), "config release");
    ASSERT_EQ(AppArgs->Length(), 2);
    EXPECT_EQ(Text(AppArgs->StringAt(1)), "/c");
}

TEST_F(Dispatch, SaverSwitchesRunTheSaverInsideTheGuard) {
    for (const char* s : {"/s", "/S", "-s", "-S", "/s:5", "/save", "-screensaver"}) {
        EXPECT_EQ(RunWith({s}), "announce saver withdraw release") << s;
    }
}

TEST_F(Dispatch, OnlyTheFirstArgumentCounts) {
    EXPECT_EQ(RunWith({"/s", "/p", "1234"}), "announce saver withdraw release");
    EXPECT_EQ(RunWith({"/a", "/s"}), "release");
}

TEST_F(Dispatch, ConfigurationSwitches) {
    for (const char* s : {"/c", "/C", "-c", "/c:329492"}) EXPECT_EQ(RunWith({s}), "config release") << s;
}

TEST_F(Dispatch, PreviewSwitches) {
    for (const char* s : {"/p", "/P", "-p", "/l", "-L", "/p:1234"}) {
        EXPECT_EQ(RunWith({s, "1234"}), "preview release") << s;
    }
}

TEST_F(Dispatch, PasswordAndUnknownSwitchesDoNothing) {
    for (const char* s : {"/a", "-A", "/x", "s", "/", "", "//s", "\\s", "/\xe4", "S/"}) {
        EXPECT_EQ(RunWith({s}), "release") << "'" << s << "'";
    }
}

TEST_F(Dispatch, AnotherRunningSaverEndsAtOnceAndLeavesTheStateSet) {
    previousSaverState = 1;
    EXPECT_EQ(RunWith({"/s"}), "announce");  // no saver, no withdrawal, no release
}

TEST_F(Dispatch, FailingSaverStillWithdrawsTheAnnouncement) {
    saverThrows = true;
    std::string text;
    try {
        RunWith({"/s"});
    } catch (ThrownObject& thrown) {
        text = Text(thrown.object()->ToString());
    }
    EXPECT_EQ(text, "saver failed");
    EXPECT_EQ(journal, "announce saver withdraw");
}

TEST(ScreenSaverObject, StartsWithZeroSizeAndIsAnOrtho) {
    StartSystemModule();
    TScreenSaver* saver = new TScreenSaver();
    EXPECT_EQ(saver->width, 0);
    EXPECT_EQ(saver->height, 0);
    EXPECT_TRUE(IsA<TOrtho>(saver));
    EXPECT_EQ(saver->FlushEvents(), 0);
}

// ---- the projection, in a real OpenGL context ----

namespace {

class GLContext {
public:
    GLContext() {
        static ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.style = CS_OWNDC;
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"NeonaraOrthoTest";
            return RegisterClassExW(&wc);
        }();
        window_ = CreateWindowExW(0, L"NeonaraOrthoTest", L"ortho", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!atom || !window_) return;
        dc_ = GetDC(window_);
        PIXELFORMATDESCRIPTOR pfd{};
        pfd.nSize = sizeof pfd;
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 24;
        int format = ChoosePixelFormat(dc_, &pfd);
        if (!format || !SetPixelFormat(dc_, format, &pfd)) return;
        context_ = wglCreateContext(dc_);
        if (context_ && !wglMakeCurrent(dc_, context_)) {
            wglDeleteContext(context_);
            context_ = nullptr;
        }
    }
    ~GLContext() {
        if (context_) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context_);
        }
        if (dc_) ReleaseDC(window_, dc_);
        if (window_) DestroyWindow(window_);
    }
    bool ok() const { return context_ != nullptr; }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HGLRC context_ = nullptr;
};

void ExpectMatrix(GLenum which, const double (&expected)[16], const char* name) {
    double m[16];
    glGetDoublev(which, m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-9) << name << " element " << i;
}

GLint Integer(GLenum which) {
    GLint value = -1;
    glGetIntegerv(which, &value);
    return value;
}

}  // namespace

TEST(Ortho, BeginMapsTheVirtualScreenAndEndRestoresTheProjection) {
    GLContext gl;
    ASSERT_TRUE(gl.ok()) << "no OpenGL context on this display";

    // A recognisable projection to come back to, and a modelview to be replaced.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScaled(2, 3, 4);
    glMatrixMode(GL_MODELVIEW);
    glTranslated(5, 6, 7);
    GLint depth = Integer(GL_PROJECTION_STACK_DEPTH);

    TOrtho* ortho = new TOrtho();
    EXPECT_EQ(ortho->BeginOrtho(), 0);
    // glOrtho(0, 1024, 768, 0, -1, 1): x to [-1, 1] left to right, y top-down.
    const double projection[16] = {2.0 / 1024, 0, 0, 0, 0, -2.0 / 768, 0, 0, 0, 0, -1, 0, -1, 1, 0, 1};
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ExpectMatrix(GL_PROJECTION_MATRIX, projection, "projection");
    ExpectMatrix(GL_MODELVIEW_MATRIX, identity, "modelview");
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), depth + 1);

    EXPECT_EQ(ortho->EndOrtho(), 0);
    const double scaled[16] = {2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1};
    ExpectMatrix(GL_PROJECTION_MATRIX, scaled, "restored projection");
    ExpectMatrix(GL_MODELVIEW_MATRIX, identity, "modelview after");
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(Integer(GL_PROJECTION_STACK_DEPTH), depth);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Scene, SetupGLSetsTheDepthTestAndThePerspective) {
    GLContext gl;
    ASSERT_TRUE(gl.ok()) << "no OpenGL context on this display";
    glMatrixMode(GL_PROJECTION);
    glScaled(2, 2, 2);  // replaced, not multiplied
    SetupGL(1024, 768);
    EXPECT_EQ(Integer(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(Integer(GL_FRONT_FACE), GL_CW);
    EXPECT_EQ(Integer(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(Integer(GL_MATRIX_MODE), GL_MODELVIEW);
    EXPECT_EQ(Integer(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 768);
    // gluPerspective(60, 4/3, 0.01, 50000).
    double f = 1 / std::tan(30 * 3.14159265358979323846 / 180);
    double zNear = 0.01, zFar = 50000;
    const double perspective[16] = {f / (1024.0 / 768), 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / (zNear - zFar), -1,
                                    0, 0, 2 * zFar * zNear / (zNear - zFar), 0};
    double m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], perspective[i], 1e-5) << "element " << i;
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0] + clear[1] + clear[2] + clear[3], 0.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Scene, StarsDrawSwaysAndLeavesTexturingOnAndBlendingOff) {
    GLContext gl;
    ASSERT_TRUE(gl.ok()) << "no OpenGL context on this display";
    StartSceneModule();
    if (IsNull(Stars.get())) Stars = TStars::Create();
    Stars->angle = 359.95f;
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    GLint depth = Integer(GL_MODELVIEW_STACK_DEPTH);
    EXPECT_EQ(Stars->Draw(), 0);
    EXPECT_NEAR(Stars->angle, 0.05f, 1e-3);  // wrapped above 360
    EXPECT_EQ(Stars->Draw(), 0);
    EXPECT_NEAR(Stars->angle, 0.15f, 1e-3);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(Integer(GL_MODELVIEW_STACK_DEPTH), depth);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

namespace {

std::vector<unsigned char> DrawnStars(void (*draw)()) {
    SetupGL(64, 64);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(20, 32, -25, 0, 0, -50, 0, 1, 0);
    Stars->angle = 10;
    draw();
    std::vector<unsigned char> pixels(64 * 64 * 3);
    glReadPixels(0, 0, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// The field drawn point by point, the way the one array draw must match.
void StarsOneByOne() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_POINT_SMOOTH);
    glPushMatrix();
    glPointSize(1);
    Stars->angle += 0.1f;
    glTranslatef(Stars->x / 2, Stars->y / 2, Stars->z / 2);
    glRotatef(static_cast<float>(std::sin(Stars->angle * 3.14159265358979323846 / 180) * 40), 0, 0, 1);
    glBegin(GL_POINTS);
    for (Object* value : *StarList.get()) {
        TStars* star = Downcast<TStars>(value);
        glColor3f(star->red, star->green, star->blue);
        glVertex3f(star->x, star->y, star->z);
    }
    glEnd();
    glPopMatrix();
}

}  // namespace

TEST(Scene, StarsLightTheSamePixelsAsPointByPointAndLeaveNoArraysOn) {
    GLContext gl;
    ASSERT_TRUE(gl.ok()) << "no OpenGL context on this display";
    StartSceneModule();
    if (IsNull(Stars.get())) Stars = TStars::Create();
    std::vector<unsigned char> ours = DrawnStars([] { Stars->Draw(); });
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_FALSE(glIsEnabled(GL_COLOR_ARRAY));
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    TStars* last = Downcast<TStars>(StarList->Last());
    EXPECT_FLOAT_EQ(colour[0], last->red);
    EXPECT_FLOAT_EQ(colour[2], last->blue);
    std::vector<unsigned char> reference = DrawnStars(StarsOneByOne);
    int lit = 0, differ = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        lit += ours[i] != 0;
        differ += ours[i] != reference[i];
    }
    EXPECT_GT(lit, 30);  // the 64x64 view holds dozens of stars
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ---- one frame of the scene ----

namespace {

// A radio that hands out a chosen spectrum and never polls a title.
class TSpectrumRadio : public TBass {
    KV_CLASS(TSpectrumRadio, TBass)
public:
    float low = 0;   // bin 1
    float high = 0;  // bin 25; bins 26..28 stay 0
    int polls = 0;
    Array* GetFFT() override {
        Array* fft = NewArray("f", 512);
        fft->DataAs<float>()[1] = low;
        fft->DataAs<float>()[25] = high;
        return fft;
    }
    int UpdateTitle() override {
        ++polls;
        return 0;
    }
};

int CountFireworks() {
    int n = 0;
    for (Object* value : *ImageList.get()) n += IsA<TFireworks>(value) ? 1 : 0;
    return n;
}

TFireworks* LastFireworks() {
    TFireworks* last = NullOf<TFireworks>();
    for (Object* value : *ImageList.get()) {
        if (IsA<TFireworks>(value)) last = Downcast<TFireworks>(value);
    }
    return last;
}

}  // namespace

KV_DEFINE_CLASS(TSpectrumRadio, TBass);

TEST(Scene, LoudOddFramesSpawnFireworksAtTheirPlaces) {
    StartSceneModule();
    // A windowed display with the 2D driver, as the saver draws with it.
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(1024, 768, 0, 60, 0))) << "no OpenGL display";
    if (IsNull(Stars.get())) Stars = TStars::Create();
    ImageList->Clear();
    TSpectrumRadio* radio = new TSpectrumRadio();
    radio->radioBar = new TSplash();  // an empty bar: the title is not drawn
    radio->phase = 90;                // Sin(90) = 1: the top burst sits left of centre
    Radio = radio;
    TScreenSaver* saver = new TScreenSaver();
    saver->width = 1024;
    saver->height = 768;
    ImageList->Remove(radio->radioBar);
    OddFrame = 0;

    saver->DrawFrame();  // odd: silence spawns nothing
    EXPECT_EQ(OddFrame, 1);
    EXPECT_EQ(CountFireworks(), 0);
    EXPECT_EQ(radio->polls, 1);

    radio->low = 0.25f;  // level 167: a centre burst
    saver->DrawFrame();  // even: no analysis
    EXPECT_EQ(CountFireworks(), 0);
    saver->DrawFrame();
    ASSERT_EQ(CountFireworks(), 1);
    TFireworks* centre = LastFireworks();
    EXPECT_EQ(centre->x, 512.0f);
    EXPECT_EQ(centre->y, 384.0f);
    EXPECT_NEAR(centre->scale, 0.05f + 0.02f, 1e-6);  // drawn once in the same frame
    EXPECT_EQ(centre->fadeFlag, 1);

    radio->low = 0.03f;  // level 55: no centre burst
    radio->high = 0.25f; // the four top bins sum to level 167: a top burst
    saver->DrawFrame();
    saver->DrawFrame();
    ASSERT_EQ(CountFireworks(), 2);
    TFireworks* top = LastFireworks();
    EXPECT_FLOAT_EQ(top->x, 512.0f - 167 * 2);
    EXPECT_EQ(top->y, 64.0f);
    EXPECT_NEAR(top->scale, 0.01f + 0.02f, 1e-6);
    EXPECT_EQ(radio->polls, 3);

    ImageList->Clear();
    Radio = NullOf<TBass>();
    OddFrame = 0;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EndGraphics();
}

// ---- the scene's set-up ----

namespace {

Array* Arguments(std::initializer_list<const char*> args) {
    Array* array = NewArray("$", static_cast<int>(args.size()));
    int i = 0;
    for (const char* arg : args) array->SetObject(i++, String::FromCString(arg));
    return array;
}

}  // namespace

TEST(Scene, InitSceneBuildsThePreviewAndTheSaverScenes) {
    StartSceneModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(1024, 768, 0, 60, 0))) << "no OpenGL display";
    Ref<Array> savedArgs = AppArgs.get();
    // The scene makes a star list of its own here; other tests keep theirs.
    Ref<TList> savedStarList = StarList.get();
    Ref<TStars> savedStars = Stars.get();
    StarList = NullOf<TList>();
    ImageList->Clear();

    // The preview: the virtual screen, a logo that stays lit, no radio stream.
    AppArgs = Arguments({"neonara.scr", "/p", "1234"});
    TScreenSaver* preview = new TScreenSaver();
    preview->width = 152;
    preview->height = 112;
    EXPECT_EQ(preview->InitScene(1), 0);
    EXPECT_EQ(preview->width, 1024);
    EXPECT_EQ(preview->height, 768);
    EXPECT_EQ(Logo->x, 510.0f);
    EXPECT_EQ(Logo->y, 352.0f);
    EXPECT_EQ(Logo->alpha, 1.0f);
    EXPECT_EQ(Logo->fading, 0);
    EXPECT_EQ(Logo->fadeFlag, 0);
    EXPECT_EQ(Logo->red, TintRed);
    EXPECT_EQ(Logo->green, TintGreen);
    EXPECT_EQ(Logo->blue, TintBlue);
    EXPECT_FALSE(IsNull(Logo->image));
    ASSERT_FALSE(IsNull(Radio.get()));
    EXPECT_EQ(Radio->stream, 0);  // the preview plays nothing
    EXPECT_EQ(StarList->Count(), StarCount);
    EXPECT_FALSE(IsNull(TitleFont.get()));

    // The saver: the logo in the middle of its display, fading in over five
    // seconds' hold; the integer halves of an 800x600 display put it at (399, 268).
    AppArgs = Arguments({"neonara.scr", "/S"});
    TScreenSaver* saver = new TScreenSaver();
    saver->width = 800;
    saver->height = 600;
    EXPECT_EQ(saver->InitScene(1), 0);
    EXPECT_EQ(saver->width, 800);
    EXPECT_EQ(Logo->x, 399.0f);
    EXPECT_EQ(Logo->y, 268.0f);
    EXPECT_EQ(Logo->fading, 1);
    EXPECT_EQ(Logo->fadeFlag, 0);
    EXPECT_EQ(Logo->hold, 5);
    EXPECT_NEAR(Logo->alpha, 0.0f, 0.006f);  // at most one fade step from 0
    EXPECT_EQ(Logo->red, TintRed);
    EXPECT_EQ(StarList->Count(), 2 * StarCount);

    AppArgs = savedArgs;
    StarList = savedStarList;
    Stars = savedStars;
    ImageList->Clear();
    Radio = NullOf<TBass>();
    Logo = NullOf<TSplash>();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EndGraphics();
}

// A title in Cyrillic (as UTF-8 titles and numeric references now give)
// drawn at rest over the bar: every letter leaves ink where the title font
// puts it. The picture is kept as cyrillic-title.png beside the tests.
TEST(Scene, ACyrillicTitleShowsEveryLetterOnTheBar) {
    StartSceneModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(1024, 768, 0, 60, 0))) << "no OpenGL display";
    if (IsNull(TitleFont.get())) TitleFont = LoadImageFont(u"incbin::ALBA____.TTF"_s, 28, FONT_SMOOTH);
    SetImageFont(TitleFont);
    TintRed = 90, TintGreen = 255, TintBlue = 10;  // a green bar: next to no blue in it
    TBass* bass = TBass::Create();
    bass->title = u"\u0416\u0438\u0432\u043e\u0439 \u0437\u0432\u0443\u043a"_s;  // "Живой звук"
    bass->titleX = 12;
    bass->radioBar->SetAlpha(1.0f);
    bass->radioBar->fading = 0;
    OddFrame = 0;
    Cls();
    bass->radioBar->Draw();
    bass->Draw();
    TPixmap* bar = GrabPixmap(0, 680, 1024, 52);
    SavePixmapPNG(bar, u"cyrillic-title.png"_s, -1);
    // Ink: much darker than the bar in its row. The bar's tint is random, so
    // a pixel's brightness is its brightest channel.
    auto bright = [&](int x, int y) {
        int argb = bar->ReadPixel(x, y);
        return std::max({argb >> 16 & 0xff, argb >> 8 & 0xff, argb & 0xff});
    };
    auto inkIn = [&](int x0, int x1) {
        int ink = 0;
        for (int y = 0; y < bar->height; ++y) {
            int barBright = 0;
            for (int x = 0; x < bar->width; ++x) barBright = std::max(barBright, bright(x, y));
            for (int x = x0; x < x1; ++x) ink += barBright > 40 && bright(x, y) < barBright / 2;
        }
        return ink;
    };
    String* title = bass->title;
    for (int i = 0; i < title->length; ++i) {
        if (title->Text()[i] == u' ') continue;
        int x0 = 12 + TextWidth(Slice(title, 0, i)), x1 = 12 + TextWidth(Slice(title, 0, i + 1));
        EXPECT_GT(inkIn(x0, x1), 10) << "no ink for letter " << i << " at " << x0 << ".." << x1;
    }
    EXPECT_EQ(inkIn(12 + TextWidth(title) + 8, 1024), 0);
    ImageList->Clear();
    EndGraphics();
}

// The seeded frames drawn with the GL driver's shortcuts (the sprites'
// outlines in place of their quads, magnified sprites sampled from level 0
// alone) and drawn plainly agree to within one level a channel (texture
// coordinates interpolated over the outline's triangles may round
// differently).
TEST(Scene, FireworksDrawnWithShortcutsLookAsDrawnPlainly) {
    StartSceneModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    ASSERT_FALSE(IsNull(Graphics(1024, 768, 0, 60, 0))) << "no OpenGL display";
    SetupGL(1024, 768);
    int before = GLOutlinedDraws(), beforeLevelZero = GLLevelZeroDraws();
    std::vector<Ref<TPixmap>> shortcut = DrawSeededFrames(false, 3, true);
    int outlinedDraws = GLOutlinedDraws() - before, levelZeroDraws = GLLevelZeroDraws() - beforeLevelZero;
    std::vector<Ref<TPixmap>> plain = DrawSeededFrames(true, 3, true);
    EXPECT_GT(outlinedDraws, 30) << "the fireworks were not drawn by their outlines";
    EXPECT_GT(levelZeroDraws, 30) << "no magnified firework was sampled from level 0 alone";
    EXPECT_EQ(GLOutlinedDraws() - before, outlinedDraws) << "drawn by outlines while asked to draw plainly";
    EXPECT_EQ(GLLevelZeroDraws() - beforeLevelZero, levelZeroDraws) << "level 0 alone while asked to draw plainly";
    for (size_t frame = 0; frame < shortcut.size(); ++frame) {
        int differing = 0, lit = 0;
        EXPECT_LE(WorstChannelDifference(shortcut[frame].get(), plain[frame].get(), &differing, &lit), 1)
            << "frame " << frame << ": " << differing << " pixels differ";
        EXPECT_GT(lit, 100000) << "frame " << frame << " shows next to nothing";
    }
    EndGraphics();
}

