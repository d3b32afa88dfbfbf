#include "graphics/glvanta2d.h"

#include "runtime/win32.h"
#include <GL/gl.h>

#include <cmath>

#include "graphics/glgraphics.h"
#include "runtime/exception.h"
#include "runtime/math.h"
#include "runtime/startup.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_RGBA8
#define GL_RGBA8 0x8058
#endif

KV_DEFINE_CLASS(TGLImageFrame, TImageFrame);
KV_DEFINE_CLASS(TGLVanta2DDriver, TVanta2DDriver);

namespace {

Ref<TGLVanta2DDriver> driverSingleton;
GLubyte color[4] = {255, 255, 255, 255};
float mix = 1, miy = 0, mjx = 0, mjy = 1;
int lastBlend = 0;
GLuint boundTexture = 0;
bool textureEnabled = false;

void Vertex(float x, float y, float tx, float ty) {
    glVertex2f(tx + x * mix + y * miy, ty + x * mjx + y * mjy);
}

void DisableTexture() {
    if (!textureEnabled) return;
    glDisable(GL_TEXTURE_2D);
    textureEnabled = false;
}

void BindTexture(GLuint name) {
    if (!textureEnabled) {
        glEnable(GL_TEXTURE_2D);
        textureEnabled = true;
    }
    if (boundTexture != name) {
        glBindTexture(GL_TEXTURE_2D, name);
        boundTexture = name;
    }
}

int Clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

// Allocates every level of the texture, halving each side of at least 2.
void AllocateLevels(int width, int height, bool mipmapped) {
    for (int level = 0;; ++level) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        if (!mipmapped || (width == 1 && height == 1)) return;
        if (width >= 2) width /= 2;
        if (height >= 2) height /= 2;
    }
}

void UploadLevels(TPixmap* p, bool mipmapped) {
    for (int level = 0;; ++level) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / PixelFormatBytes(p->format));
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        if (!mipmapped || (p->width == 1 && p->height == 1)) break;
        p = ResizePixmap(p, p->width >= 2 ? p->width / 2 : 1, p->height >= 2 ? p->height / 2 : 1);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

// The texture's pixels: the source at (0, 0) with its last column, last row
// and corner repeated once beyond the used part, so filtering at the used
// border never reads undefined texels.
TPixmap* PaddedPixels(TPixmap* source, int tw, int th) {
    int w = source->width, h = source->height;
    if (w >= tw && h >= th) return source->format == PF_RGBA8888 ? source : source->Convert(PF_RGBA8888);
    TPixmap* p = CreatePixmap(tw, th, PF_RGBA8888, 4);
    p->Paste(source, 0, 0);
    if (w < tw) p->Paste(source->Window(w - 1, 0, 1, h), w, 0);
    if (h < th) p->Paste(source->Window(0, h - 1, w, 1), 0, h);
    if (w < tw && h < th) p->Paste(source->Window(w - 1, h - 1, 1, 1), w, h);
    return p;
}

// ---- drawing only the outline that can change a pixel ----

constexpr int kMinOutlinedSide = 64;  // smaller images are drawn whole
constexpr int kOutlineSides = 32;     // the outline's edges face these many directions
constexpr float kWorthOutlining = 0.9f;  // of the image's area, at most

// True when every texel on the image's outer ring has alpha 0.
bool RingClear(TPixmap* rgba, int w, int h) {
    for (int x = 0; x < w; ++x) {
        if (rgba->PixelPtr(x, 0)[3] != 0 || rgba->PixelPtr(x, h - 1)[3] != 0) return false;
    }
    for (int y = 0; y < h; ++y) {
        if (rgba->PixelPtr(0, y)[3] != 0 || rgba->PixelPtr(w - 1, y)[3] != 0) return false;
    }
    return true;
}

struct Point {
    float x, y;
};

