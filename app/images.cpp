#include "app/images.h"

#include "app/globals.h"
#include "graphics/vanta2d.h"
#include "runtime/list.h"
#include "runtime/startup.h"
#include "runtime/random.h"
#include "runtime/time.h"
#include "runtime/win32.h"
#include "stream/standardio.h"

#include <GL/gl.h>

KV_DEFINE_CLASS(TImages, TOrtho);
KV_DEFINE_CLASS(TSplash, TImages);
KV_DEFINE_CLASS(TFireworks, TImages);

float FrameTime = 0;
bool LeaveOutUnseen = true;

namespace {

constexpr float kSplashStep = 0.005f;
constexpr float kFireworksStep = 0.01f;
constexpr int kSpriteSwitchPeriod = 10000;

// Under the alpha and light blends an alpha below half a level rounds to 0
// and leaves every pixel as it is: the logo, faded out, stays in the list.
// GL's own blend is asked too, as the stars turn it off behind the 2D
// driver's cache.
bool Shows(TImages* effect) {
    if (!LeaveOutUnseen || (effect->blend != BLEND_ALPHA && effect->blend != BLEND_LIGHT)) return true;
    return effect->alpha * 255 >= 0.5f || !glIsEnabled(GL_BLEND);
}

// Sets the 2D state of one effect and draws its image in the virtual screen.
void DrawEffect(TImages* effect, float scaleX, float scaleY) {
    ::SetBlend(effect->blend);
    ::SetColor(effect->red, effect->green, effect->blue);
    ::SetScale(scaleX, scaleY);
    ::SetRotation(effect->rotation);
    effect->BeginOrtho();
    ::SetAlpha(effect->alpha);
    if (Shows(effect)) DrawImage(effect->image, effect->x, effect->y, 0);
    effect->EndOrtho();
    ::SetBlend(BLEND_LIGHT);
}

// A missing image is drawn as nothing rather than raising: a sprite whose
// file could not be loaded must not end the saver.
bool HasImage(TImages* effect) { return !IsNull(effect->image); }

}  // namespace

TImages::TImages() { ImageList->AddLast(this); }

int TImages::UpdateAll() {
    FrameTime = static_cast<float>(MilliSecs());
    UpdateKind(1);
    UpdateKind(2);
    return 0;
}

int TImages::UpdateKind(int kind) {
    for (Object* value : *ImageList.get()) {
        if (kind == 1) {
            TFireworks* sprite = Downcast<TFireworks>(value);
            if (IsNull(sprite)) continue;
            if (sprite->alpha > 0) {
                sprite->Draw();
            } else {
                ImageList->Remove(sprite);
            }
        } else if (kind == 2) {
            TSplash* splash = Downcast<TSplash>(value);
            if (!IsNull(splash)) splash->Draw();
        }
    }
    return 0;
}

TSplash* TSplash::Create(String* url, float x, float y, float alpha, float scaleX, float scaleY,
                         int blend, int centre, int fading, int fadeFlag, int delaySeconds) {
    TSplash* splash = new TSplash();
    Print(Concat(u"szfile="_s, url));
    splash->image = LoadImage(url, IMAGE_FILTERED | IMAGE_MIPMAPPED);
    splash->x = x;
    splash->y = y;
    splash->red = splash->green = splash->blue = 255;
    splash->alpha = alpha;
    splash->blend = blend;
    splash->rotation = 0;
    splash->scaleX = scaleX;
    splash->scaleY = scaleY;
    splash->fading = fading;
    splash->fadeFlag = fadeFlag;
    splash->fadeTime = MilliSecs() + delaySeconds * 1000;
    if (centre != 0 && HasImage(splash)) MidHandleImage(splash->image);
    return splash;
}

int TSplash::SetAlpha(float value) {
    alpha = value;
    return 0;
}

int TSplash::SetColor(int r, int g, int b) {
    red = r;
    green = g;
    blue = b;
    return 0;
}

int TSplash::Fade(int fadeIn, int delaySeconds, int holdSeconds) {
    fading = 1;
    fadeTime = MilliSecs() + delaySeconds * 1000;
    hold = holdSeconds;
    if (fadeIn != 0) {
        SetAlpha(0);
        fadeFlag = 0;
    } else {
        SetAlpha(1.0f);
        fadeFlag = 1;
    }
    return 0;
}

// Fading in, the alpha passes 1.0 on the 201st step; the next frame then
// starts the hold, after which the splash fades out to just below 0.
int TSplash::UpdateFade() {
    if (fading == 0) return 0;
    if (fadeFlag != 0) {
        if (alpha > 0 && FrameTime > fadeTime) alpha -= kSplashStep;
    } else if (alpha < 1 && FrameTime > fadeTime) {
        alpha += kSplashStep;
    } else if (alpha > 1) {
        Fade(0, hold, 0);
    }
    return 0;
}

int TSplash::Draw() {
    UpdateFade();
    if (HasImage(this)) DrawEffect(this, scaleX, scaleY);
    return 0;
}

TFireworks* TFireworks::Create(float x, float y, float alpha, float scale, int blend, int centre,
                               int fades, int delaySeconds) {
    if (MilliSecs() > SpriteSwitchTime + kSpriteSwitchPeriod) {
        SpriteIndex = Rand(1, 5);
        SpriteSwitchTime = MilliSecs();
    }
    TFireworks* sprite = new TFireworks();
    if (SpriteIndex >= 1 && SpriteIndex <= 7 && SpriteIndex < SpriteImages->Length()) {
        sprite->image = Downcast<TImage>(SpriteImages->ObjectAt(SpriteIndex));
    }
    sprite->x = x;
    sprite->y = y;
    sprite->red = Rand(255, 1);
    sprite->green = Rand(255, 1);
    sprite->blue = Rand(255, 1);
    sprite->alpha = alpha;
    sprite->blend = blend;
    int first = Rand(90, 1);
    sprite->rotation = static_cast<float>(first - Rand(90, 1));
    sprite->spinDirection = sprite->rotation > 0 ? 0 : 1;
    sprite->scale = scale;
    sprite->fadeFlag = fades;
    sprite->fadeTime = delaySeconds * 1000 + MilliSecs();
    if (centre != 0 && HasImage(sprite)) MidHandleImage(sprite->image);
    return sprite;
}

int TFireworks::Grow(float amount) {
    scale += amount;
    return 0;
}

int TFireworks::Spin(float amount) {
    if (spinDirection == 1) {
        rotation += amount;
    } else {
        rotation -= amount;
    }
    return 0;
}

int TFireworks::Advance() {
    Spin(0.3f);
    Grow(0.02f);
    if (fadeFlag != 0 && alpha > 0 && FrameTime > fadeTime) alpha -= kFireworksStep;
    return 0;
}

int TFireworks::Draw() {
    Advance();
    if (HasImage(this)) DrawEffect(this, scale, scale);
    return 0;
}

void StartImagesModule() {
    KV_START_ONCE();
    StartGlobalsModule();
    StartVanta2DModule();
    StartStandardIOModule();
}
