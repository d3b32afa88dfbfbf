// The process-wide random generator: Park-Miller "minimal standard" with
// multiplier 48271 and modulus 2^31 - 1.
//
// Invariant: the state is always in [1, 2147483646]; it starts at 4660, so a
// run that never seeds draws the same sequence every time.
#pragma once

void StartRandomModule();

// state = seed with bit 31 cleared; 0 and 0x7fffffff (fixed points of the
// generator) become 4660.
void SeedRnd(int seed);
int RndSeed();

double RndDouble();  // [0, 1), two steps
float RndFloat();    // [0, 1), one step
// A double between a and b, whichever order they come in: lo + r * (hi - lo).
double Rnd(double a = 1.0, double b = 0.0);
// An int between a and b inclusive, whichever order they come in.
int Rand(int a, int b = 1);
