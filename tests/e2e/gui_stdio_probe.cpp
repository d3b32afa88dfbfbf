// A GUI-subsystem program started like neonara.scr: one line on standard
// output, then an uncaught runtime error (its text on standard error, exit
// code -1). The tests check that its caller receives both.
#include <cstdio>

#include "runtime/exception.h"
#include "runtime/startup.h"

namespace {

int Probe() {
    std::printf("probe: standard output\n");
    std::fflush(stdout);
    RuntimeError("probe: standard error");
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Probe); }
