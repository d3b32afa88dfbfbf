// The scene: OpenGL set-up of the 3D view, the star field and the globals a
// frame is composed from (the logo, the radio, the title font).
#pragma once
#include "app/images.h"
#include "app/radio.h"
#include "graphics/font.h"
#include "runtime/list.h"
#include "runtime/object.h"

// One point of the star field; the class also holds the whole field.
class TStars : public Object {
    KV_CLASS(TStars, Object)
public:
    float x = 0, y = 0, z = 0;  // world units, each -2099..2099
    float red = 0, green = 0, blue = 0;  // one grey level 0.1..1.0
    float angle = 0;  // degrees; the sway of the field, kept by the drawing star

    // Appends StarCount new stars to StarList (made on the first call) and
    // returns the last one.
    static TStars* Create();
    // Draws the whole field, offset by half this star's position and swayed
    // about z.
    virtual int Draw();
};

extern Ref<TList> StarList;
extern Ref<TStars> Stars;
extern Ref<TSplash> Logo;
extern Ref<TBass> Radio;
extern int OddFrame;
extern Ref<TImageFont> TitleFont;

// OpenGL state of the 3D view: depth test, perspective of 60 degrees.
void SetupGL(int width, int height);

// Int(Sqr(value / Log10(10)) * 2.7 * 127 - 4) in double precision, with 2.7
// as the widened single-precision constant.
int LoudnessLevel(float value);

void StartSceneModule();
