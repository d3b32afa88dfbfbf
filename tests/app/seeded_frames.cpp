#include "tests/app/seeded_frames.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "app/globals.h"
#include "app/images.h"
#include "app/scene.h"
#include "graphics/glvanta2d.h"
#include "graphics/vanta2d.h"
#include "runtime/random.h"
#include "runtime/time.h"
#include "runtime/win32.h"

#include <GL/gl.h>
#include <GL/glu.h>

std::vector<Ref<TPixmap>> DrawSeededFrames(bool plain, int frames, bool grab, double* msPerFrame) {
    GLDrawPlainly(plain);
    LeaveOutUnseen = !plain;
    ImageList->Clear();
    SeedRnd(1234);
    for (int i = 0; i < 30; ++i) {
        SpriteIndex = 1 + i % 5;
        SpriteSwitchTime = MilliSecs();
        float scale = 0.05f + 0.12f * i;
        float alpha = i % 7 == 6 ? 0.004f / static_cast<float>(i / 7 + 1) : 1.0f - 0.03f * i;
        TFireworks::Create(40.0f * i - 80, 100.0f + 23.0f * i, alpha, scale, i % 3 ? BLEND_ALPHA : BLEND_LIGHT, 1, 0,
                           0);
    }
    if (IsNull(Stars.get())) Stars = TStars::Create();
    Stars->angle = 0;
    std::vector<Ref<TPixmap>> shots;
    int start = MilliSecs();
    for (int frame = 0; frame < frames; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        gluLookAt(20, 32, -25, 0, 0, -50, 0, 1, 0);
        ::SetColor(255, 255, 255);
        Stars->Draw();
        TImages::UpdateKind(1);
        glFinish();
        if (grab) shots.push_back(GrabPixmap(0, 0, 1024, 768));
    }
    if (msPerFrame) *msPerFrame = static_cast<double>(MilliSecs() - start) / frames;
    GLDrawPlainly(false);
    LeaveOutUnseen = true;
    ImageList->Clear();
    return shots;
}

int WorstChannelDifference(TPixmap* a, TPixmap* b, int* differing, int* lit) {
    int worst = 0;
    *differing = *lit = 0;
    for (int y = 0; y < b->height; ++y) {
        for (int x = 0; x < b->width; ++x) {
            int p = a->ReadPixel(x, y), q = b->ReadPixel(x, y);
            *lit += (q & 0xffffff) != 0;
            int most = 0;
            for (int shift : {0, 8, 16}) most = std::max(most, std::abs((p >> shift & 255) - (q >> shift & 255)));
            worst = std::max(worst, most);
            *differing += most > 0;
        }
    }
    return worst;
}