// The part of the convex polygon on the side of the line where n . p <= limit.
std::vector<Point> ClipConvex(const std::vector<Point>& polygon, float nx, float ny, float limit) {
    std::vector<Point> kept;
    for (size_t i = 0; i < polygon.size(); ++i) {
        Point p = polygon[i], q = polygon[(i + 1) % polygon.size()];
        float dp = nx * p.x + ny * p.y - limit, dq = nx * q.x + ny * q.y - limit;
        if (dp <= 0) kept.push_back(p);
        if ((dp < 0 && dq > 0) || (dp > 0 && dq < 0)) {
            float f = dp / (dp - dq);
            kept.push_back({p.x + (q.x - p.x) * f, p.y + (q.y - p.y) * f});
        }
    }
    return kept;
}

float Area(const std::vector<Point>& polygon) {
    float twice = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Point &p = polygon[i], &q = polygon[(i + 1) % polygon.size()];
        twice += p.x * q.y - q.x * p.y;
    }
    return std::fabs(twice) / 2;
}

// The convex polygon, in texels over the image's w x h, outside which
// bilinear filtering reads no texel of alpha above 0: a texel i reads into
// samples from i - 0.5 to i + 1.5. Its edges face kOutlineSides directions,
// each pushed in as far as the texels allow; empty when nothing shows.
std::vector<Point> Outline(TPixmap* rgba, int w, int h) {
    std::vector<Point> ends;  // the reach of the first and last shown texel of each row
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = rgba->PixelPtr(0, y);
        int first = 0, last = w - 1;
        while (first < w && row[4 * first + 3] == 0) ++first;
        while (last > first && row[4 * last + 3] == 0) --last;
        if (first == w) continue;
        for (int x : {first, last}) {
            for (float dy : {-0.5f, 1.5f}) ends.push_back({x - 0.5f, y + dy}), ends.push_back({x + 1.5f, y + dy});
        }
    }
    if (ends.empty()) return {};
    std::vector<Point> polygon = {{0, 0}, {static_cast<float>(w), 0}, {static_cast<float>(w), static_cast<float>(h)},
                                  {0, static_cast<float>(h)}};
    for (int side = 0; side < kOutlineSides; ++side) {
        float angle = 6.2831853f * side / kOutlineSides, nx = std::cos(angle), ny = std::sin(angle);
        float reach = -INFINITY;
        for (const Point& p : ends) reach = std::max(reach, nx * p.x + ny * p.y);
        polygon = ClipConvex(polygon, nx, ny, reach);
    }
    return polygon;
}

// Only a filtered image whose outer ring is transparent gets an outline: the
// outline's edges meet the window apart from the whole quad's, and a pixel
// centre right on an edge may fall in one and not the other; with a clear
// ring such a pixel shows nothing either way. Texture coordinates rounded
// apart move a filtered sample by a fraction of a level, but may flip a
// nearest one to the next texel.
void MakeOutline(TGLImageFrame* frame, TPixmap* rgba, int w, int h) {
    if (!frame->filtered || w < kMinOutlinedSide || h < kMinOutlinedSide || !RingClear(rgba, w, h)) return;
    std::vector<Point> polygon = Outline(rgba, w, h);
    if (Area(polygon) > kWorthOutlining * w * h) return;
    frame->outline.clear();
    for (const Point& p : polygon) frame->outline.insert(frame->outline.end(), {p.x / w, p.y / h});
    frame->outlined = true;
}

// A fragment of alpha 0 leaves its pixel as it was: the blend is "source
// alpha" with one minus source alpha or one, or, unblended, an alpha test
// that refuses 0. Read from GL itself, which code beside the driver changes.
bool ZeroAlphaLeavesPixels() {
    // A fragment that passes writes depth and stencil too, whatever its alpha.
    if (glIsEnabled(GL_DEPTH_TEST) || glIsEnabled(GL_STENCIL_TEST)) return false;
    if (glIsEnabled(GL_BLEND)) {
        GLint source = 0, destination = 0;
        glGetIntegerv(GL_BLEND_SRC, &source);
        glGetIntegerv(GL_BLEND_DST, &destination);
        return source == GL_SRC_ALPHA && (destination == GL_ONE_MINUS_SRC_ALPHA || destination == GL_ONE);
    }
    if (!glIsEnabled(GL_ALPHA_TEST)) return false;
    GLint function = 0;
    GLfloat reference = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
    glGetFloatv(GL_ALPHA_TEST_REF, &reference);
    return (function == GL_GREATER && reference >= 0) || (function == GL_GEQUAL && reference > 0);
}

