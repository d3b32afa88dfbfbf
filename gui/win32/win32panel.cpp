#include "gui/win32/win32panel.h"

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"
#include "system/event.h"

namespace {

constexpr DWORD kGroupBoxStyle = 0x56000007;  // child, visible, clip siblings and children, group box
constexpr DWORD kInnerStyle = 0x56000000;     // child, visible, clip siblings and children
constexpr DWORD kPanelStyle = 0x46000000;     // child, clip siblings and children

HWND ParentHandle(KVGroup* group) {
    return group ? reinterpret_cast<HWND>(group->query(QUERY_HWND_CLIENT)) : GetDesktopWindow();
}

HWND MakeChild(DWORD exStyle, const wchar_t* className, DWORD style, HWND parent) {
    HWND window = CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, parent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) RuntimeError("The panel could not be created");
    return window;
}

}  // namespace

Win32Panel::Win32Panel(KVGroup* parent, int panelStyle) : KVGroup(parent, panelStyle) {
    HWND parentWindow = ParentHandle(group);
    if (style & PANEL_GROUP) {
        kind = kGroupBox;
        panel.bind(MakeChild(WS_EX_CONTROLPARENT, L"BUTTON", kGroupBoxStyle, parentWindow), this, this);
        client.bind(MakeChild(WS_EX_CONTROLPARENT, LayerWindowClass(), kInnerStyle, panel.hwnd), this, this);
        return;
    }
    DWORD exStyle = (style & PANEL_SUNKEN) ? WS_EX_CONTROLPARENT | WS_EX_CLIENTEDGE : WS_EX_CONTROLPARENT;
    panel.bind(MakeChild(exStyle, LayerWindowClass(), kPanelStyle, parentWindow), this, this);
    if (style & PANEL_CANVAS) kind = kCanvas;
    if (style & (PANEL_ACTIVE | PANEL_CANVAS)) panel.sensitivity = kSensitiveInput | kSensitiveWheel;
}

Win32Panel::~Win32Panel() {
    if (brush) DeleteObject(brush);
    if (bitmap) DeleteObject(bitmap);
}

uintptr_t Win32Panel::query(int queryKind) {
    if (queryKind == QUERY_HWND) return reinterpret_cast<uintptr_t>(panel.hwnd);
    if (queryKind == QUERY_HWND_CLIENT) return reinterpret_cast<uintptr_t>(ClientHandle());
    return 0;
}

void Win32Panel::setText(String* newText) {
    KVGadget::setText(newText);
    SetWindowTextA(panel.hwnd, NativeText(newText).c_str());
}

void Win32Panel::setFont(uintptr_t newFont) {
    KVGadget::setFont(newFont);
    SendMessageW(panel.hwnd, WM_SETFONT, static_cast<WPARAM>(newFont), TRUE);
}

void Win32Panel::setShape(int newX, int newY, int w, int h) {
    MoveWindow(panel.hwnd, newX, newY, w, h, TRUE);
    KVGroup::setShape(newX, newY, w, h);
}

void Win32Panel::setShow(bool show) {
    visible = show;
    ShowWindow(panel.hwnd, show ? SW_SHOW : SW_HIDE);
}

void Win32Panel::setEnabled(bool enable) {
    enabled = enable;
    EnableWindow(panel.hwnd, enable);
}

int Win32Panel::activate(int command) {
    if (command == ACTIVATE_FOCUS) SetFocus(panel.hwnd);
    if (command == ACTIVATE_REDRAW) InvalidateRect(ClientHandle(), nullptr, FALSE);
    return 0;
}

void Win32Panel::setColor(int r, int g, int b) {
    if (brush) DeleteObject(brush);
    brush = CreateSolidBrush(RGB(r, g, b));
    InvalidateRect(ClientHandle(), nullptr, TRUE);
}

void Win32Panel::setPixmap(TPixmap* pixmap, int mode) {
    if (bitmap) DeleteObject(bitmap);
    bitmap = nullptr;
    bitmapWidth = bitmapHeight = 0;
    if (!IsNull(pixmap) && pixmap->width > 0 && pixmap->height > 0) {
        bitmap = BitmapFromPixmap(pixmap);
        bitmapWidth = pixmap->width;
        bitmapHeight = pixmap->height;
    }
    pixmapMode = mode;
    InvalidateRect(ClientHandle(), nullptr, TRUE);
}

