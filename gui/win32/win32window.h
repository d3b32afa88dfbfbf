// Native windows: a frame of the layer's class with the styles the gadget
// asks for (title bar, resizable, menu bar, status bar, tool window, client
// coordinates, hidden, dropped files, child window), and the window events
// its messages raise.
#pragma once
#include <string>

#include "gui/win32/kvgadget.h"
#include "gui/win32/win32hwnd.h"

class Win32Window : public KVWindow, public Win32WndProc {
public:
    int minWidth = 0, minHeight = 0;  // the minimum tracking size of the frame
    Win32Hwnd frame;
    Win32Hwnd client;  // a separate client window, only with a status bar
    HWND statusBar = nullptr;

    Win32Window(KVGroup* group, int style);

    uintptr_t query(int kind) override;
    void setText(String* text) override;
    void setFont(uintptr_t font) override;
    void setShape(int x, int y, int w, int h) override;
    void setShow(bool show) override;
    void setEnabled(bool enabled) override;
    int activate(int command) override;
    void clientRect(int& x, int& y, int& w, int& h) override;
    void popupMenu(KVMenu* menu) override;
    void updateMenu() override;
    void activateFirst() override;
    void setMinSize(int w, int h) override;
    void setStatusText(String* text) override;
    void minimize() override;
    void maximize() override;
    void restore() override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    DWORD FrameStyle() const;
    DWORD FrameExStyle() const;
    int StatusHeight() const;
    void ReadShape();
    void FitClientWindow();
};

// Text for Win32's 8-bit calls: the string's characters, cut at 4095.
std::string NativeText(String* text);
