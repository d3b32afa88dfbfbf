#include "runtime/time.h"

#include "runtime/startup.h"
#include "runtime/win32.h"

// Nothing to set up: both functions go straight to the system.
void StartTimeModule() { KV_START_ONCE(); }

int MilliSecs() { return static_cast<int>(timeGetTime()); }

// Sleep takes an unsigned count, so a negative value would be read as an
// almost endless wait (-1 is INFINITE).
void Delay(int ms) {
    if (ms >= 0) Sleep(static_cast<DWORD>(ms));
}
