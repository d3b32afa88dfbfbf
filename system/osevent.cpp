#include "system/osevent.h"

#include "runtime/exception.h"
#include "system/event.h"

// Invariant: trackedSource is the null object whenever trackedWindow is
// null; otherwise it holds (counted) the source given with that window.
namespace {

int modifierState = 0;
int cursorVisible = 1;
HWND trackedWindow = nullptr;
Ref<Object> trackedSource;

int SignedLow(LPARAM value) { return static_cast<short>(LOWORD(value)); }
int SignedHigh(LPARAM value) { return static_cast<short>(HIWORD(value)); }

void Emit(int id, Object* source, int data, int mods, int x, int y) {
    CreateEvent(id, source, data, mods, x, y, NullObject())->Emit();
}

bool InsideClient(HWND window, int x, int y) {
    RECT client;
    if (!GetClientRect(window, &client)) return false;
    return x >= 0 && x < client.right && y >= 0 && y < client.bottom;
}

// The cursor position in the window's client coordinates (0, 0 if the
// window is gone).
POINT CursorInClient(HWND window) {
    POINT point{0, 0};
    if (!GetCursorPos(&point) || !ScreenToClient(window, &point)) point = POINT{0, 0};
    return point;
}

// A destroyed window gets no WM_MOUSELEAVE: the tracking forgets it
// without an event (its handle may soon name another window).
void ForgetTrackedWindow() {
    trackedWindow = nullptr;
    trackedSource = NullObject();
    ApplyCursorRule();
}

// Moves the tracking to `window` (null: none), emitting the leave event for
// the old window and the enter event for the new one.
void TrackWindow(HWND window, Object* source, int x, int y) {
    if (trackedWindow && !IsWindow(trackedWindow)) ForgetTrackedWindow();
    if (window == trackedWindow) return;
    if (trackedWindow) {
        // The state is switched before emitting, so a hook that throws
        // leaves the tracking consistent.
        Ref<Object> oldSource = trackedSource;
        POINT point = CursorInClient(trackedWindow);
        trackedWindow = nullptr;
        trackedSource = NullObject();
        Emit(EVENT_MOUSELEAVE, oldSource.get(), 0, 0, point.x, point.y);
    }
    trackedWindow = window;
    ApplyCursorRule();
    if (!window) return;
    trackedSource = source;
    // Requested first: a hook that throws on the enter event must not cost
    // the leave event.
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
    TrackMouseEvent(&track);
    Emit(EVENT_MOUSEENTER, source, 0, 0, x, y);
}

int MoveButtons(WPARAM wParam) {
    if (wParam & MK_RBUTTON) return 2;
    if (wParam & MK_MBUTTON) return 4;
    if (wParam & MK_LBUTTON) return 1;
    return 0;
}

void EmitKey(UINT message, WPARAM wParam, LPARAM lParam, Object* source) {
    int key = TranslateKeyCode(wParam, lParam);
    if (key == 0) return;
    int id = EVENT_KEYUP;
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        id = (lParam & (1 << 30)) ? EVENT_KEYREPEAT : EVENT_KEYDOWN;
    }
    Emit(id, source, key, modifierState, 0, 0);
}

void EmitButton(HWND window, bool down, int button, LPARAM lParam, Object* source) {
    if (down) {
        SetCapture(window);
    } else {
        ReleaseCapture();
    }
    Emit(down ? EVENT_MOUSEDOWN : EVENT_MOUSEUP, source, button, modifierState, SignedLow(lParam),
         SignedHigh(lParam));
}

void Translate(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Object* source) {
    switch (message) {
        case WM_CLOSE: Emit(EVENT_APPTERMINATE, source, 0, modifierState, 0, 0); break;
        case WM_ACTIVATEAPP:
            Emit(wParam ? EVENT_APPRESUME : EVENT_APPSUSPEND, source, 0, modifierState, 0, 0);
            break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP: EmitKey(message, wParam, lParam, source); break;
        case WM_CHAR:
        case WM_SYSCHAR:
            Emit(EVENT_KEYCHAR, source, static_cast<int>(wParam), modifierState, 0, 0);
            break;
        case WM_MOUSEMOVE: {
            int x = SignedLow(lParam);
            int y = SignedHigh(lParam);
            TrackWindow(InsideClient(window, x, y) ? window : nullptr, source, x, y);
            Emit(EVENT_MOUSEMOVE, source, MoveButtons(wParam), modifierState, x, y);
            break;
        }
        case WM_LBUTTONDOWN: EmitButton(window, true, 1, lParam, source); break;
        case WM_RBUTTONDOWN: EmitButton(window, true, 2, lParam, source); break;
        case WM_MBUTTONDOWN: EmitButton(window, true, 3, lParam, source); break;
        case WM_LBUTTONUP: EmitButton(window, false, 1, lParam, source); break;
        case WM_RBUTTONUP: EmitButton(window, false, 2, lParam, source); break;
        case WM_MBUTTONUP: EmitButton(window, false, 3, lParam, source); break;
        case WM_MOUSEWHEEL:
            Emit(EVENT_MOUSEWHEEL, source, static_cast<short>(HIWORD(wParam)) / WHEEL_DELTA, modifierState, 0, 0);
            break;
        case WM_MOUSELEAVE:
            if (window == trackedWindow) TrackWindow(nullptr, NullObject(), 0, 0);
            break;
        case WM_DESTROY:
            if (window == trackedWindow) ForgetTrackedWindow();
            break;
        default: break;
    }
}

}  // namespace

int TranslateKeyCode(WPARAM wParam, LPARAM lParam) {
    int key = static_cast<int>(wParam);
    if (key <= 0 || key >= 256) return 0;
    if (key != VK_SHIFT && key != VK_CONTROL && key != VK_MENU) return key;
    int scan = static_cast<int>(((lParam >> 24) & 1) * 0x80 + ((lParam >> 16) & 0x7f));
    switch (scan) {
        case 42: return VK_LSHIFT;
        case 54: return VK_RSHIFT;
        case 29: return VK_LCONTROL;
        case 157: return VK_RCONTROL;
        case 56: return VK_LMENU;
        case 184: return VK_RMENU;
        default: return key;
    }
}

void SystemEmitOSEvent(HWND window, UINT message, WPARAM wParam, LPARAM lParam, Object* source) {
    KV_CALLBACK_TRY { Translate(window, message, wParam, lParam, source); }
    KV_CALLBACK_CATCH
}

int ModifierState() { return modifierState; }

void UpdateModifierState() {
    auto down = [](int key) { return (GetKeyState(key) & 0x8000) != 0; };
    modifierState = (down(VK_SHIFT) ? 1 : 0) + (down(VK_CONTROL) ? 2 : 0) + (down(VK_MENU) ? 4 : 0) +
                    (down(VK_LWIN) || down(VK_RWIN) ? 8 : 0);
}

bool IsModifierKeyMessage(const MSG& message) {
    switch (message.message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP: break;
        default: return false;
    }
    switch (message.wParam) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LWIN:
        case VK_RWIN: return true;
        default: return false;
    }
}

void SetCursorVisibleFlag(int visible) {
    cursorVisible = visible ? 1 : 0;
    ApplyCursorRule();
}

int CursorVisibleFlag() { return cursorVisible; }

void ApplyCursorRule() {
    BOOL show = cursorVisible || !trackedWindow;
    // The display counter stays at 0 (shown) or -1 (hidden).
    int counter = ShowCursor(show);
    if (counter != 0 && counter != -1) ShowCursor(!show);
}

HWND TrackedWindow() { return trackedWindow; }
Object* TrackedSource() { return trackedSource.get(); }