// Where an image-space point lands on the window, in pixels, through the
// driver's matrix, GL's model-view and projection matrices and the viewport.
// False when the projection is not affine.
struct PixelMapping {
    GLfloat model[16], projection[16];
    GLint viewport[4];
    bool Read() {
        glGetFloatv(GL_MODELVIEW_MATRIX, model);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetIntegerv(GL_VIEWPORT, viewport);
        // The bottom rows must be (0 0 0 1): then w stays 1 and the mapping is affine.
        return model[3] == 0 && model[7] == 0 && model[11] == 0 && model[15] == 1 && projection[3] == 0 &&
               projection[7] == 0 && projection[11] == 0 && projection[15] == 1;
    }
    void Map(float x, float y, float* px, float* py) const {
        float vx = x * mix + y * miy, vy = x * mjx + y * mjy;
        float ex = model[0] * vx + model[4] * vy + model[12], ey = model[1] * vx + model[5] * vy + model[13];
        float cx = projection[0] * ex + projection[4] * ey + projection[12];
        float cy = projection[1] * ex + projection[5] * ey + projection[13];
        *px = (cx + 1) * 0.5f * viewport[2];
        *py = (cy + 1) * 0.5f * viewport[3];
    }
};

// The most texels one pixel step along the window's x or y crosses, the
// exact measure GL approximates to choose a mipmap level; infinite when the
// mapping is not affine or flat.
float TexelsPerPixel(float x0, float y0, float x1, float y1, float w, float h) {
    PixelMapping m;
    if (!m.Read()) return INFINITY;
    float ox, oy, ux, uy, vx, vy;
    m.Map(x0, y0, &ox, &oy);
    m.Map(x0 + (x1 - x0) / w, y0, &ux, &uy);  // one texel across
    m.Map(x0, y0 + (y1 - y0) / h, &vx, &vy);  // one texel down
    float ax = ux - ox, ay = uy - oy, bx = vx - ox, by = vy - oy;
    float det = ax * by - ay * bx;
    if (det == 0) return INFINITY;
    float alongX = std::sqrt(by * by + ay * ay) / std::fabs(det);
    float alongY = std::sqrt(bx * bx + ax * ax) / std::fabs(det);
    return alongX > alongY ? alongX : alongY;
}

// Below one texel a pixel GL magnifies, and a mipmapped texture is sampled
// from level 0 alone. GL may measure up to the square root of two more than
// this for a rotated image (the larger of the derivatives' sums), so only
// below its inverse is the image magnified on every GL.
constexpr float kSurelyMagnified = 0.7f;

std::vector<GLfloat> outlineVertices;  // s, t, x, y for each corner
bool drawPlainly = false;

}  // namespace

int outlinedDraws = 0;
int levelZeroDraws = 0;

void GLDrawPlainly(bool plain) { drawPlainly = plain; }

int GLOutlinedDraws() { return outlinedDraws; }

int GLLevelZeroDraws() { return levelZeroDraws; }

// ---- TGLImageFrame ----

// Draws the outline that holds every texel filtering can show, as a fan of
// triangles over its corners, in place of the whole quad. What is left out
// holds texels of alpha 0 only, and under the blends allowed its pixels
// would stay as they are. One convex polygon of a few edges costs a software
// rasteriser little beyond its pixels.
bool TGLImageFrame::DrawOutline(float x0, float y0, float x1, float y1, float tx, float ty) {
    if (drawPlainly || !outlined || !ZeroAlphaLeavesPixels()) return false;
    // The outline holds for level 0; a coarser level spreads texels beyond it.
    if (mipmapped && !levelZeroOnly) return false;
    ++outlinedDraws;
    if (outline.empty()) return true;
    outlineVertices.clear();
    for (size_t i = 0; i < outline.size(); i += 2) {
        const float u = outline[i], v = outline[i + 1];
        const float x = x0 + (x1 - x0) * u, y = y0 + (y1 - y0) * v;
        outlineVertices.insert(outlineVertices.end(),
                               {s0 + (s1 - s0) * u, t0 + (t1 - t0) * v, tx + x * mix + y * miy, ty + x * mjx + y * mjy});
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(GLfloat), outlineVertices.data());
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(GLfloat), outlineVertices.data() + 2);
    glDrawArrays(GL_TRIANGLE_FAN, 0, static_cast<GLsizei>(outlineVertices.size() / 4));
    glPopClientAttrib();
    return true;
}

