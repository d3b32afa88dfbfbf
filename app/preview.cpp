// The preview mode: the Display settings start the program with "/p HWND"
// (or "/p:HWND") and the small window that shows the preview. The program's
// own window becomes a child of that area, a canvas fills it, and the
// saver's scene is drawn into it without the radio stream until the window
// is closed or the host area goes away.
#include "app/bassbinding.h"
#include "app/scene.h"
#include "app/screensaver.h"
#include "graphics/glvanta2d.h"
#include "graphics/graphics.h"
#include "gui/gui.h"
#include "runtime/array.h"
#include "runtime/startup.h"
#include "runtime/string.h"
#include "runtime/win32.h"
#include "system/event.h"
#include "system/timer.h"

namespace {

constexpr DWORD kEmbeddedStyle = 0x50000000;  // WS_CHILD | WS_VISIBLE

// The 100 Hz timer that wakes the preview's loop.
Ref<TTimer> previewTicks;

// "/p 1234" gives 1234 from the second argument; "/p:1234" from the first
// one's fourth character on.
HWND HostHandle() {
    String* key = AppArgs->StringAt(1);
    String* handle;
    if (key->length == 2) {
        handle = AppArgs->Length() > 2 ? AppArgs->StringAt(2) : EmptyString();
    } else {
        handle = Slice(key, 3, key->length);
    }
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<unsigned>(handle->ToInt())));
}

// Makes the preview window a child of the host area.
void EmbedIn(HWND window, HWND host) {
    SetWindowLongA(window, GWL_STYLE, kEmbeddedStyle);
    SetParent(window, host);
    SetWindowLongA(window, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(host)));
}

}  // namespace

// A host handle that is not a window ends the preview at once, and so does
// a host that goes away while the preview runs: the Display settings destroy
// the area when they close, which sends the preview no close event.
int TScreenSaver::RunPreview() {
    previewTicks = CreateTimer(100);
    HWND host = HostHandle();
    if (!IsWindow(host)) return 0;
    WarmUpSoundSystem();
    RECT area;
    GetClientRect(host, &area);
    width = area.right;
    height = area.bottom;
    TGadget* window = CreateWindow(u"Neonara Screensaver Preview"_s, area.left, area.top, area.right, area.bottom,
                                   NullOf<TGadget>(), WINDOW_HIDDEN);
    EmbedIn(reinterpret_cast<HWND>(QueryGadget(window, QUERY_HWND)), host);
    TGadget* canvas = CreateCanvas(0, 0, area.right, area.bottom, window, 0);
    SetGraphics(CanvasGraphics(canvas));
    SetGraphicsDriver(GLVanta2DDriver(), GRAPHICS_BACKBUFFER);
    InitScene(1);
    for (;;) {
        switch (WaitEvent()) {
        case EVENT_TIMERTICK:
            if (!IsWindow(host)) return 0;
            DrawFrame();
            RedrawGadget(canvas);
            break;
        case EVENT_GADGETPAINT: Flip(-1); break;
        case EVENT_APPTERMINATE:
        case EVENT_WINDOWCLOSE: return 0;
        default: break;
        }
    }
}
