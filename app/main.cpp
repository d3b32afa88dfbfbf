// The screensaver's entry: start the modules in order, seed the generator,
// let the one TScreenSaver pick its mode from the command line.
#include "app/screensaver.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/time.h"

namespace {

int ScreenSaverMain() {
    StartScreenSaverModules();
    SeedRnd(MilliSecs());
    TScreenSaver* saver = new TScreenSaver();
    saver->Run();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, ScreenSaverMain); }
