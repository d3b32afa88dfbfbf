// The screensaver object: the command-line dispatch that picks the mode.
#pragma once
#include "runtime/object.h"

// The application's base for drawing in the virtual 1024x768 screen.
class TOrtho : public Object {
    KV_CLASS(TOrtho, Object)
public:
    // Pushes the projection matrix and loads a top-left origin projection of
    // the virtual screen; the modelview matrix is left as identity.
    virtual int BeginOrtho();
    // Pops the projection matrix again.
    virtual int EndOrtho();
};

class TScreenSaver : public TOrtho {
    KV_CLASS(TScreenSaver, TOrtho)
public:
    // The drawing surface in pixels, or the virtual screen once a scene is built.
    int width = 0;
    int height = 0;

    // Picks the mode from AppArgs' first argument; returns 0.
    virtual int Run();
    virtual int RunSaver();
    virtual int RunPreview();
    virtual int RunConfig();
    virtual int InitScene(int preview);
    // Waits for the frame timer's next tick, then draws the scene.
    virtual int DrawFrame();
    // One frame of the scene, without the wait: stars, fireworks, effects, title.
    virtual int DrawScene();
    virtual int FlushEvents();
    // Opens the 1024x768 full-screen display at the desktop's depth and
    // refresh rate, printing both modes; 0 when the desktop does not allow it.
    virtual int OpenSaverDisplay();
    // Everything before the saver's loop: the display, the hidden cursor, the
    // light, the scene (with the radio unless preview is 1) and an empty
    // event queue. 0 when the display cannot be opened.
    virtual int StartSaver(int preview);
    // 1 when the event with this id ends the saver loop (after printing why).
    virtual int SaverEventEnds(int id);
};

// Announces (1) or withdraws (0) that a screensaver runs and returns the
// state that was set before. Replaceable so that a test can report another
// running saver: Wine accepts the announcement but never reports a previous
// state.
extern int (*SetScreenSaverRunning)(int running);
int SystemSetScreenSaverRunning(int running);

// Frees the radio library when the mode is over; does nothing until the
// radio binding installs its own routine.
extern void (*ReleaseRadioLibrary)();

// The mouse rule forgets the last move position, so the next move event sets
// it again (a new saver run in the same process starts that way).
void ForgetLastMouse();

// Starts every module the screensaver uses, in order: the runtime core,
// standard I/O, events, the system driver, timers, PNG, FreeType, memory
// streams, the start-up state (resources, radio binding, tint, frame timer,
// sprites) and the scene (effects, star field, the GL 2D driver).
void StartScreenSaverModules();