TGLImageFrame::~TGLImageFrame() {
    if (seq == 0 || texture == 0) return;
    GLuint name = static_cast<GLuint>(texture);
    // The frame may be collected at any allocation: do not disturb the caller's
    // bindings beyond the cache entry for this name.
    GLGraphicsDriver()->SwapSharedContext();
    glDeleteTextures(1, &name);
    GLGraphicsDriver()->SwapSharedContext();
    if (boundTexture == name) boundTexture = 0;
}

// Sampling level 0 alone gives the pixels that the mipmapped filter gives
// a magnified image, and spares a software rasteriser the level of detail
// and the second level's lookups for every pixel. The filter is set lazily,
// so a texture drawn the same way frame after frame is not touched.
void TGLImageFrame::SampleLevelZeroOnly(bool only) {
    if (only == levelZeroOnly) return;
    GLint minFilter = filtered ? (only ? GL_LINEAR : GL_LINEAR_MIPMAP_LINEAR)
                               : (only ? GL_NEAREST : GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    levelZeroOnly = only;
}

void TGLImageFrame::Draw(float x0, float y0, float x1, float y1, float tx, float ty) {
    BindTexture(static_cast<GLuint>(texture));
    if (mipmapped) {
        float w = (s1 - s0) * textureWidth, h = (t1 - t0) * textureHeight;  // texels the quad spans
        SampleLevelZeroOnly(!drawPlainly && TexelsPerPixel(x0, y0, x1, y1, w, h) <= kSurelyMagnified);
        levelZeroDraws += levelZeroOnly ? 1 : 0;
    }
    if (DrawOutline(x0, y0, x1, y1, tx, ty)) return;
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    Vertex(x0, y0, tx, ty);
    glTexCoord2f(s1, t0);
    Vertex(x1, y0, tx, ty);
    glTexCoord2f(s1, t1);
    Vertex(x1, y1, tx, ty);
    glTexCoord2f(s0, t1);
    Vertex(x0, y1, tx, ty);
    glEnd();
}

TGLImageFrame* TGLImageFrame::CreateFromPixmap(TPixmap* source, int flags) {
    Checked(source);
    // An image without pixels has nothing to draw: no frame, no texture.
    if (source->width <= 0 || source->height <= 0) return NullOf<TGLImageFrame>();
    int tw = source->width, th = source->height;
    GLTextureSize(tw, th);
    int w = source->width < tw ? source->width : tw;
    int h = source->height < th ? source->height : th;
    if (w < source->width || h < source->height) source = ResizePixmap(source, w, h);
    TPixmap* pixels = PaddedPixels(source, tw, th);
    bool mipmapped = (flags & IMAGE_MIPMAPPED) != 0;

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (flags & IMAGE_FILTERED) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    }
    AllocateLevels(tw, th, mipmapped);
    UploadLevels(pixels, mipmapped);

    TGLImageFrame* frame = new TGLImageFrame;
    frame->texture = static_cast<int32_t>(name);
    frame->s1 = static_cast<float>(w) / tw;
    frame->t1 = static_cast<float>(h) / th;
    frame->seq = GraphicsSeq;
    frame->textureWidth = tw;
    frame->textureHeight = th;
    frame->mipmapped = mipmapped;
    frame->filtered = (flags & IMAGE_FILTERED) != 0;
    MakeOutline(frame, pixels, w, h);
    // The binding in this context changed behind the cache.
    boundTexture = name;
    return frame;
}

// ---- TGLVanta2DDriver: contexts ----

String* TGLVanta2DDriver::ToString() { return u"OpenGL"_s; }

Array* TGLVanta2DDriver::GraphicsModes() { return GLGraphicsDriver()->GraphicsModes(); }

