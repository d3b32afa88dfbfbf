#include "app/globals.h"

#include "app/bassbinding.h"
#include "graphics/png.h"
#include "runtime/exception.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/time.h"
#include "stream/ramstream.h"

Ref<TList> ImageList;
int TintRed = 0;
int TintGreen = 0;
int TintBlue = 0;
Ref<TTimer> FrameTimer;
Ref<Array> SpriteImages;
int SpriteIndex = 0;
int SpriteSwitchTime = 0;

namespace {

const char* const assetNames[kEmbeddedAssetCount] = {
    "thing2.png", "thing3.png", "thing4.png", "thing6.png", "star2.png",
    "circle.png", "thing5.png", "radiobar.png", "glowline.png", "ALBA____.TTF",
};

}  // namespace

const char* EmbeddedAssetName(int index) {
    return index >= 0 && index < kEmbeddedAssetCount ? assetNames[index] : "";
}

// The files are linked in with kv_app (app/CMakeLists.txt), so a missing one
// is a broken build, not a run-time condition.
int RegisterEmbeddedAssets() {
    int added = 0;
    for (const char* name : assetNames) {
        const EmbeddedFile* file = FindEmbeddedFile(name);
        if (!file) FormatRuntimeError("Embedded file %s is missing", name);
        added += IncbinAdd(String::FromCString(name), file->data, file->length);
    }
    return added;
}

int ChooseTint() {
    TintRed = Rand(255, 1);
    TintGreen = Rand(255, 1);
    TintBlue = Rand(255, 1);
    int k = Rand(1, 3);
    if (k == 1) {
        TintRed = Rand(150, 255);
        TintBlue = Rand(150, 1);
        TintGreen = Rand(150, 1);
    } else if (k == 2) {
        TintGreen = Rand(150, 255);
        TintBlue = Rand(150, 1);
        TintRed = Rand(150, 1);
    } else {
        TintBlue = Rand(150, 255);
        TintRed = Rand(150, 1);
        TintGreen = Rand(150, 1);
    }
    return k;
}

void LoadSpriteImages() {
    Array* images = NewArray(":TImage", 8);
    SpriteImages = images;
    for (int i = 1; i <= 7; ++i) {
        String* url = Concat(u"incbin::"_s, String::FromCString(assetNames[i - 1]));
        images->SetObject(i, LoadImage(url, IMAGE_FILTERED | IMAGE_MIPMAPPED));
    }
}

void ChooseSpriteIndex() {
    SpriteIndex = Rand(1, 7);
    SpriteSwitchTime = MilliSecs();
}

void StartGlobalsModule() {
    KV_START_ONCE();
    StartRuntimeCore();
    StartRamStreamModule();
    StartTimerModule();
    StartPngModule();
    StartImageModule();
    RegisterEmbeddedAssets();
    StartBassBindingModule();
    ImageList = CreateList();
    SeedRnd(MilliSecs());
    ChooseTint();
    FrameTimer = CreateTimer(60);
    LoadSpriteImages();
    ChooseSpriteIndex();
}
