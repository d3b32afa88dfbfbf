#include "graphics/glgraphics.h"

#include "runtime/win32.h"
#include <GL/gl.h>

#include <cstring>

#include "graphics/fontdata.h"
#include "runtime/exception.h"
#include "runtime/startup.h"
#include "stream/stream.h"
#include "system/osevent.h"

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_RGBA8
#define GL_RGBA8 0x8058
#endif

KV_DEFINE_CLASS(TGLGraphics, TGraphics);
KV_DEFINE_CLASS(TGLGraphicsDriver, TGraphicsDriver);

// Kind 1: a foreign window; 2: our own window; 3: our own full-screen window;
// 0: the hidden shared context.
struct GLContextRecord {
    GLContextRecord* next = nullptr;
    int kind = 0;
    int width = 0, height = 0;
    int depth = 0, hertz = 0;
    int flags = 0;
    HDC dc = nullptr;
    HWND window = nullptr;
    HGLRC context = nullptr;
};

namespace {

constexpr char kClassName[] = "Korvex GLGraphics";
constexpr int kModeBufferSize = 1024;

GLContextRecord* contexts = nullptr;
GLContextRecord sharedRecord;
GLContextRecord* currentRecord = nullptr;
int lastSwapInterval = -1;
HWND modeWindow = nullptr;
bool classRegistered = false;
Ref<TGLGraphicsDriver> driverSingleton;

using SwapIntervalProc = BOOL(WINAPI*)(int);

// Looked up each time: the entry point belongs to the current context's driver.
void SetSwapInterval(int interval) {
    auto proc = reinterpret_cast<SwapIntervalProc>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
    if (proc) proc(interval);
}

GLContextRecord* FindRecord(HWND window) {
    for (GLContextRecord* r = contexts; r; r = r->next) {
        if (r->window == window) return r;
    }
    return nullptr;
}

bool SetFormat(HDC dc, int flags) {
    PIXELFORMATDESCRIPTOR pfd;
    std::memset(&pfd, 0, sizeof pfd);
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    if (flags & GRAPHICS_BACKBUFFER) pfd.dwFlags |= PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 1;
    pfd.iLayerType = PFD_MAIN_PLANE;
    pfd.cAlphaBits = (flags & GRAPHICS_ALPHABUFFER) ? 1 : 0;
    pfd.cDepthBits = (flags & GRAPHICS_DEPTHBUFFER) ? 1 : 0;
    pfd.cStencilBits = (flags & GRAPHICS_STENCILBUFFER) ? 1 : 0;
    pfd.cAccumBits = (flags & GRAPHICS_ACCUMBUFFER) ? 1 : 0;
    int format = ChoosePixelFormat(dc, &pfd);
    if (format == 0) return false;
    SetPixelFormat(dc, format, &pfd);
    return true;
}

void SetDisplayMode(GLContextRecord* r) {
    if (modeWindow == r->window) return;
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = 156;
    mode.dmPelsWidth = r->width;
    mode.dmPelsHeight = r->height;
    mode.dmBitsPerPel = r->depth;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    bool withHertz = r->hertz != 0;
    if (withHertz) {
        mode.dmDisplayFrequency = r->hertz;
        mode.dmFields |= DM_DISPLAYFREQUENCY;
    }
    LONG result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    if (result != DISP_CHANGE_SUCCESSFUL && withHertz) {
        mode.dmFields &= ~DM_DISPLAYFREQUENCY;
        withHertz = false;
        result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    }
    if (result != DISP_CHANGE_SUCCESSFUL) RuntimeError("GLGraphicsDriver failed to set display mode");
    modeWindow = r->window;
    SetSwapInterval(withHertz ? 1 : 0);
}

void RestoreDisplayMode(GLContextRecord* r) {
    if (modeWindow != r->window) return;
    ChangeDisplaySettingsA(nullptr, CDS_FULLSCREEN);
    ShowWindow(r->window, SW_MINIMIZE);
    SetSwapInterval(0);
    modeWindow = nullptr;
}

LRESULT HandleMessage(GLContextRecord* r, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SystemEmitOSEvent(window, message, wParam, lParam, NullObject());
    switch (message) {
    case WM_SETFOCUS:
        if (r->kind == 3) SetDisplayMode(r);
        return 0;
    case WM_KILLFOCUS:
    case WM_DESTROY:
        RestoreDisplayMode(r);
        return 0;
    case WM_CLOSE:
        return 0;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4) break;
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) return 1;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!modeWindow) SetCapture(window);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (!modeWindow) ReleaseCapture();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Nothing thrown here may reach Windows: it is kept and thrown again by the
// message pump once DispatchMessage has returned.
LRESULT CALLBACK GLWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    GLContextRecord* r = FindRecord(window);
    if (!r) return DefWindowProcA(window, message, wParam, lParam);
    KV_CALLBACK_TRY {
        return HandleMessage(r, window, message, wParam, lParam);
    }
    KV_CALLBACK_CATCH
    return 0;
}

