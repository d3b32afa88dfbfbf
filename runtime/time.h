// The millisecond clock and waiting.
#pragma once

void StartTimeModule();

// Milliseconds since Windows started (timeGetTime), wrapping at 2^32; 1 ms
// resolution once the system driver has asked for the 1 ms timer period.
int MilliSecs();

// Sleeps `ms` milliseconds; a negative value returns at once.
void Delay(int ms);
