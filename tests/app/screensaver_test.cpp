// The command-line dispatch of TScreenSaver.Run and the 2D projection of TOrtho.
#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>

#include "app/screensaver.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"

#include <GL/gl.h>

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
