// Everything written to standard output while `body` runs: the process's
// standard output handle is pointed at a temporary file for the duration.
#pragma once
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <functional>
#include <string>

#include "runtime/win32.h"
#include "stream/standardio.h"

inline std::string CaptureOutput(const std::function<void()>& body) {
    StartStandardIOModule();
    std::fflush(stdout);
    char name[MAX_PATH];
    GetTempFileNameA(".", "out", 0, name);
    int file = _open(name, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    int saved = _dup(1);
    _dup2(file, 1);
    body();
    std::fflush(stdout);
    _dup2(saved, 1);
    _close(saved);
    std::string out;
    _lseek(file, 0, SEEK_SET);
    char buffer[4096];
    int got;
    while ((got = _read(file, buffer, sizeof buffer)) > 0) out.append(buffer, got);
    _close(file);
    DeleteFileA(name);
    return out;
}
