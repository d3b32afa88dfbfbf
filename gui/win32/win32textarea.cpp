#include "gui/win32/win32textarea.h"

#include <string>

#include "gui/gadget.h"
#include "gui/win32/win32textfield.h"
#include "gui/win32/win32window.h"
#include "runtime/exception.h"
#include "stream/filesystem.h"
#include "system/event.h"
#include "system/osevent.h"

#include <richedit.h>
#include <shellapi.h>

namespace {

constexpr DWORD kWrappingStyle = 0x4620010C;  // child, clip, vertical scroll, multi-line, selection kept
constexpr DWORD kScrollingStyle = 0x4630018C; // the same with horizontal scrolling
constexpr DWORD kReadOnly = 0x800;
constexpr LPARAM kEventMask = 0xB0001;         // change, selection change, key and mouse events
constexpr WPARAM kTextLimit = 0x400000;

// The rich edit class: the wide one on NT and on Windows 9x above version 4.
bool WideRichEdit() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return false;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT ||
           (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion > 4);
}

int CurrentMods() {
    UpdateModifierState();
    return ModifierState();
}

}  // namespace

Win32TextArea::Win32TextArea(KVGroup* parent, int areaStyle) : Win32Control(parent, areaStyle) {
    LoadLibraryA("RICHED20.DLL");
    wide = WideRichEdit();
    DWORD windowStyle = (style & TEXTAREA_WORDWRAP) ? kWrappingStyle : kScrollingStyle;
    if (style & TEXTAREA_READONLY) windowStyle |= kReadOnly;
    createControl(wide ? L"RichEdit20W" : L"RichEdit20A", "", windowStyle, WS_EX_CLIENTEDGE, 0);
    SendMessageW(control.hwnd, EM_EXLIMITTEXT, 0, kTextLimit);
    SendMessageW(control.hwnd, EM_SETEVENTMASK, 0, kEventMask);
    SendMessageW(control.hwnd, EM_SETUNDOLIMIT, 0, 0);
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.dwEffects = CFE_AUTOCOLOR;
    SendMessageW(control.hwnd, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

// ---- ranges ----

int Win32TextArea::length(int units) {
    if (units == TEXTAREA_LINES) return static_cast<int>(SendMessageW(control.hwnd, EM_GETLINECOUNT, 0, 0));
    GETTEXTLENGTHEX how{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<int>(SendMessageW(control.hwnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

int Win32TextArea::charAt(int line) {
    if (line < 0) return 0;
    if (line >= length(TEXTAREA_LINES)) return length(TEXTAREA_CHARS);
    return static_cast<int>(SendMessageW(control.hwnd, EM_LINEINDEX, line, 0));
}

int Win32TextArea::lineAt(int index) {
    if (index < 0) return 0;
    if (index > length(TEXTAREA_CHARS)) return length(TEXTAREA_LINES);
    return static_cast<int>(SendMessageW(control.hwnd, EM_EXLINEFROMCHAR, 0, index));
}

void Win32TextArea::toChars(int& pos, int& count, int units) {
    int total = length(units);
    if (pos < 0) pos = 0;
    if (pos > total) pos = total;
    if (count < 0 || count > total - pos) count = total - pos;
    if (units != TEXTAREA_LINES) return;
    int start = charAt(pos);
    int end = count ? charAt(pos + count) : start;
    pos = start;
    count = end > start ? end - start : 0;
}

String* Win32TextArea::areaText(int pos, int count, int units) {
    toChars(pos, count, units);
    if (count <= 0) return EmptyString();
    std::u16string text(static_cast<size_t>(count) + 1, u'\0');
    TEXTRANGEW range{{pos, pos + count}, reinterpret_cast<LPWSTR>(text.data())};
    int got = static_cast<int>(SendMessageW(control.hwnd, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    for (char16_t& c : text) c = c == u'\r' ? u'\n' : c;  // a paragraph break is one character
    return String::FromShorts(text.data(), static_cast<int>(text.size()));
}

void Win32TextArea::replaceSelection(String* newText) {
    std::u16string text(newText->Text(), static_cast<size_t>(newText->length));
    SendMessageW(control.hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

// Under a lock: no event, and the user's selection comes back.
void Win32TextArea::setAreaText(String* newText, int pos, int count, int units) {
    toChars(pos, count, units);
    lock();
    CHARRANGE range{pos, pos + count};
    SendMessageW(control.hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    replaceSelection(newText);
    unlock();
}

void Win32TextArea::addAreaText(String* newText) { setAreaText(newText, length(TEXTAREA_CHARS), 0, TEXTAREA_CHARS); }

void Win32TextArea::setText(String* newText) {
    setAreaText(newText, 0, -1, TEXTAREA_CHARS);
    KVGadget::setText(newText);
}

// ---- selection ----

int Win32TextArea::cursor(int units) {
    CHARRANGE range{};
    SendMessageW(control.hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return units == TEXTAREA_LINES ? lineAt(range.cpMin) : range.cpMin;
}

int Win32TextArea::selectionLength(int units) {
    CHARRANGE range{};
    SendMessageW(control.hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    if (units != TEXTAREA_LINES) return range.cpMax - range.cpMin;
    int end = std::min<int>(range.cpMax, length(TEXTAREA_CHARS));
    return lineAt(end - 1) - lineAt(range.cpMin) + 1;
}

void Win32TextArea::select(int pos, int count, int units) {
    toChars(pos, count, units);
    CHARRANGE range{pos, pos + count};
    SendMessageW(control.hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

// ---- the nested lock ----

void Win32TextArea::lock() {
    if (lockDepth++ > 0) return;
    SendMessageW(control.hwnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(control.hwnd, EM_SETEVENTMASK, 0, 0);
    CHARRANGE range{};
    SendMessageW(control.hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    savedStart = range.cpMin;
    savedEnd = range.cpMax;
    SendMessageW(control.hwnd, EM_HIDESELECTION, TRUE, 0);
    hadFocus = GetFocus() == control.hwnd;
    if (hadFocus) SetFocus(GetParent(control.hwnd));
}

void Win32TextArea::unlock() {
    if (lockDepth == 0 || --lockDepth > 0) return;
    CHARRANGE range{savedStart, savedEnd};
    SendMessageW(control.hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    if (hadFocus) SetFocus(control.hwnd);
    SendMessageW(control.hwnd, EM_HIDESELECTION, FALSE, 0);
    SendMessageW(control.hwnd, EM_SETEVENTMASK, 0, kEventMask);
    SendMessageW(control.hwnd, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control.hwnd, nullptr, TRUE);
}

// ---- formats ----

void Win32TextArea::setStyle(int r, int g, int b, int flags, int pos, int count, int units) {
    toChars(pos, count, units);
    lock();
    CHARRANGE range{pos, pos + count};
    SendMessageW(control.hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = ((flags & 1) ? CFE_BOLD : 0) | ((flags & 2) ? CFE_ITALIC : 0) |
                       ((flags & 4) ? CFE_UNDERLINE : 0) | ((flags & 8) ? CFE_STRIKEOUT : 0);
    format.crTextColor = RGB(r, g, b);
    SendMessageW(control.hwnd, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    unlock();
}

// 32 stops, each `width` average characters of about 11520 / dpi twips apart.
void Win32TextArea::setTabs(int width) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    PARAFORMAT format{};
    format.cbSize = sizeof format;
    format.dwMask = PFM_TABSTOPS;
    format.cTabCount = MAX_TAB_STOPS;
    for (int i = 0; i < MAX_TAB_STOPS; ++i) format.rgxTabs[i] = i * (11520 / (dpi > 0 ? dpi : 96)) * width;
    lock();
    CHARRANGE all{0, -1};
    SendMessageW(control.hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageW(control.hwnd, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
    unlock();
}

void Win32TextArea::setColor(int r, int g, int b) {
    SendMessageW(control.hwnd, EM_SETBKGNDCOLOR, 0, RGB(r, g, b));
}

void Win32TextArea::setTextColor(int r, int g, int b) {
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = RGB(r, g, b);
    SendMessageW(control.hwnd, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
}

// Printing: the text goes to printjob.txt in a folder of its own, which the
// shell's "print" verb hands to the program that prints text files.
int Win32TextArea::activate(int command) {
    if (command != ACTIVATE_PRINT) return Win32Control::activate(command);
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"neonara-print";
    CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\printjob.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    std::string text = NativeText(areaText(0, -1, TEXTAREA_CHARS));
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"print", path.c_str(), nullptr, nullptr, SW_HIDE)) > 32;
}

// ---- messages ----

LRESULT Win32TextArea::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if (message == WM_COMMAND && reinterpret_cast<HWND>(lParam) == control.hwnd && HIWORD(wParam) == EN_CHANGE) {
        NativeEventSink(EVENT_GADGETACTION, this, 0, 0, 0, 0, NullObject());
        return 0;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->hwndFrom == control.hwnd) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == EN_SELCHANGE) {
            NativeEventSink(EVENT_GADGETSELECT, this, 0, 0, 0, 0, NullObject());
            return 0;
        }
        if (header->code == EN_MSGFILTER) {
            auto* filter = reinterpret_cast<MSGFILTER*>(lParam);
            switch (filter->msg) {
            case WM_KEYDOWN:
                return NativeKeyFilter(this, EVENT_KEYDOWN, static_cast<int>(filter->wParam), CurrentMods()) ? 0 : 1;
            case WM_CHAR:
                return NativeKeyFilter(this, EVENT_KEYCHAR, static_cast<int>(filter->wParam), CurrentMods()) ? 0 : 1;
            case WM_RBUTTONDOWN:
                // The caret goes to the click first when nothing is selected.
                if (selectionLength(TEXTAREA_CHARS) == 0) {
                    SendMessageW(control.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, filter->lParam);
                    SendMessageW(control.hwnd, WM_LBUTTONUP, 0, filter->lParam);
                }
                return 0;
            case WM_RBUTTONUP:
                NativeEventSink(EVENT_GADGETMENU, this, 0, 0, static_cast<short>(LOWORD(filter->lParam)),
                                static_cast<short>(HIWORD(filter->lParam)), NullObject());
                return 0;
            default: return 0;
            }
        }
    }
    if (message == WM_KILLFOCUS && hwnd == control.hwnd) {
        NativeEventSink(EVENT_GADGETLOSTFOCUS, this, 0, 0, 0, 0, NullObject());
    }
    return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
}
