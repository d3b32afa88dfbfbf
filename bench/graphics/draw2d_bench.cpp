// One frame of 1000 rotated, scaled, alpha-blended images and 200
// characters of text through the 2D module, against a minimal loop that
// issues the same GL calls directly (the transform computed inline, one
// texture, the glyph quads from a precomputed table). Both sides record into
// a display list (GL_COMPILE), so nothing is rasterised and the driver's
// share is the same small recording cost on both: the ratio shows the 2D
// layer's own CPU time per frame. Values are milliseconds per frame.
#include <cmath>
#include <vector>

#include "bench/bench.h"
#include "graphics/freetypefont.h"
#include "graphics/glgraphics.h"
#include "graphics/glvanta2d.h"
#include "runtime/collector.h"
#include "runtime/startup.h"
#include "runtime/win32.h"
#include <GL/gl.h>

namespace {

constexpr int kImages = 1000;
constexpr int kTextLines = 5;  // 5 lines of 40 characters

String* TextLine() { return u"The quick brown fox jumps over a lazy do"_s; }

struct Quad {
    float x0, y0, x1, y1;
    float s1, t1;
};

void OursFrame(TImage* image) {
    SetBlend(BLEND_ALPHA);
    for (int i = 0; i < kImages; ++i) {
        SetTransform(static_cast<float>(i % 360), 1.0f + (i % 7) * 0.1f, 1.0f + (i % 5) * 0.1f);
        SetAlpha(0.25f + (i % 4) * 0.25f);
        DrawImage(image, static_cast<float>(i % 640), static_cast<float>((i * 7) % 480));
    }
    SetTransform(0, 1, 1);
    SetAlpha(1);
    for (int line = 0; line < kTextLines; ++line) DrawText(TextLine(), 10, 20.0f * line);
}

void BaselineFrame(GLuint texture, const Quad& quad, const std::vector<GLuint>& glyphTextures,
                   const std::vector<Quad>& glyphs) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    for (int i = 0; i < kImages; ++i) {
        double r = (i % 360) * 3.14159265358979 / 180;
        float sx = 1.0f + (i % 7) * 0.1f, sy = 1.0f + (i % 5) * 0.1f;
        float c = static_cast<float>(std::cos(r)), s = static_cast<float>(std::sin(r));
        float ix = c * sx, iy = -s * sy, jx = s * sx, jy = c * sy;
        float tx = static_cast<float>(i % 640), ty = static_cast<float>((i * 7) % 480);
        glColor4ub(255, 255, 255, static_cast<GLubyte>(255 * (0.25f + (i % 4) * 0.25f)));
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(tx + quad.x0 * ix + quad.y0 * iy, ty + quad.x0 * jx + quad.y0 * jy);
        glTexCoord2f(quad.s1, 0);
        glVertex2f(tx + quad.x1 * ix + quad.y0 * iy, ty + quad.x1 * jx + quad.y0 * jy);
        glTexCoord2f(quad.s1, quad.t1);
        glVertex2f(tx + quad.x1 * ix + quad.y1 * iy, ty + quad.x1 * jx + quad.y1 * jy);
        glTexCoord2f(0, quad.t1);
        glVertex2f(tx + quad.x0 * ix + quad.y1 * iy, ty + quad.x0 * jx + quad.y1 * jy);
        glEnd();
    }
    glColor4ub(255, 255, 255, 255);
    String* text = TextLine();
    for (int line = 0; line < kTextLines; ++line) {
        float x = 10;
        for (int k = 0; k < text->length; ++k) {
            int c = text->Text()[k] - 32;
            const Quad& g = glyphs[c];
            glBindTexture(GL_TEXTURE_2D, glyphTextures[c]);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(x + g.x0, 20.0f * line + g.y0);
            glTexCoord2f(g.s1, 0);
            glVertex2f(x + g.x1, 20.0f * line + g.y0);
            glTexCoord2f(g.s1, g.t1);
            glVertex2f(x + g.x1, 20.0f * line + g.y1);
            glTexCoord2f(0, g.t1);
            glVertex2f(x + g.x0, 20.0f * line + g.y1);
            glEnd();
            x += 8;
        }
    }
}

int Bench() {
    StartGLVanta2DModule();
    StartFreeTypeModule();
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    if (IsNull(Graphics(640, 480, 0, 0, 0))) {
        std::printf("no graphics context\n");
        return 1;
    }
    TPixmap* p = CreatePixmap(24, 24, PF_RGBA8888);
    p->ClearPixels(static_cast<int>(0x80FFC040));
    TImage* image = LoadImage(p, IMAGE_FILTERED);
    MidHandleImage(image);
    auto* frame = static_cast<TGLImageFrame*>(image->Frame(0));

    // The baseline's glyph table: the built-in font's own textures, made by a
    // first frame of ours.
    OursFrame(image);
    TImageFont* font = GetImageFont();
    std::vector<GLuint> glyphTextures(96);
    std::vector<Quad> glyphs(96);
    for (int c = 0; c < 96; ++c) {
        auto* glyph = static_cast<TImageGlyph*>(font->LoadGlyph(c));
        auto* f = static_cast<TGLImageFrame*>(glyph->image->Frame(0));
        glyphTextures[c] = f->texture;
        glyphs[c] = {0, 0, 8, 16, f->s1, f->t1};
    }
    Quad quad{-12, -12, 12, 12, frame->s1, frame->t1};
    GLuint list = glGenLists(1);
    int rounds = CollectorMode() == kCollectEveryAllocation ? 2 : 30;
    BenchCompare(
        "draw2d_frame_ms", 1000.0, rounds,
        [&] {
            glNewList(list, GL_COMPILE);
            OursFrame(image);
            glEndList();
        },
        [&] {
            glNewList(list, GL_COMPILE);
            BaselineFrame(frame->texture, quad, glyphTextures, glyphs);
            glEndList();
        });
    glDeleteLists(list, 1);
    EndGraphics();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunProcess(argc, argv, Bench); }