// The bands a centred or fitted picture leaves, in the background colour.
static void FillAround(HDC dc, const RECT& area, const RECT& picture, HBRUSH brush) {
    if (!brush) return;
    RECT bands[] = {{area.left, area.top, area.right, picture.top},
                    {area.left, picture.bottom, area.right, area.bottom},
                    {area.left, picture.top, picture.left, picture.bottom},
                    {picture.right, picture.top, area.right, picture.bottom}};
    for (const RECT& band : bands) {
        if (band.right > band.left && band.bottom > band.top) FillRect(dc, &band, brush);
    }
}

void Win32Panel::paintBackground(HDC dc, const RECT& area) {
    if (!bitmap) {
        if (brush) FillRect(dc, &area, brush);
        return;
    }
    int w = area.right - area.left, h = area.bottom - area.top;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, bitmap);
    int mode = pixmapMode >= PANELPIXMAP_TILE && pixmapMode <= PANELPIXMAP_STRETCH ? pixmapMode : PANELPIXMAP_TILE;
    if (mode == PANELPIXMAP_TILE) {
        for (int y = 0; y < h; y += bitmapHeight) {
            for (int x = 0; x < w; x += bitmapWidth) BitBlt(dc, x, y, bitmapWidth, bitmapHeight, source, 0, 0, SRCCOPY);
        }
    } else {
        RECT picture = area;
        if (mode == PANELPIXMAP_CENTER) {
            picture = {(w - bitmapWidth) / 2, (h - bitmapHeight) / 2, 0, 0};
            picture.right = picture.left + bitmapWidth;
            picture.bottom = picture.top + bitmapHeight;
        } else if (mode == PANELPIXMAP_FIT) {
            // The larger scale that still fits both sides, by cross-multiplying.
            bool wide = static_cast<int64_t>(w) * bitmapHeight <= static_cast<int64_t>(h) * bitmapWidth;
            int fw = wide ? w : MulDiv(bitmapWidth, h, bitmapHeight);
            int fh = wide ? MulDiv(bitmapHeight, w, bitmapWidth) : h;
            picture = {(w - fw) / 2, (h - fh) / 2, (w - fw) / 2 + fw, (h - fh) / 2 + fh};
        }
        FillAround(dc, area, picture, brush);
        if (mode == PANELPIXMAP_CENTER) {
            BitBlt(dc, picture.left, picture.top, bitmapWidth, bitmapHeight, source, 0, 0, SRCCOPY);
        } else {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, picture.left, picture.top, picture.right - picture.left, picture.bottom - picture.top,
                       source, 0, 0, bitmapWidth, bitmapHeight, SRCCOPY);
        }
    }
    SelectObject(source, old);
    DeleteDC(source);
}

void Win32Panel::clientRect(int& cx, int& cy, int& w, int& h) {
    RECT r;
    GetClientRect(ClientHandle(), &r);
    cx = r.left;
    cy = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
}

LRESULT Win32Panel::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    switch (message) {
    case WM_SIZE:
        if (kind == kGroupBox && hwnd == panel.hwnd) {
            MoveWindow(client.hwnd, 4, 16, LOWORD(lParam) - 8, HIWORD(lParam) - 20, TRUE);
        }
        break;
    case WM_PAINT:
        if (kind == kCanvas) {
            NativeEventSink(EVENT_GADGETPAINT, this, 0, 0, 0, 0, NullObject());
            ValidateRect(hwnd, nullptr);
            return 0;
        }
        if (kind == kPlain && (brush || bitmap) && alpha > 0) {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(hwnd, &paint);
            RECT r;
            GetClientRect(hwnd, &r);
            paintBackground(dc, r);
            EndPaint(hwnd, &paint);
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        if (kind == kGroupBox && hwnd == client.hwnd) {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r,
                     brush ? brush : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
            return 1;
        }
        if (kind == kPlain && !brush && !bitmap) break;
        return 1;  // the paint covers it (or a canvas draws everything itself)
    case WM_LBUTTONDOWN:
        SetFocus(hwnd);
        return 0;
    default: break;
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}
