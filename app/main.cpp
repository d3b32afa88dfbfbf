// The screensaver's entry: start the modules in order, seed the generator,
// let the one TScreenSaver pick its mode from the command line.
#include "app/screensaver.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/time.h"

namespace {

void StartModules() {
    StartRuntimeCore();  // objects, strings, arrays, exceptions, lists, maps, time, math, random
    // Then, in this order, as each module arrives:
    //   standard input and output (text streams on the console handles)
    //   events and the event queue, the Win32 system driver
    //   the GUI module with its Win32 driver
    //   timers
    //   the PNG pixmap loader
    //   the FreeType font loader
    //   the RAM-stream factory for "incbin::" urls
    //   the screensaver's globals (resources, radio binding, tint, frame timer, sprites)
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
