#include "gui/win32/win32hwnd.h"

#include <map>

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
                EmitEvent(CreateEvent(EVENT_MENUACTION, NullObject(), static_cast<int>(wParam) - kMenuCommandBase));
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

}  // namespace

Object* (*NativeInputSource)(KVGadget* native) = NoInputSource;

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
        return RegisterClassExW(&wc) != 0;
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
