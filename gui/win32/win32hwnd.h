// Window handles of the native layer: the binding of an HWND to the native
// gadget that owns it, the one window procedure every window of the layer
// runs (its own class, "KORVEX_WINDOW_CLASS", and the controls it subclasses),
// and the process-wide map from HWND to binding that the procedure reads.
#pragma once
#include "runtime/object.h"
#include "runtime/win32.h"

class KVGadget;

// What a native gadget does with the messages of its windows. previous is
// the procedure to hand a message on to.
class Win32WndProc {
public:
    virtual LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) = 0;

protected:
    ~Win32WndProc() = default;
};

// Raw messages of a binding with one of these bits become input events
// (mouse, keys); 0x400 also takes wheel messages under the cursor.
constexpr int kSensitiveInput = 0x200;
constexpr int kSensitiveWheel = 0x400;

class Win32Hwnd {
public:
    Win32Hwnd() = default;
    Win32Hwnd(const Win32Hwnd&) = delete;
    Win32Hwnd& operator=(const Win32Hwnd&) = delete;
    // Unbinds and destroys the window.
    ~Win32Hwnd();

    // Binds `window`: a window of another class is subclassed (its procedure
    // kept in `previous`); one of the layer's class hands on to DefWindowProc.
    void bind(HWND window, Win32WndProc* handler, KVGadget* owner);
    // Puts the previous procedure back and forgets the handle.
    void unbind();

    HWND hwnd = nullptr;
    WNDPROC previous = nullptr;
    Win32WndProc* handler = nullptr;
    int sensitivity = 0;
    KVGadget* owner = nullptr;
};

// The binding of a handle, or null.
Win32Hwnd* BindingOf(HWND window);

// Registers the layer's window class once; its name for CreateWindowEx.
const wchar_t* LayerWindowClass();

// Gives `window` the keyboard focus; a child that is a tab stop gets it
// through the dialog manager, so the default button follows.
void FocusWindow(HWND window);

// The cursor SetPointer chose, shown over the client area of the layer's
// windows; null leaves the class cursor.
void SetLayerPointer(HCURSOR cursor);

// The runtime object standing for a native gadget in the events its raw
// input turns into (the gadget of the GUI module), set by the driver layer.
extern Object* (*NativeInputSource)(KVGadget* native);
