// The configuration dialog inside the test process: its layout on the
// desktop, a link request from the page being printed, and the close box
// ending the dialog through the normal path.
// (OK ends the process; the end-to-end tests click it.)
#include <gtest/gtest.h>

#include "runtime/win32.h"  // first: it undoes the Windows macros that rename ours

#include <exdispid.h>
#include <oleauto.h>

#include "app/screensaver.h"
#include "gui/gui.h"
#include "gui/win32/win32hwnd.h"
#include "gui/win32/win32htmlview.h"
#include "gui/win32guidriver.h"
#include "tests/app/output_capture.h"

namespace {

struct Seen {
    bool found = false;
    POINT clientOrigin{};
    RECT client{};
    RECT view{};    // in the client area
    RECT button{};
    char buttonText[16] = "";
    DWORD buttonStyle = 0;
} seen;

RECT ChildRect(HWND child, HWND parent) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// What the page would send for a clicked link, through the view's browser events.
void ClickLink(HWND container, const wchar_t* url) {
    Win32Hwnd* binding = BindingOf(container);
    if (!binding) return;
    VARIANT args[7], target, link, empty;
    for (VARIANT& v : args) VariantInit(&v);
    VariantInit(&empty);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(L"");
    link.vt = VT_BSTR;
    link.bstrVal = SysAllocString(url);
    VARIANT_BOOL cancel = VARIANT_FALSE;
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    for (int i : {1, 2, 4}) {
        args[i].vt = VT_BYREF | VT_VARIANT;
        args[i].pvarVal = &empty;
    }
    args[3].vt = VT_BYREF | VT_VARIANT;
    args[3].pvarVal = &target;
    args[5].vt = VT_BYREF | VT_VARIANT;
    args[5].pvarVal = &link;
    DISPPARAMS params{args, nullptr, 7, 0};
    static_cast<Win32HtmlView*>(binding->owner)->browserEvent(DISPID_BEFORENAVIGATE2, &params);
    SysFreeString(target.bstrVal);
    SysFreeString(link.bstrVal);
}

// Runs inside the dialog's event loop: looks at the dialog, asks for a link
// the shell refuses to open (nothing is launched), then closes the window.
void CALLBACK InspectDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND frame = FindWindowW(nullptr, L"Neonara Screensaver");
    if (!frame) return;
    seen.found = true;
    ClientToScreen(frame, &seen.clientOrigin);
    GetClientRect(frame, &seen.client);
    HWND container = FindWindowExW(frame, nullptr, L"KORVEX_WINDOW_CLASS", nullptr);
    HWND button = FindWindowExW(frame, nullptr, L"BUTTON", nullptr);
    if (container) seen.view = ChildRect(container, frame);
    if (button) {
        seen.button = ChildRect(button, frame);
        GetWindowTextA(button, seen.buttonText, sizeof seen.buttonText);
        seen.buttonStyle = static_cast<DWORD>(GetWindowLongW(button, GWL_STYLE));
    }
    if (container) ClickLink(container, L"ftp://neonara.invalid/notes");
    PostMessageW(frame, WM_CLOSE, 0, 0);
}

}  // namespace

TEST(ConfigDialog, SitsInTheMiddlePrintsLinkRequestsAndTheCloseBoxEndsIt) {
    StartScreenSaverModules();
    UINT_PTR timer = SetTimer(nullptr, 0, 1500, InspectDialog);
    ASSERT_NE(timer, 0u);
    int result = -1;
    std::string out = CaptureOutput([&] { result = (new TScreenSaver())->RunConfig(); });
    EXPECT_EQ(result, 0);
    ASSERT_TRUE(seen.found) << "no window titled \"Neonara Screensaver\"";
    TGadget* desktop = Desktop();
    EXPECT_EQ(seen.clientOrigin.x, (GadgetWidth(desktop) - 410) / 2);  // 307 on the 1024x768 display
    EXPECT_EQ(seen.clientOrigin.y, (GadgetHeight(desktop) - 420) / 2);
    EXPECT_EQ(seen.client.right, 410);
    EXPECT_EQ(seen.client.bottom, 420);
    EXPECT_EQ(seen.view.left, 8);
    EXPECT_EQ(seen.view.top, 8);
    EXPECT_EQ(seen.view.right - seen.view.left, 394);
    EXPECT_EQ(seen.view.bottom - seen.view.top, 355);
    EXPECT_EQ(seen.button.left, 168);
    EXPECT_EQ(seen.button.top, 375);
    EXPECT_EQ(seen.button.right - seen.button.left, 64);
    EXPECT_EQ(seen.button.bottom - seen.button.top, 24);
    EXPECT_STREQ(seen.buttonText, "OK");
    EXPECT_EQ(seen.buttonStyle & 0xF, static_cast<DWORD>(BS_PUSHBUTTON));
    // The link the page asked for is printed (and handed to OpenURL, which
    // refuses an ftp: url, so nothing starts here).
    EXPECT_EQ(out, "ftp://neonara.invalid/notes\r\n");
}
