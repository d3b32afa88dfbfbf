// The HTML view: the system's web browser control hosted in place in a
// container window of the layer's class. Setting its text navigates; a
// finished document raises GadgetDone; with style 2 a navigation the program
// did not start is cancelled and raised as GadgetAction with the URL; new
// windows never open.
#pragma once
#include "gui/win32/win32control.h"

class HtmlHost;

// The control's binding holds the container window, of the layer's class.
class Win32HtmlView : public Win32Control {
public:
    HtmlHost* host = nullptr;

    Win32HtmlView(KVGroup* group, int style);
    ~Win32HtmlView() override;

    void setText(String* url) override;  // navigates; the text follows DocumentComplete
    int activate(int command) override;

    void navigate(String* url);
    void runScript(String* script);
    void back();
    void forward();
    // 1 while the browser's ready state is not complete.
    bool busy();

    // Handles one of the browser's DWebBrowserEvents2 (as its Invoke does):
    // BeforeNavigate2, NewWindow2 and DocumentComplete.
    void browserEvent(long dispid, struct tagDISPPARAMS* params);

    // The view's text after a document completed (not a navigation).
    void setCompletedUrl(String* url) { KVGadget::setText(url); }

    LRESULT wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) override;
};