TGraphics* TGLVanta2DDriver::AttachGraphics(intptr_t widget, int flags) {
    TGraphics* g = GLGraphicsDriver()->AttachGraphics(widget, flags);
    if (IsNull(g)) return g;
    return TVanta2DGraphics::Create(g, this);
}

TGraphics* TGLVanta2DDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    TGraphics* g = GLGraphicsDriver()->CreateGraphics(width, height, depth, hertz, flags);
    if (IsNull(g)) return g;
    return TVanta2DGraphics::Create(g, this);
}

void TGLVanta2DDriver::SetGraphics(TGraphics* graphics) {
    TVanta2DGraphics* g = Downcast<TVanta2DGraphics>(graphics);
    if (IsNull(g)) {
        TVanta2DGraphics::ClearCurrent();
        GLGraphicsDriver()->SetGraphics(NullOf<TGraphics>());
        return;
    }
    GLGraphicsDriver()->SetGraphics(g->graphics);
    ResetContext(g);
    g->MakeCurrent();
}

void TGLVanta2DDriver::Flip(int sync) { GLGraphicsDriver()->Flip(sync); }

void TGLVanta2DDriver::ResetContext(TGraphics* graphics) {
    int w, h, depth, hertz, flags;
    graphics->GetSettings(w, h, depth, hertz, flags);
    lastBlend = 0;
    boundTexture = 0;
    textureEnabled = false;
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, w, h);
}

TImageFrame* TGLVanta2DDriver::CreateFrameFromPixmap(TPixmap* pixmap, int flags) {
    GLGraphicsDriver()->SwapSharedContext();
    TGLImageFrame* frame;
    try {
        frame = TGLImageFrame::CreateFromPixmap(pixmap, flags);
    } catch (...) {
        GLGraphicsDriver()->SwapSharedContext();
        throw;
    }
    GLGraphicsDriver()->SwapSharedContext();
    // The new texture was bound in the shared context, not in this one.
    boundTexture = 0;
    glBindTexture(GL_TEXTURE_2D, 0);
    return frame;
}

// ---- state ----

void TGLVanta2DDriver::SetBlend(int mode) {
    if (mode == lastBlend) return;
    lastBlend = mode;
    switch (mode) {
    case BLEND_MASK:
        glDisable(GL_BLEND);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GEQUAL, 0.5f);
        break;
    case BLEND_ALPHA:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_ALPHA_TEST);
        break;
    case BLEND_LIGHT:
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_ALPHA_TEST);
        break;
    case BLEND_SHADE:
        glEnable(GL_BLEND);
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        glDisable(GL_ALPHA_TEST);
        break;
    default:
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        break;
    }
}

void TGLVanta2DDriver::SetAlpha(float alpha) {
    // NaN compares false both ways: it ends up as 0, never as a wild byte.
    float a = alpha > 1 ? 1 : (alpha >= 0 ? alpha : 0);
    color[3] = static_cast<GLubyte>(255 * a);
    glColor4ubv(color);
}

void TGLVanta2DDriver::SetColor(int red, int green, int blue) {
    color[0] = static_cast<GLubyte>(Clamp(red, 0, 255));
    color[1] = static_cast<GLubyte>(Clamp(green, 0, 255));
    color[2] = static_cast<GLubyte>(Clamp(blue, 0, 255));
    glColor4ubv(color);
}

void TGLVanta2DDriver::SetClsColor(int red, int green, int blue) {
    glClearColor(Clamp(red, 0, 255) / 255.0f, Clamp(green, 0, 255) / 255.0f, Clamp(blue, 0, 255) / 255.0f, 1);
}

void TGLVanta2DDriver::SetViewport(int x, int y, int width, int height) {
    if (x == 0 && y == 0 && width == GraphicsWidth() && height == GraphicsHeight()) {
        glDisable(GL_SCISSOR_TEST);
        return;
    }
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, GraphicsHeight() - y - height, width, height);
}

void TGLVanta2DDriver::SetTransform(float ix, float iy, float jx, float jy) {
    mix = ix;
    miy = iy;
    mjx = jx;
    mjy = jy;
}

void TGLVanta2DDriver::SetLineWidth(float width) { glLineWidth(width); }

