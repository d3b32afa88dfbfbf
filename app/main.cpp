// The screensaver's entry: start the modules in order, seed the generator,
// let the one TScreenSaver pick its mode from the command line.
#include "app/globals.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "graphics/freetypefont.h"
#include "graphics/png.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/time.h"
#include "stream/ramstream.h"
#include "stream/standardio.h"
#include "system/event.h"
#include "system/system.h"
#include "system/timer.h"

namespace {

void StartModules() {
    StartRuntimeCore();  // objects, strings, arrays, exceptions, lists, maps, time, math, random
    StartStandardIOModule();
    StartEventModule();
    StartSystemModule();
    // the GUI module with its Win32 driver joins here
    StartTimerModule();
    StartPngModule();
    StartFreeTypeModule();
    StartRamStreamModule();
    StartGlobalsModule();  // resources, radio binding, tint, frame timer, sprites
    StartSceneModule();    // effects, star field, the GL 2D driver
}

int ScreenSaverMain() {
    StartModules();
    SeedRnd(MilliSecs());
    TScreenSaver* saver = new TScreenSaver();
    saver->Run();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, ScreenSaverMain); }
