#include "app/screensaver.h"

#include "runtime/array.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"

#include <GL/gl.h>

KV_DEFINE_CLASS(TOrtho, Object);
KV_DEFINE_CLASS(TScreenSaver, TOrtho);

namespace {

constexpr UINT kSetScreenSaverRunning = 97;  // SPI_SETSCREENSAVERRUNNING
constexpr double kVirtualWidth = 1024;
constexpr double kVirtualHeight = 768;

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

// The saver loop, the preview, the configuration dialog and the scene are
// separate modes of the application that arrive with their own modules; until
// then these slots only return.
int TScreenSaver::RunSaver() { return 0; }
int TScreenSaver::RunPreview() { return 0; }
int TScreenSaver::RunConfig() { return 0; }
int TScreenSaver::InitScene(int) { return 0; }
int TScreenSaver::DrawFrame() { return 0; }

// Will drain the event queue with PollEvent once the event module exists.
int TScreenSaver::FlushEvents() { return 0; }