void TGLVanta2DDriver::Cls() { glClear(GL_COLOR_BUFFER_BIT); }

// ---- primitives ----

void TGLVanta2DDriver::Plot(float x, float y) {
    DisableTexture();
    glBegin(GL_POINTS);
    glVertex2f(x + 0.5f, y + 0.5f);
    glEnd();
}

void TGLVanta2DDriver::DrawLine(float x0, float y0, float x1, float y1, float tx, float ty) {
    DisableTexture();
    glBegin(GL_LINES);
    Vertex(x0, y0, tx + 0.5f, ty + 0.5f);
    Vertex(x1, y1, tx + 0.5f, ty + 0.5f);
    glEnd();
}

void TGLVanta2DDriver::DrawRect(float x0, float y0, float x1, float y1, float tx, float ty) {
    DisableTexture();
    glBegin(GL_QUADS);
    Vertex(x0, y0, tx, ty);
    Vertex(x1, y0, tx, ty);
    Vertex(x1, y1, tx, ty);
    Vertex(x0, y1, tx, ty);
    glEnd();
}

// More segments than this change nothing on any screen (an oval 8192 pixels
// across is off by a hundredth of a pixel), and huge or NaN sizes must not
// turn into millions of vertices or an undefined conversion.
constexpr int kMaxOvalSegments = 4096;

int GLOvalSegments(float x0, float y0, float x1, float y1) {
    float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    float extent = std::fabs(xr) + std::fabs(yr);
    int segments = extent >= kMaxOvalSegments ? kMaxOvalSegments : extent >= 12 ? static_cast<int>(extent) : 12;
    return segments & ~3;
}

void TGLVanta2DDriver::DrawOval(float x0, float y0, float x1, float y1, float tx, float ty) {
    float xr = (x1 - x0) * 0.5f, yr = (y1 - y0) * 0.5f;
    float cx = x0 + xr, cy = y0 + yr;
    int segments = GLOvalSegments(x0, y0, x1, y1);
    DisableTexture();
    glBegin(GL_POLYGON);
    for (int i = 0; i < segments; ++i) {
        double angle = i * 360.0 / segments;
        Vertex(static_cast<float>(cx + xr * Cos(angle)), static_cast<float>(cy - yr * Sin(angle)), tx, ty);
    }
    glEnd();
}

void TGLVanta2DDriver::DrawPoly(Array* xy, float handleX, float handleY, float originX, float originY) {
    int count = xy->Length();
    if (count < 6 || (count & 1)) return;
    // Anything but a float array would be read as garbage.
    if (xy->type[0] != 'f') RuntimeError("DrawPoly needs a float array");
    const float* p = xy->DataAs<float>();
    DisableTexture();
    glBegin(GL_POLYGON);
    for (int i = 0; i < count; i += 2) Vertex(p[i] + handleX, p[i + 1] + handleY, originX, originY);
    glEnd();
}

void TGLVanta2DDriver::DrawPixmap(TPixmap* pixmap, int x, int y) {
    int saved = lastBlend;
    DisableTexture();
    SetBlend(BLEND_SOLID);
    TPixmap* p = ConvertPixmap(YFlipPixmap(pixmap), PF_RGBA8888);
    glRasterPos2i(0, 0);
    glBitmap(0, 0, 0, 0, static_cast<float>(x), static_cast<float>(-y - p->height), nullptr);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
    glDrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    SetBlend(saved);
}

TPixmap* TGLVanta2DDriver::GrabPixmap(int x, int y, int width, int height) {
    int saved = lastBlend;
    SetBlend(BLEND_SOLID);
    TPixmap* p = CreatePixmap(width, height, PF_RGBA8888, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, p->pitch / 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, GraphicsHeight() - height - y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    TPixmap* flipped = YFlipPixmap(p);
    SetBlend(saved);
    return flipped;
}

TGLVanta2DDriver* GLVanta2DDriver() {
    if (IsNull(driverSingleton)) driverSingleton = new TGLVanta2DDriver;
    return driverSingleton;
}

void StartGLVanta2DModule() {
    KV_START_ONCE();
    StartVanta2DModule();
    StartGLGraphicsModule();
    StartMathModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
}