void RegisterWindowClass() {
    if (classRegistered) return;
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GLWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    if (!RegisterClassA(&wc)) ExitProcess(static_cast<UINT>(-1));
    classRegistered = true;
}

void EnsureSharedContext() {
    if (sharedRecord.context) return;
    RegisterWindowClass();
    HWND window = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    HDC dc = window ? GetDC(window) : nullptr;
    if (!dc || !SetFormat(dc, 0)) ExitProcess(0);
    HGLRC context = wglCreateContext(dc);
    if (!context) ExitProcess(0);
    sharedRecord.width = sharedRecord.height = 1;
    sharedRecord.dc = dc;
    sharedRecord.window = window;
    sharedRecord.context = context;
}

void Push(GLContextRecord* r) {
    r->next = contexts;
    contexts = r;
}

void Unlink(GLContextRecord* r) {
    for (GLContextRecord** link = &contexts; *link; link = &(*link)->next) {
        if (*link == r) {
            *link = r->next;
            return;
        }
    }
}

bool OnList(GLContextRecord* r) {
    for (GLContextRecord* p = contexts; p; p = p->next) {
        if (p == r) return true;
    }
    return false;
}


GLContextRecord* CreateWindowRecord(int width, int height, int depth, int hertz, int flags) {
    EnsureSharedContext();
    RECT rect{0, 0, width, height};
    DWORD style = WS_POPUP;
    int kind = 3;
    if (depth == 0) {
        kind = 2;
        style = WS_CAPTION | WS_SYSMENU;
        OffsetRect(&rect, 32, 32);
    }
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    char* title = AppTitle->ToCString();
    HWND window = CreateWindowExA(0, kClassName, title, style, rect.left, rect.top, rect.right - rect.left,
                                  rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    MemFreeBlock(title);
    if (!window) return nullptr;
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    HGLRC context = nullptr;
    if (dc && SetFormat(dc, flags)) context = wglCreateContext(dc);
    if (!context) {
        // Without a context the window is of no use: it must not outlive the call.
        DestroyWindow(window);
        return nullptr;
    }
    wglShareLists(sharedRecord.context, context);
    auto* r = new GLContextRecord;
    r->kind = kind;
    r->dc = dc;
    r->context = context;
    r->width = client.right - client.left;
    r->height = client.bottom - client.top;
    r->depth = depth;
    r->hertz = hertz;
    r->flags = flags;
    r->window = window;
    Push(r);
    ShowWindow(window, SW_SHOW);
    return r;
}

GLContextRecord* AttachRecord(HWND window, int flags) {
    EnsureSharedContext();
    HDC dc = GetDC(window);
    if (!dc) return nullptr;
    if (!SetFormat(dc, flags)) {
        ReleaseDC(window, dc);
        return nullptr;
    }
    HGLRC context = wglCreateContext(dc);
    if (!context) {
        ReleaseDC(window, dc);
        return nullptr;
    }
    wglShareLists(sharedRecord.context, context);
    RECT client;
    GetClientRect(window, &client);
    auto* r = new GLContextRecord;
    r->kind = 1;
    r->dc = dc;
    r->context = context;
    r->window = window;
    r->width = client.right - client.left;
    r->height = client.bottom - client.top;
    r->flags = flags;
    Push(r);
    return r;
}

void MakeCurrent(GLContextRecord* r) {
    if (r == currentRecord) return;
    currentRecord = r;
    if (r) {
        wglMakeCurrent(r->dc, r->context);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
}

void CloseRecord(GLContextRecord* r) {
    if (!OnList(r)) return;
    if (r == currentRecord) MakeCurrent(nullptr);
    wglDeleteContext(r->context);
    if (r->kind == 2 || r->kind == 3) {
        DestroyWindow(r->window);
    } else {
        ReleaseDC(r->window, r->dc);
    }
    Unlink(r);
    delete r;
}

}  // namespace

// ---- TGLGraphics ----

TGLGraphics::~TGLGraphics() {
    // A context the program dropped without closing stays open: it may still be
    // current, and closing it behind the program's back would destroy its window.
}

TGraphicsDriver* TGLGraphics::Driver() { return GLGraphicsDriver(); }

void TGLGraphics::GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) {
    GLContextRecord* r = record;
    if (!r) {
        width = height = depth = hertz = flags = 0;
        return;
    }
    if (r->kind == 1) {
        RECT client;
        GetClientRect(r->window, &client);
        r->width = client.right - client.left;
        r->height = client.bottom - client.top;
    }
    width = r->width;
    height = r->height;
    depth = r->depth;
    hertz = r->hertz;
    flags = r->flags;
}

