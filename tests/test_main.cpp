// The entry of every test program: the runtime starts as it does for the
// screensaver (stack base, globals, collector mode from NEONARA_GC_STRESS),
// then GoogleTest runs inside it.
#include <gtest/gtest.h>

#include "runtime/startup.h"

static int testArgc;
static char** testArgv;

static int RunAllTests() {
    ::testing::InitGoogleTest(&testArgc, testArgv);
    return RUN_ALL_TESTS();
}

int main(int argc, char** argv) {
    testArgc = argc;
    testArgv = argv;
    return RunProcess(argc, argv, RunAllTests);
}
