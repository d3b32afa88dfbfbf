// Native panels: a plain child window of the layer's class, a canvas (which
// paints by raising GadgetPaint and turns its mouse and key messages into
// input events), or a group box with a title and an inner client window. A
// plain panel paints its background colour and its background pixmap, tiled,
// centred, fitted or stretched.
#pragma once
#include "graphics/pixmap.h"
#include "gui/win32/kvgadget.h"
#include "gui/win32/win32hwnd.h"

class Win32Panel : public KVGroup, public Win32WndProc {
public:
    enum Kind { kPlain = 0, kCanvas = 1, kGroupBox = 2 };

    Win32Hwnd panel;
    Win32Hwnd client;  // group boxes only
    HBRUSH brush = nullptr;
    HBITMAP bitmap = nullptr;  // the background pixmap
    int bitmapWidth = 0, bitmapHeight = 0;
    int pixmapMode = 0;        // PANELPIXMAP_...
    Kind kind = kPlain;
    float alpha = 1.0f;

    Win32Panel(KVGroup* group, int style);
    ~Win32Panel() override;

    uintptr_t query(int kind) override;
    void setText(String* text) override;
    void setFont(uintptr_t font) override;
    void setShape(int x, int y, int w, int h) override;
    void setShow(bool show) override;
    void setEnabled(bool enabled) override;
    int activate(int command) override;
    void setColor(int r, int g, int b) override;
    // The background pixmap (the null object: none) and how it is shown.
    void setPixmap(TPixmap* pixmap, int mode);
    void clientRect(int& x, int& y, int& w, int& h) override;

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;

private:
    HWND ClientHandle() const { return client.hwnd ? client.hwnd : panel.hwnd; }
    void paintBackground(HDC dc, const RECT& area);
};
