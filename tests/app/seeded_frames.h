// Fixed frames of the scene for comparing pictures and timing the drawing:
// the seeded star field and a fixed set of fireworks of every sprite, at
// scales from tiny to full-screen, tilted, in both blends, some faint (one
// below half a level).
// Needs the saver's display open with SetupGL done.
#pragma once
#include <vector>

#include "graphics/pixmap.h"
#include "runtime/object.h"

// Draws `frames` frames (each finished with glFinish) with the sprites drawn
// plainly or with the shortcuts (GLDrawPlainly, LeaveOutUnseen), grabbing each
// when `grab`; the wall time per frame goes to msPerFrame when given. Leaves
// the image list empty.
std::vector<Ref<TPixmap>> DrawSeededFrames(bool plain, int frames, bool grab, double* msPerFrame = nullptr);

// The largest difference of one colour channel between two pictures of one
// size; also how many pixels differ and how many are lit in `b`.
int WorstChannelDifference(TPixmap* a, TPixmap* b, int* differing, int* lit);
