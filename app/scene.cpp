#include "app/scene.h"

#include "app/globals.h"
#include "graphics/font.h"
#include "graphics/freetypefont.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "graphics/vanta2d.h"
#include "runtime/array.h"
#include "runtime/math.h"
#include "runtime/random.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "stream/standardio.h"
#include "system/timer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include <GL/gl.h>
#include <GL/glu.h>

KV_DEFINE_CLASS(TStars, Object);

Ref<TList> StarList;
Ref<TStars> Stars;
Ref<TSplash> Logo;
Ref<TBass> Radio;
int OddFrame = 0;
Ref<TImageFont> TitleFont;

namespace {

constexpr int kStarRange = StarSpread / 5;  // 2100: a coordinate is b - a of two draws 1..2100
constexpr float kSwayStep = 0.1f;
constexpr int kCentreBurst = 150;
constexpr int kTopBurst = 130;

// A star coordinate: the difference of two draws, the first drawn first.
float StarCoordinate() {
    int a = Rand(kStarRange, 1);
    int b = Rand(kStarRange, 1);
    return static_cast<float>(b - a);
}

bool IsSaverKey() {
    if (AppArgs->Length() < 2) return false;
    String* key = Slice(AppArgs->StringAt(1), 0, 2)->ToLower();
    return Equals(key, u"/s"_s) || Equals(key, u"-s"_s);
}

float FFTAt(Array* fft, int index) { return fft->DataAs<float>()[index]; }

// Spawns the fireworks the loudness of the music calls for.
void SpawnFireworks(int width, int height) {
    Array* fft = Radio->GetFFT();
    float low = FFTAt(fft, 1);
    int level = LoudnessLevel(low);
    Print(Concat(Concat(Concat(u"fft="_s, String::FromFloat(low)), u" y="_s), String::FromInt(level)));
    if (level > kCentreBurst) {
        TFireworks::Create(static_cast<float>(width / 2), static_cast<float>(height / 2), 1.0f, 0.05f,
                           BLEND_ALPHA, 1, 1, 1);
    }
    float sum = 0;
    for (int bin = 25; bin <= 28; ++bin) sum += FFTAt(fft, bin);
    int level2 = LoudnessLevel(sum);
    if (level2 > kTopBurst) {
        double x = width / 2 - Sin(Radio->phase) * level2 * 2;
        TFireworks::Create(static_cast<float>(x), 64, 1.0f, 0.01f, BLEND_ALPHA, 1, 1, 0);
    }
}

// Colour and position of every star, refilled each frame from the list.
std::vector<GLfloat> starPoints;

// Keeps the stars (colour, position) whose points GL may draw: in front of
// the eye, between the near and far planes and on the viewport or within a
// few pixels of it. Of the ten thousand only some dozens are in view, and a
// software GL clips smoothed points one by one in C, which cost milliseconds
// a frame; a point it would clip changes no pixel. The margins leave every
// point near an edge for GL to decide.
void KeepStarsInView(std::vector<GLfloat>& points) {
    GLfloat model[16], projection[16], m[16];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, model);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0) return;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += projection[k * 4 + row] * model[column * 4 + k];
            m[column * 4 + row] = sum;
        }
    }
    constexpr float kMarginPixels = 4, kDepthMargin = 1.001f;
    const float reachX = 1 + 2 * kMarginPixels / viewport[2], reachY = 1 + 2 * kMarginPixels / viewport[3];
    size_t kept = 0;
    for (size_t i = 0; i < points.size(); i += 6) {
        const float x = points[i + 3], y = points[i + 4], z = points[i + 5];
        const float cx = m[0] * x + m[4] * y + m[8] * z + m[12], cy = m[1] * x + m[5] * y + m[9] * z + m[13];
        const float cz = m[2] * x + m[6] * y + m[10] * z + m[14], cw = m[3] * x + m[7] * y + m[11] * z + m[15];
        if (std::fabs(cx) > cw * reachX || std::fabs(cy) > cw * reachY || std::fabs(cz) > cw * kDepthMargin) continue;
        std::copy(points.begin() + static_cast<std::ptrdiff_t>(i), points.begin() + static_cast<std::ptrdiff_t>(i + 6),
                  points.begin() + static_cast<std::ptrdiff_t>(kept));
        kept += 6;
    }
    points.resize(kept);
}