void TGLGraphics::Close() {
    if (!record) return;
    GLContextRecord* r = record;
    record = nullptr;
    CloseRecord(r);
}

HWND TGLGraphics::Window() { return record ? record->window : nullptr; }

// ---- TGLGraphicsDriver ----

String* TGLGraphicsDriver::ToString() { return u"OpenGL"_s; }

Array* TGLGraphicsDriver::GraphicsModes() {
    struct Mode {
        int width, height, depth, hertz;
    };
    static Mode modes[kModeBufferSize];
    int count = 0;
    DEVMODEA mode;
    for (DWORD n = 0; count < kModeBufferSize; ++n) {
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = 156;
        mode.dmDriverExtra = 0;
        if (!EnumDisplaySettingsA(nullptr, n, &mode)) break;
        if (mode.dmBitsPerPel < 16) continue;
        modes[count++] = {static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
                          static_cast<int>(mode.dmBitsPerPel), static_cast<int>(mode.dmDisplayFrequency)};
    }
    Array* result = NewArray(":TGraphicsMode", count);
    for (int i = 0; i < count; ++i) {
        result->SetObject(i, TGraphicsMode::Create(modes[i].width, modes[i].height, modes[i].depth, modes[i].hertz));
    }
    return result;
}

TGraphics* TGLGraphicsDriver::AttachGraphics(intptr_t widget, int flags) {
    GLContextRecord* r = AttachRecord(reinterpret_cast<HWND>(widget), flags);
    if (!r) return NullOf<TGraphics>();
    TGLGraphics* g = new TGLGraphics;
    g->record = r;
    return g;
}

TGraphics* TGLGraphicsDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags) {
    GLContextRecord* r = CreateWindowRecord(width, height, depth, hertz, flags);
    if (!r) return NullOf<TGraphics>();
    TGLGraphics* g = new TGLGraphics;
    g->record = r;
    return g;
}

void TGLGraphicsDriver::SetGraphics(TGraphics* graphics) {
    TGLGraphics* g = Downcast<TGLGraphics>(graphics);
    MakeCurrent(IsNull(g) ? nullptr : g->record);
}

void TGLGraphicsDriver::Flip(int sync) {
    if (!currentRecord) return;
    int interval = sync != 0 ? 1 : 0;
    if (interval != lastSwapInterval) {
        lastSwapInterval = interval;
        SetSwapInterval(interval);
    }
    SwapBuffers(currentRecord->dc);
}

void TGLGraphicsDriver::SwapSharedContext() {
    EnsureSharedContext();
    if (wglGetCurrentContext() != sharedRecord.context) {
        wglMakeCurrent(sharedRecord.dc, sharedRecord.context);
    } else if (currentRecord) {
        wglMakeCurrent(currentRecord->dc, currentRecord->context);
    } else {
        wglMakeCurrent(nullptr, nullptr);
    }
}

TGLGraphicsDriver* GLGraphicsDriver() {
    if (IsNull(driverSingleton)) driverSingleton = new TGLGraphicsDriver;
    return driverSingleton;
}

HGLRC GLSharedContext() { return sharedRecord.context; }
int GLLastSwapInterval() { return lastSwapInterval; }
HWND GLDisplayModeWindow() { return modeWindow; }
const char* GLWindowClassName() { return kClassName; }

int GLLiveContexts() {
    int n = 0;
    for (GLContextRecord* r = contexts; r; r = r->next) ++n;
    return n;
}

// ---- direct drawing ----

namespace {

double savedModelview[16];
double savedProjection[16];
GLuint textFontTexture = 0;

TPixmap* TextFontPixmap() {
    Array* bytes = LoadByteArray(Concat(u"incbin::"_s, GLDrawTextFontName()));
    if (bytes->Length() < kBitmapFontBytes) RuntimeError("gldrawtextfont.bin is missing or short");
    TPixmap* p = CreatePixmap(1024, 16, PF_RGBA8888, 4);
    p->ClearPixels(0);
    const unsigned char* rows = bytes->DataAs<unsigned char>();
    for (int i = 0; i < kBitmapFontRows; ++i) {
        for (int j = 0; j < kBitmapFontChars; ++j) {
            unsigned char bits = rows[i * kBitmapFontChars + j];
            for (int k = 0; k < 8; ++k) {
                if (bits & (1 << k)) p->WritePixel(8 * j + k, i, static_cast<int>(0xFFFFFFFF));
            }
        }
    }
    return p;
}

}  // namespace

