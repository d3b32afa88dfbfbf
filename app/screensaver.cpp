#include "app/screensaver.h"

#include "app/bassbinding.h"
#include "app/globals.h"
#include "app/scene.h"
#include "graphics/freetypefont.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/png.h"
#include "gui/win32guidriver.h"
#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "stream/ramstream.h"
#include "stream/standardio.h"
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"

#include <cstdio>
#include <cstdlib>

#include <GL/gl.h>

KV_DEFINE_CLASS(TOrtho, Object);
KV_DEFINE_CLASS(TScreenSaver, TOrtho);

namespace {

constexpr UINT kSetScreenSaverRunning = 97;  // SPI_SETSCREENSAVERRUNNING
constexpr double kVirtualWidth = 1024;
constexpr double kVirtualHeight = 768;
constexpr int kSaverWidth = 1024;  // the saver's display, whatever the desktop's size
constexpr int kSaverHeight = 768;

void NoRadioLibrary() {}

// Without an argument the program behaves as if started with "/c".
void ApplyDefaultArgument() {
    if (AppArgs->Length() >= 2) return;
    Array* args = NewArray("$", 2);
    if (AppArgs->Length() == 1) args->SetObject(0, AppArgs->StringAt(0));
    args->SetObject(1, u"/c"_s);
    AppArgs = args;
}

bool IsKey(String* key, String* a, String* b) { return Equals(key, a) || Equals(key, b); }

}  // namespace

void StartScreenSaverModules() {
    StartRuntimeCore();
    StartStandardIOModule();
    StartEventModule();
    StartSystemModule();
    StartWin32GuiModule();
    StartTimerModule();
    StartPngModule();
    StartFreeTypeModule();
    StartRamStreamModule();
    StartGlobalsModule();
    StartSceneModule();
}

int SystemSetScreenSaverRunning(int running) {
    BOOL previous = FALSE;
    SystemParametersInfoA(kSetScreenSaverRunning, static_cast<UINT>(running), &previous, 0);
    return previous ? 1 : 0;
}

int (*SetScreenSaverRunning)(int running) = SystemSetScreenSaverRunning;
void (*ReleaseRadioLibrary)() = NoRadioLibrary;

int TOrtho::BeginOrtho() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, kVirtualWidth, kVirtualHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return 0;
}

int TOrtho::EndOrtho() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return 0;
}

// Only the first two characters of the first argument count, folded to
// lower case: "/S", "/s:5" and "/save" all select the saver.
int TScreenSaver::Run() {
    ApplyDefaultArgument();
    String* key = Slice(AppArgs->StringAt(1), 0, 2)->ToLower();

    if (IsKey(key, u"/s"_s, u"-s"_s)) {
        if (SetScreenSaverRunning(1) != 0) return 0;  // another saver runs: leave its state set
        try {
            RunSaver();
        } catch (...) {
            SetScreenSaverRunning(0);  // a failing saver must not leave the system state set
            throw;
        }
        SetScreenSaverRunning(0);
    } else if (IsKey(key, u"/c"_s, u"-c"_s)) {
        RunConfig();
    } else if (IsKey(key, u"/p"_s, u"-p"_s) || IsKey(key, u"/l"_s, u"-l"_s)) {
        RunPreview();
    }
    // "/a" (set a password) and unknown switches do nothing.
    ReleaseRadioLibrary();
    return 0;
}


int TScreenSaver::FlushEvents() {
    while (PollEvent() != 0) {
    }
    return 0;
}

namespace {

// The last mouse position, set from the first move event the loop sees.
bool mouseSeen = false;
int lastMouseX = 0;
int lastMouseY = 0;

// True when this move ends the saver: a step of more than one pixel from the
// previous move event on either axis.
bool MouseMoved(int x, int y) {
    if (!mouseSeen) {
        mouseSeen = true;
        lastMouseX = x;
        lastMouseY = y;
    }
    if (std::abs(lastMouseX - x) > 1 || std::abs(lastMouseY - y) > 1) return true;
    lastMouseX = x;
    lastMouseY = y;
    return false;
}

void SetLight() {
    const GLfloat position[4] = {0, 2000, 0, 1};
    const GLfloat ambient[4] = {1.3f, 1.3f, 1.3f, 1.0f};
    const GLfloat diffuse[4] = {1, 1, 1, 1};
    const GLfloat specular[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
}

String* ModeLine(int width, int height, int depth, int hertz) {
    String* line = Concat(String::FromInt(width), u"/"_s);
    line = Concat(Concat(line, String::FromInt(height)), u"/"_s);
    line = Concat(Concat(line, String::FromInt(depth)), u"/"_s);
    return Concat(line, String::FromInt(hertz));
}

}  // namespace

void ForgetLastMouse() { mouseSeen = false; }

// 1 when the event with this id ends the saver; the line saying why is printed.
int TScreenSaver::SaverEventEnds(int id) {
    switch (id) {
    case EVENT_KEYDOWN:
    case EVENT_MOUSEDOWN:
        Print(u"EVENT_MOUSEDOWN, EVENT_KEYDOWN"_s);
        return 1;
    case EVENT_APPTERMINATE:
    case EVENT_WINDOWCLOSE:
    case EVENT_APPSUSPEND:
        Print(u"EVENT_APPTERMINATE, EVENT_WINDOWCLOSE"_s);
        return 1;
    case EVENT_MOUSEMOVE:
        if (MouseMoved(EventX(), EventY())) {
            Print(u"EVENT_MOUSEMOVE"_s);
            return 1;
        }
        return 0;
    default:
        return 0;
    }
}

int TScreenSaver::OpenSaverDisplay() {
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    if (!dc) return 0;
    int deskWidth = GetDeviceCaps(dc, HORZRES);
    int deskHeight = GetDeviceCaps(dc, VERTRES);
    int depth = GetDeviceCaps(dc, BITSPIXEL);
    if (depth < 16) depth = GetDeviceCaps(dc, PLANES);
    int hertz = GetDeviceCaps(dc, VREFRESH);
    ReleaseDC(desktop, dc);
    if (depth < 16) return 0;
    Print(ModeLine(deskWidth, deskHeight, depth, hertz));
    if (hertz < 60) hertz = -1;
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    width = kSaverWidth;
    height = kSaverHeight;
    Graphics(width, height, depth, hertz, 0);
    Print(ModeLine(width, height, depth, hertz));
    return 1;
}

int TScreenSaver::StartSaver(int preview) {
    WarmUpSoundSystem();
    if (!OpenSaverDisplay()) return 0;
    HideMouse();
    SetLight();
    InitScene(preview);
    FlushEvents();
    return 1;
}

// A fault inside the saver ends it with a line on standard error only: a
// screensaver must never stop the desktop with an error dialog.
int TScreenSaver::RunSaver() {
    try {
        if (!StartSaver(0)) return 0;
        for (;;) {
            if (SaverEventEnds(PollEvent())) return 0;
            DrawFrame();
            Flip(-1);
        }
    } catch (ThrownObject& thrown) {
        char* text = thrown.object()->ToString()->ToUtf8();
        std::fprintf(stderr, "%s\n", text);
        MemFreeBlock(text);
        return 0;
    } catch (...) {
        return 0;
    }
}
