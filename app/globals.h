// The screensaver's start-up state: the embedded files, the tint, the frame
// timer, the list of image effects and the sprite choice. Everything here is
// set once when the module starts and lives until the process ends.
#pragma once
#include "graphics/image.h"
#include "runtime/array.h"
#include "runtime/list.h"
#include "runtime/object.h"
#include "system/timer.h"

// The virtual 2D screen every 2D layer draws in.
constexpr int VirtualWidth = 1024;
constexpr int VirtualHeight = 768;
// The star field.
constexpr int StarCount = 10000;
constexpr int StarSpread = 10500;

constexpr int kEmbeddedAssetCount = 10;
// The registered names of the embedded files, in registration order.
const char* EmbeddedAssetName(int index);

extern Ref<TList> ImageList;  // every splash and fireworks object
extern int TintRed, TintGreen, TintBlue;
extern Ref<TTimer> FrameTimer;  // 60 Hz; every frame waits for its next tick
// The seven sprite images at indices 1..7 (slot 0 stays the null object); an
// image that cannot be loaded leaves the null object in its slot.
extern Ref<Array> SpriteImages;
extern int SpriteIndex;         // 1..7: the sprite image new fireworks take
extern int SpriteSwitchTime;    // MilliSecs of the last timed change of SpriteIndex

// Registers the ten embedded files in order; returns how many were new.
int RegisterEmbeddedAssets();

// Draws the tint with the generator in its fixed order: three draws that only
// advance it, the bright channel k (1 red, 2 green, 3 blue), then the bright
// channel from 150..255 and the other two from 1..150. Returns k.
int ChooseTint();

// Loads the seven sprite images from their embedded files, filtered and
// mipmapped, into SpriteImages.
void LoadSpriteImages();

// SpriteIndex := Rand(1, 7); SpriteSwitchTime := MilliSecs().
void ChooseSpriteIndex();

void StartGlobalsModule();
