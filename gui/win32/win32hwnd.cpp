#include "gui/win32/win32hwnd.h"

#include <cstdlib>

#include "gui/win32/kvgadget.h"

#include <cstring>
#include <map>

#include "gui/hotkey.h"
#include "runtime/exception.h"
#include "system/event.h"
#include "system/osevent.h"

namespace {

constexpr wchar_t kClassName[] = L"KORVEX_WINDOW_CLASS";
constexpr int kMenuCommandBase = 100;

std::map<HWND, Win32Hwnd*>& Bindings() {
    static std::map<HWND, Win32Hwnd*> bindings;
    return bindings;
}

Object* NoInputSource(KVGadget*) { return NullObject(); }

HCURSOR layerPointer = nullptr;

LRESULT CALLBACK LayerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The binding a message is for: notifications and control commands belong
// to the control that sent them, everything else to the window itself.
Win32Hwnd* TargetOf(Win32Hwnd* binding, UINT message, LPARAM lParam) {
    switch (message) {
    case WM_NOTIFY: {
        Win32Hwnd* from = BindingOf(reinterpret_cast<NMHDR*>(lParam)->hwndFrom);
        return from ? from : binding;
    }
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL: {
        Win32Hwnd* control = BindingOf(reinterpret_cast<HWND>(lParam));
        return control ? control : binding;
    }
    default: return binding;
    }
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Hwnd* binding = BindingOf(hwnd);
    if (!binding) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_ACTIVATEAPP:
        EmitEvent(CreateEvent(wParam ? EVENT_APPRESUME : EVENT_APPSUSPEND, NullObject()));
        break;
    case WM_SETCURSOR:
        if (layerPointer && LOWORD(lParam) == HTCLIENT) {
            SetCursor(layerPointer);
            return 1;
        }
        break;
    case WM_COMMAND:
        if (lParam == 0) {
            // Menu items and accelerators carry the menu's internal id + 100.
            if (wParam > kMenuCommandBase) {
                NativeEventSink(EVENT_MENUACTION, nullptr, static_cast<int>(wParam) - kMenuCommandBase, 0, 0, 0,
                                NullObject());
            }
            return 0;
        }
        break;
    default:
        if (binding->sensitivity & (kSensitiveInput | kSensitiveWheel)) {
            SystemEmitOSEvent(hwnd, message, wParam, lParam, NativeInputSource(binding->owner));
        }
        break;
    }
    Win32Hwnd* target = TargetOf(binding, message, lParam);
    if (target->handler) return target->handler->wndProc(hwnd, message, wParam, lParam, binding->previous);
    return CallWindowProcW(binding->previous, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK LayerWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    KV_CALLBACK_TRY { return Dispatch(hwnd, message, wParam, lParam); }
    KV_CALLBACK_CATCH
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// 1 shift, 2 control, 4 alt, 8 either Windows key.
int HotKeyMods() {
    auto down = [](int key) { return (GetKeyState(key) & 0x8000) != 0; };
    return (down(VK_SHIFT) ? 1 : 0) | (down(VK_CONTROL) ? 2 : 0) | (down(VK_MENU) ? 4 : 0) |
           (down(VK_LWIN) || down(VK_RWIN) ? 8 : 0);
}

// Enter in an edit control hands the focus to the control's parent.
void LeaveEditOnEnter() {
    HWND focus = GetFocus();
    char className[8] = "";
    if (focus && GetClassNameA(focus, className, sizeof className) && _strnicmp(className, "edit", 4) == 0) {
        SetFocus(GetParent(focus));
    }
}

// Every key of the GUI thread passes the hot-key registry first: a
// registered key is swallowed and, when pressed, raises its event.
LRESULT CALLBACK KeyboardHook(int code, WPARAM key, LPARAM info) {
    if (code == HC_ACTION) {
        KV_CALLBACK_TRY {
            bool pressed = (info & 0x80000000) == 0;
            if (key == VK_RETURN && pressed) LeaveEditOnEnter();
            TEvent* event = HotKeyEvent(static_cast<int>(key), HotKeyMods(),
                                        reinterpret_cast<uintptr_t>(GetForegroundWindow()));
            if (!IsNull(event)) {
                if (pressed) event->Emit();
                return 1;
            }
        }
        KV_CALLBACK_CATCH
    }
    return CallNextHookEx(nullptr, code, key, info);
}

// A wheel message goes to the window under the cursor when that window takes
// wheel input, in its client coordinates, and to no one else.
LRESULT CALLBACK MessageHook(int code, WPARAM removal, LPARAM info) {
    auto* message = reinterpret_cast<MSG*>(info);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == WM_MOUSEWHEEL) {
        POINT at{static_cast<short>(LOWORD(message->lParam)), static_cast<short>(HIWORD(message->lParam))};
        HWND under = WindowFromPoint(at);
        Win32Hwnd* binding = BindingOf(under);
        if (binding && (binding->sensitivity & kSensitiveWheel)) {
            ScreenToClient(under, &at);
            SystemEmitOSEvent(under, WM_MOUSEWHEEL, message->wParam, MAKELPARAM(at.x, at.y),
                              NativeInputSource(binding->owner));
            message->message = WM_NULL;
        }
    }
    return CallNextHookEx(nullptr, code, removal, info);
}

HHOOK keyboardHook = nullptr;
HHOOK messageHook = nullptr;

void RemoveThreadHooks() {
    if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
    if (messageHook) UnhookWindowsHookEx(messageHook);
    keyboardHook = messageHook = nullptr;
}

// For the GUI thread, once; they go again when the process ends.
void InstallThreadHooks() {
    DWORD thread = GetCurrentThreadId();
    keyboardHook = SetWindowsHookExW(WH_KEYBOARD, KeyboardHook, nullptr, thread);
    messageHook = SetWindowsHookExW(WH_GETMESSAGE, MessageHook, nullptr, thread);
    std::atexit(RemoveThreadHooks);
}

}  // namespace