// The stars as points in one array draw: ten thousand glColor/glVertex
// calls cost milliseconds a frame through the GL driver's entry points,
// while copying the list into an array costs microseconds.
void DrawStarPoints() {
    starPoints.clear();
    for (Object* value : *StarList.get()) {
        TStars* star = Downcast<TStars>(value);
        if (IsNull(star)) continue;
        starPoints.insert(starPoints.end(), {star->red, star->green, star->blue, star->x, star->y, star->z});
    }
    if (starPoints.empty()) return;
    // Drawing with a colour array leaves the current colour undefined; the
    // last star's colour is what drawing the points one by one left.
    const GLfloat last[3] = {starPoints[starPoints.size() - 6], starPoints[starPoints.size() - 5],
                             starPoints[starPoints.size() - 4]};
    if (LeaveOutUnseen) KeepStarsInView(starPoints);
    if (!starPoints.empty()) {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glInterleavedArrays(GL_C3F_V3F, 0, starPoints.data());
        glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(starPoints.size() / 6));
        glPopClientAttrib();
    }
    glColor3fv(last);
}

}  // namespace

int LoudnessLevel(float value) {
    const double factor = static_cast<double>(2.7f);
    return static_cast<int>(Sqr(value / Log10(10)) * factor * 127 - 4);
}

TStars* TStars::Create() {
    TStars* star = NullOf<TStars>();
    for (int i = 0; i < StarCount; ++i) {
        star = new TStars();
        star->x = StarCoordinate();
        star->y = StarCoordinate();
        star->z = StarCoordinate();
        float grey = static_cast<float>(Rnd(0.1, 1));
        star->red = star->green = star->blue = grey;
        if (IsNull(StarList.get())) StarList = CreateList();
        StarList->AddLast(star);
    }
    return star;
}

int TStars::Draw() {
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_POINT_SMOOTH);
    glPushMatrix();
    glPointSize(1);
    angle += kSwayStep;
    if (angle > 360) angle -= 360;
    glTranslatef(x / 2, y / 2, z / 2);
    glRotatef(static_cast<float>(Sin(angle) * 4 * 10), 0, 0, 1);
    DrawStarPoints();
    glPopMatrix();
    glEnable(GL_TEXTURE_2D);
    return 0;
}

void SetupGL(int width, int height) {
    glClearColor(0, 0, 0, 0);
    glClearDepth(1);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glFrontFace(GL_CW);
    glShadeModel(GL_SMOOTH);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A zero height would divide by zero; a 1-pixel aspect keeps GL sane.
    double aspect = height != 0 ? static_cast<double>(width) / height : 1.0;
    gluPerspective(60, aspect, 0.01, 50000);
    glMatrixMode(GL_MODELVIEW);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

int TScreenSaver::InitScene(int preview) {
    SetupGL(width, height);
    Radio = TBass::Create();
    if (IsSaverKey()) {
        Logo = TSplash::Create(u"incbin::glowline.png"_s, static_cast<float>(width / 2 - width / 512),
                               static_cast<float>(height / 2 - 32), 1.0f, 2.0f, 2.0f, BLEND_ALPHA, 1, 1, 1, 10);
        Logo->Fade(1, 0, 5);
    } else {
        width = VirtualWidth;
        height = VirtualHeight;
        Logo = TSplash::Create(u"incbin::glowline.png"_s, 510, 352, 1.0f, 2.0f, 2.0f, BLEND_ALPHA, 1, 0, 0, 0);
    }
    Logo->SetColor(TintRed, TintGreen, TintBlue);
    Logo->Draw();
    Flip(-1);
    if (preview == 0) Radio->PlayURL(StationURL());
    Stars = TStars::Create();
    if (IsNull(TitleFont.get())) TitleFont = LoadImageFont(u"incbin::ALBA____.TTF"_s, 28, FONT_SMOOTH);
    SetImageFont(TitleFont);
    return 0;
}

int TScreenSaver::DrawFrame() {
    WaitTimer(FrameTimer);
    return DrawScene();
}

int TScreenSaver::DrawScene() {
    OddFrame = OddFrame ? 0 : 1;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(20, 32, -25, 0, 0, -50, 0, 1, 0);
    ::SetColor(255, 255, 255);
    Stars->Draw();
    if (OddFrame) SpawnFireworks(width, height);
    TImages::UpdateAll();
    Radio->Draw();
    return 0;
}

void StartSceneModule() {
    KV_START_ONCE();
    StartImagesModule();
    StartGraphicsModule();
    StartGLVanta2DModule();
    StartFontModule();
    StartFreeTypeModule();
    StartMathModule();
    StartRandomModule();
}
