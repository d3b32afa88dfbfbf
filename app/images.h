// The 2D image effects kept in ImageList: splashes (the logo and the radio
// bar) with a fade machine, and short-lived fireworks sprites spawned by the
// music that spin, grow and fade until they are removed.
#pragma once
#include "app/screensaver.h"
#include "graphics/image.h"
#include "runtime/object.h"
#include "runtime/string.h"

// MilliSecs() taken once per frame by TImages::UpdateAll; all fade timing
// compares against it.
extern float FrameTime;

// What cannot show is left out of the drawing (the default): the stars GL
// would clip, and effects whose alpha is below half a level. False draws
// everything, for comparing the pictures.
extern bool LeaveOutUnseen;

class TImages : public TOrtho {
    KV_CLASS(TImages, TOrtho)
public:
    Ref<TImage> image;
    int red = 0, green = 0, blue = 0;
    float alpha = 0;  // 0..1; a fireworks sprite not above 0 is removed
    float x = 0, y = 0;
    int blend = 0;
    float rotation = 0;
    int spinDirection = 0;  // fireworks: 1 rotation grows, 0 it shrinks
    float scale = 0;        // fireworks
    float scaleX = 0, scaleY = 0;  // splash
    int fading = 0;         // splash: 1 while the fade machine runs
    int fadeFlag = 0;       // splash: not 0 fading out; fireworks: not 0 fades
    int fadeTime = 0;       // MilliSecs time after which alpha changes
    int hold = 0;           // splash: seconds a faded-in splash stays

    // Every new effect appends itself to ImageList.
    TImages();

    virtual int Draw() = 0;
    // FrameTime := MilliSecs(); then fireworks, then splashes on top.
    static int UpdateAll();
    // Kind 1 draws the visible fireworks and removes the invisible ones;
    // kind 2 draws every splash.
    static int UpdateKind(int kind);
};

class TSplash : public TImages {
    KV_CLASS(TSplash, TImages)
public:
    int Draw() override;
    static TSplash* Create(String* url, float x, float y, float alpha, float scaleX, float scaleY,
                           int blend, int centre, int fading, int fadeFlag, int delaySeconds);
    virtual int SetAlpha(float value);
    virtual int SetColor(int r, int g, int b);
    // Restarts the cycle: after delaySeconds fade in (from 0) or out (from 1);
    // a faded-in splash stays holdSeconds before it fades out.
    virtual int Fade(int fadeIn, int delaySeconds, int holdSeconds);
    virtual int UpdateFade();
};

class TFireworks : public TImages {
    KV_CLASS(TFireworks, TImages)
public:
    int Draw() override;
    static TFireworks* Create(float x, float y, float alpha, float scale, int blend, int centre,
                              int fades, int delaySeconds);
    virtual int Grow(float amount);
    virtual int Spin(float amount);
    // The state change of one drawn frame: spin, grow and fade.
    virtual int Advance();
};

void StartImagesModule();