TGraphics* GLGraphics(int width, int height, int depth, int hertz, int flags) {
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
    return Graphics(width, height, depth, hertz, flags);
}

void GLBeginOverlay() {
    glPushAttrib(GL_TEXTURE_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetDoublev(GL_MODELVIEW_MATRIX, savedModelview);
    glGetDoublev(GL_PROJECTION_MATRIX, savedProjection);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, viewport[2], viewport[3], 0, -1, 1);
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
}

void GLEndOverlay() {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(savedProjection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(savedModelview);
    glPopAttrib();
}

void GLDrawRect(int x, int y, int width, int height) {
    GLBeginOverlay();
    glBegin(GL_QUADS);
    glVertex2i(x, y);
    glVertex2i(x + width, y);
    glVertex2i(x + width, y + height);
    glVertex2i(x, y + height);
    glEnd();
    GLEndOverlay();
}

void GLDrawPixmap(TPixmap* pixmap, int x, int y) {
    TPixmap* p = ConvertPixmap(YFlipPixmap(pixmap), PF_RGBA8888);
    GLBeginOverlay();
    glRasterPos2i(0, 0);
    glBitmap(0, 0, 0, 0, static_cast<float>(x), static_cast<float>(-y - p->height), nullptr);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
    glDrawPixels(p->width, p->height, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    GLEndOverlay();
}

void GLDrawText(String* text, int x, int y) {
    Checked(text);
    if (textFontTexture == 0) {
        TPixmap* font = TextFontPixmap();
        GLGraphicsDriver()->SwapSharedContext();
        textFontTexture = GLTexFromPixmap(font, true);
        GLGraphicsDriver()->SwapSharedContext();
    }
    GLBeginOverlay();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textFontTexture);
    glBegin(GL_QUADS);
    for (int i = 0; i < text->length; ++i, x += 8) {
        int c = text->Text()[i];
        if (c < 32 || c >= 128) continue;
        float u0 = (c - 32) / 128.0f, u1 = (c - 31) / 128.0f;
        glTexCoord2f(u0, 0);
        glVertex2i(x, y);
        glTexCoord2f(u1, 0);
        glVertex2i(x + 8, y);
        glTexCoord2f(u1, 1);
        glVertex2i(x + 8, y + 16);
        glTexCoord2f(u0, 1);
        glVertex2i(x, y + 16);
    }
    glEnd();
    GLEndOverlay();
}

void GLTextureSize(int& width, int& height) {
    // Rounding up stops at the driver's largest texture side: beyond it a
    // doubling overflows soon, and Mesa's proxy check itself breaks on sides
    // near 2^30.  The driver's answer below brings the size down further.
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    int limit = largest > 0 && largest < (1 << 30) ? largest : (1 << 30);
    int w = 1, h = 1;
    while (w < width && w <= limit / 2) w <<= 1;
    while (h < height && h <= limit / 2) h <<= 1;
    for (;;) {
        glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        GLint accepted = 0;
        glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
        if (accepted != 0) break;
        if (w == 1 && h == 1) RuntimeError("Unable to calculate tex size");
        if (w > 1) w >>= 1;
        if (h > 1) h >>= 1;
    }
    width = w;
    height = h;
}

unsigned GLTexFromPixmap(TPixmap* pixmap, bool mipmap) {
    TPixmap* p = ConvertPixmap(pixmap, PF_RGBA8888);
    int w = p->width, h = p->height;
    GLTextureSize(w, h);
    if (w != p->width || h != p->height) p = ResizePixmap(p, w, h);
    GLint savedBinding = 0, savedRowLength = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &savedBinding);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &savedRowLength);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    for (int level = 0;; ++level) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, p->pitch / 4);
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, p->width, p->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, p->pixels);
        if (!mipmap || (p->width == 1 && p->height == 1)) break;
        p = ResizePixmap(p, p->width > 1 ? p->width / 2 : 1, p->height > 1 ? p->height / 2 : 1);
    }
    glBindTexture(GL_TEXTURE_2D, savedBinding);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, savedRowLength);
    return name;
}

void StartGLGraphicsModule() {
    KV_START_ONCE();
    StartGraphicsModule();
    StartPixmapModule();
    StartFontDataModule();
    SetGraphicsDriver(GLGraphicsDriver(), GRAPHICS_BACKBUFFER);
}
