// Process start-up and the application globals.
//
// RunProcess runs before any module: it installs the fault handlers, works
// out the program's file and folder, registers the collector's stack base,
// sets the globals below and makes the program's folder the working
// directory. Every module then has one start-up routine that runs at most
// once and first starts the modules it uses (KV_START_ONCE).
#pragma once
#include "runtime/array.h"
#include "runtime/object.h"
#include "runtime/string.h"

extern Ref<String> AppDir;     // the program's folder, "/" separators (C:/ for a drive root)
extern Ref<String> AppFile;    // the program's full path, "/" separators
extern Ref<String> LaunchDir;  // the working directory at start
extern Ref<String> AppTitle;   // "Korvex Application" until the program sets its own
extern Ref<Array> AppArgs;     // command-line arguments, element 0 the program

// The first lines of a module's start-up routine: a second call returns at once.
#define KV_START_ONCE()          \
    static bool started_ = false; \
    if (started_) return;        \
    started_ = true

// Starts the process (handlers, globals, stack base, working directory),
// the runtime core's modules, then runs `program` inside the unhandled-
// exception path, and returns its result as the exit code.
int RunProcess(int argc, char** argv, int (*program)());

// The path derivations of start-up, on their own so they can be checked.
// ForwardSlashes: the C text with every backslash turned into "/".
// ProgramFolder: the folder part of a "/"-separated file path, cut at the
// last "/"; the "/" stays for a root ("C:/", "/"); the empty string when the
// path has no "/".
String* ForwardSlashes(const char* path);
String* ProgramFolder(String* file);

// Starts the runtime core's modules (objects, strings, arrays, exceptions,
// lists, maps, time, math, random numbers); called by RunProcess.
void StartRuntimeCore();