Object* (*NativeInputSource)(KVGadget* native) = NoInputSource;

void FocusWindow(HWND window) {
    if ((GetWindowLongW(window, GWL_STYLE) & (WS_CHILD | WS_TABSTOP)) == (WS_CHILD | WS_TABSTOP)) {
        SendMessageW(GetParent(window), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(window), TRUE);
    } else {
        SetFocus(window);
    }
}

void SetLayerPointer(HCURSOR cursor) {
    layerPointer = cursor;
    if (cursor) SetCursor(cursor);
}

Win32Hwnd* BindingOf(HWND window) {
    auto found = Bindings().find(window);
    return found == Bindings().end() ? nullptr : found->second;
}

const wchar_t* LayerWindowClass() {
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        // Each window keeps its own device context: a canvas's OpenGL context
        // is made on it and must find the same one at every swap.
        wc.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = LayerWindowProc;
        wc.cbWndExtra = 30;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(101));
        if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        if (!RegisterClassExW(&wc)) return false;
        InstallThreadHooks();
        return true;
    }();
    if (!registered) RuntimeError("The GUI window class could not be registered");
    return kClassName;
}

void Win32Hwnd::bind(HWND window, Win32WndProc* windowHandler, KVGadget* windowOwner) {
    unbind();
    hwnd = window;
    handler = windowHandler;
    owner = windowOwner;
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (current == LayerWindowProc) {
        previous = DefWindowProcW;
    } else {
        previous = current;
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LayerWindowProc));
    }
    Bindings()[window] = this;
}

void Win32Hwnd::unbind() {
    if (!hwnd) return;
    Bindings().erase(hwnd);
    if (previous != DefWindowProcW && IsWindow(hwnd)) {
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
    hwnd = nullptr;
    previous = nullptr;
}

Win32Hwnd::~Win32Hwnd() {
    HWND window = hwnd;
    unbind();
    if (window && IsWindow(window)) DestroyWindow(window);
}
