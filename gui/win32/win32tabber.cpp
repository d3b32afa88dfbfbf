#include "gui/win32/win32tabber.h"

#include <string>
#include <vector>

#include "gui/gadget.h"
#include "gui/win32/win32iconstrip.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"
#include "system/event.h"

#include <commctrl.h>

namespace {

constexpr DWORD kTabStyle = 0x46018040;     // child, clip siblings and children, tab stop, tool tips
constexpr DWORD kClientStyle = 0x56000000;  // child, visible, clip siblings and children

HWND MakeWindow(DWORD exStyle, const wchar_t* className, DWORD style, HWND parent) {
    HWND window = CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, parent, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) RuntimeError("The tabber could not be created");
    return window;
}

}  // namespace

Win32Tabber::Win32Tabber(KVGroup* parent, int tabberStyle) : KVGroup(parent, tabberStyle) {
    HWND parentWindow = group ? reinterpret_cast<HWND>(group->query(QUERY_HWND_CLIENT)) : GetDesktopWindow();
    tabs.bind(MakeWindow(WS_EX_CONTROLPARENT, WC_TABCONTROLW, kTabStyle, parentWindow), this, this);
    client.bind(MakeWindow(WS_EX_CONTROLPARENT, LayerWindowClass(), kClientStyle, tabs.hwnd), this, this);
    tooltips.create(tabs.hwnd);
    SendMessageW(tabs.hwnd, TCM_SETTOOLTIPS, reinterpret_cast<WPARAM>(tooltips.window), 0);
    addPlaceholder();
}

uintptr_t Win32Tabber::query(int kind) {
    if (kind == QUERY_HWND) return reinterpret_cast<uintptr_t>(tabs.hwnd);
    if (kind == QUERY_HWND_CLIENT) return reinterpret_cast<uintptr_t>(client.hwnd);
    return 0;
}

void Win32Tabber::setFont(uintptr_t newFont) {
    KVGadget::setFont(newFont);
    SendMessageW(tabs.hwnd, WM_SETFONT, static_cast<WPARAM>(newFont), TRUE);
    placeClient();
}

void Win32Tabber::setShape(int newX, int newY, int w, int h) {
    MoveWindow(tabs.hwnd, newX, newY, w, h, TRUE);
    KVGadget::setShape(newX, newY, w, h);
    placeClient();
}

void Win32Tabber::placeClient() {
    RECT area;
    GetClientRect(tabs.hwnd, &area);
    SendMessageW(tabs.hwnd, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    MoveWindow(client.hwnd, area.left, area.top, area.right > area.left ? area.right - area.left : 0,
               area.bottom > area.top ? area.bottom - area.top : 0, TRUE);
    int oldWidth = clientWidth, oldHeight = clientHeight;
    clientRect(clientX, clientY, clientWidth, clientHeight);
    if (clientWidth != oldWidth || clientHeight != oldHeight) layoutKids();
    refreshTips();
}

void Win32Tabber::clientRect(int& cx, int& cy, int& w, int& h) {
    RECT r;
    GetClientRect(client.hwnd, &r);
    cx = r.left;
    cy = r.top;
    w = r.right - r.left;
    h = r.bottom - r.top;
}

void Win32Tabber::setShow(bool show) {
    visible = show;
    ShowWindow(tabs.hwnd, show ? SW_SHOW : SW_HIDE);
}

void Win32Tabber::setEnabled(bool enable) {
    enabled = enable;
    EnableWindow(tabs.hwnd, enable);
}

int Win32Tabber::activate(int command) {
    if (command == ACTIVATE_FOCUS) FocusWindow(tabs.hwnd);
    if (command == ACTIVATE_REDRAW) InvalidateRect(tabs.hwnd, nullptr, FALSE);
    return 0;
}

void Win32Tabber::setIconStrip(Win32IconStrip* strip) {
    KVGadget::setIconStrip(strip);
    SendMessageW(tabs.hwnd, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(strip ? strip->images : nullptr));
    placeClient();
}

void Win32Tabber::addPlaceholder() {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    char empty[] = "";
    item.pszText = empty;
    SendMessageA(tabs.hwnd, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    realTabs = 0;
}

void Win32Tabber::clearItems() {
    tooltips.removeAll();
    tips.clear();
    SendMessageW(tabs.hwnd, TCM_DELETEALLITEMS, 0, 0);
    addPlaceholder();
    placeClient();
}

void Win32Tabber::insertItem(int index, String* itemText, String* tip, int icon) {
    if (realTabs == 0) SendMessageW(tabs.hwnd, TCM_DELETEALLITEMS, 0, 0);  // the placeholder goes
    std::string label = NativeText(itemText);
    TCITEMA item{};
    item.mask = TCIF_TEXT | (iconStrip && icon >= 0 ? TCIF_IMAGE : 0);
    item.pszText = label.data();
    item.iImage = icon;
    SendMessageA(tabs.hwnd, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
    ++realTabs;
    tips.insert(tips.begin() + std::min<size_t>(static_cast<size_t>(index), tips.size()), Ref<String>(tip));
    placeClient();
}

void Win32Tabber::modifyItem(int index, String* itemText, String* tip, int icon) {
    std::string label = NativeText(itemText);
    TCITEMA item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = label.data();
    item.iImage = iconStrip && icon >= 0 ? icon : -1;
    SendMessageA(tabs.hwnd, TCM_SETITEMA, index, reinterpret_cast<LPARAM>(&item));
    if (index >= 0 && static_cast<size_t>(index) < tips.size()) tips[static_cast<size_t>(index)] = tip;
    placeClient();
}

void Win32Tabber::removeItem(int index) {
    if (index >= 0 && static_cast<size_t>(index) < tips.size()) tips.erase(tips.begin() + index);
    tooltips.removeAll();
    SendMessageW(tabs.hwnd, TCM_DELETEITEM, index, 0);
    if (--realTabs <= 0) addPlaceholder();
    placeClient();
}

void Win32Tabber::setItemState(int index, int state) {
    if (state & GADGETITEM_SELECTED) SendMessageW(tabs.hwnd, TCM_SETCURSEL, index, 0);
}

int Win32Tabber::itemState(int index) { return current() == index ? GADGETITEM_SELECTED : 0; }

int Win32Tabber::current() {
    return realTabs == 0 ? -1 : static_cast<int>(SendMessageW(tabs.hwnd, TCM_GETCURSEL, 0, 0));
}

void Win32Tabber::refreshTips() {
    for (size_t i = 0; i < tips.size() && static_cast<int>(i) < realTabs; ++i) {
        RECT area{};
        SendMessageW(tabs.hwnd, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&area));
        tooltips.setTool(i + 1, area, tips[i]);
    }
}

LRESULT Win32Tabber::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == tabs.hwnd &&
        reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(TCN_SELCHANGE)) {
        NativeEventSink(EVENT_GADGETACTION, this, current(), 0, 0, 0, NullObject());
        return 0;
    }
    if (message == WM_SIZE && hwnd == tabs.hwnd) {
        LRESULT result = CallWindowProcW(previous, hwnd, message, wParam, lParam);
        placeClient();
        return result;
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}
