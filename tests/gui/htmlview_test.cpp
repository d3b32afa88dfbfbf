// The HTML view on a real window: the browser control hosted in its
// container, navigation by setting the text, the busy state, and the events
// that arrive. Wine here has no HTML engine, so no document ever completes;
// what a page shows and the link clicks in it need Windows.
#include <gtest/gtest.h>

#include "gui/gui.h"
#include "gui/win32/win32htmlview.h"
#include "gui/win32guidriver.h"
#include "runtime/win32.h"

#include <exdispid.h>
#include <oleauto.h>
#include "system/event.h"
#include "tests/gui/win32_driver_install.h"
#include "tests/system/system_test_support.h"

namespace {

class HtmlView : public ::testing::Test {
protected:
    TGadget* window = nullptr;

    void SetUp() override {
        InstallWin32Driver();
        window = CreateWindow(u"html"_s, 50, 50, 410, 420, NullOf<TGadget>(), WINDOW_TITLEBAR | WINDOW_CLIENTCOORDS);
        DiscardQueuedEvents();
    }
    void TearDown() override {
        if (window) FreeGadget(window);
        PumpUntil([] { return false; }, 100);
        DiscardQueuedEvents();
    }

    static HWND Frame(TGadget* gadget) { return reinterpret_cast<HWND>(QueryGadget(gadget, QUERY_HWND)); }
};

}  // namespace

TEST_F(HtmlView, HostsTheBrowserInItsContainerAtItsShape) {
    TGadget* view = CreateHtmlView(8, 8, 394, 355, window, HTMLVIEW_NAVIGATIONEVENTS);
    HWND container = Frame(view);
    ASSERT_TRUE(IsWindow(container));
    EXPECT_EQ(GetParent(container), Frame(window));
    wchar_t className[64];
    GetClassNameW(container, className, 64);
    EXPECT_STREQ(className, L"KORVEX_WINDOW_CLASS");
    RECT r;
    GetClientRect(container, &r);
    EXPECT_EQ(r.right, 394);
    EXPECT_EQ(r.bottom, 355);
    EXPECT_TRUE(IsWindowVisible(container));
    // The control, in-place active, has made its own window inside the container.
    PumpUntil([&] { return GetWindow(container, GW_CHILD) != nullptr; });
    EXPECT_NE(GetWindow(container, GW_CHILD), nullptr);
}

TEST_F(HtmlView, NavigatingIsBusyAndTheUrlWaitsForTheDocument) {
    TGadget* view = CreateHtmlView(8, 8, 394, 355, window, HTMLVIEW_NAVIGATIONEVENTS);
    HtmlViewNavigate(view, u"file:///Z:/tmp/neonara-missing-page.html"_s);
    std::vector<EventRecord> events = DrainEvents(300, 2000);
    // The program's own navigation is never reported as a request.
    for (const EventRecord& e : events) EXPECT_FALSE(e.id == EVENT_GADGETACTION && e.From(view)) << Describe(events);
    bool done = false;
    for (const EventRecord& e : events) done = done || (e.id == EVENT_GADGETDONE && e.From(view));
    if (!done) {
        // No document completes under Wine: the view stays busy and keeps its old URL.
        EXPECT_EQ(HtmlViewStatus(view) & 1, 1);
        EXPECT_TRUE(Equals(HtmlViewCurrentURL(view), u""_s));
    } else {
        EXPECT_FALSE(Equals(HtmlViewCurrentURL(view), u""_s));
    }
    HtmlViewBack(view);  // history calls and scripts on an empty history or document do nothing harmful
    HtmlViewForward(view);
    HtmlViewRunScript(view, u"window.open('about:blank')"_s);
    GadgetCopy(view);
    RedrawGadget(view);
    DrainEvents(100, 1000);
    EXPECT_TRUE(IsWindow(Frame(view)));
}

TEST_F(HtmlView, FreeingTheViewClosesTheBrowserAndItsWindow) {
    TGadget* view = CreateHtmlView(8, 8, 394, 355, window, 0);
    HWND container = Frame(view);
    FreeGadget(view);
    EXPECT_FALSE(IsWindow(container));
    EXPECT_EQ(QueryGadget(view, QUERY_HWND), 0u);
}

// ---- the browser's events, as the control sends them ----

namespace {

// DWebBrowserEvents2 arguments come last-first; these hold one event's.
struct BrowserEvent {
    VARIANT args[7];
    VARIANT url, frame, flags;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    DISPPARAMS params{args, nullptr, 0, 0};

    BrowserEvent() {
        for (VARIANT& v : args) VariantInit(&v);
        VariantInit(&url);
        VariantInit(&frame);
        VariantInit(&flags);
    }
    ~BrowserEvent() {
        VariantClear(&url);
        VariantClear(&frame);
    }
    static void Ref(VARIANT& arg, VARIANT* value) {
        arg.vt = VT_BYREF | VT_VARIANT;
        arg.pvarVal = value;
    }
    // BeforeNavigate2(disp, url, flags, targetFrame, postData, headers, cancel)
    DISPPARAMS* BeforeNavigate(const wchar_t* to, const wchar_t* targetFrame) {
        url.vt = VT_BSTR;
        url.bstrVal = SysAllocString(to);
        frame.vt = VT_BSTR;
        frame.bstrVal = SysAllocString(targetFrame);
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
        Ref(args[1], &flags);
        Ref(args[2], &flags);
        Ref(args[3], &frame);
        Ref(args[4], &flags);
        Ref(args[5], &url);
        args[6].vt = VT_DISPATCH;
        params.cArgs = 7;
        return &params;
    }
    // DocumentComplete(disp, url)
    DISPPARAMS* DocumentComplete(const wchar_t* at) {
        url.vt = VT_BSTR;
        url.bstrVal = SysAllocString(at);
        Ref(args[0], &url);
        args[1].vt = VT_DISPATCH;
        params.cArgs = 2;
        return &params;
    }
    // NewWindow2(disp, cancel)
    DISPPARAMS* NewWindow() {
        args[0].vt = VT_BYREF | VT_BOOL;
        args[0].pboolVal = &cancel;
        args[1].vt = VT_DISPATCH;
        params.cArgs = 2;
        return &params;
    }
};

Win32HtmlView* NativeView(TGadget* view) {
    return static_cast<Win32HtmlView*>(Downcast<TWin32Gadget>(view)->native);
}

int CountFrom(const std::vector<EventRecord>& events, int id, TGadget* source) {
    int n = 0;
    for (const EventRecord& e : events) n += e.id == id && e.From(source) ? 1 : 0;
    return n;
}

}  // namespace

TEST_F(HtmlView, LinkRequestsAreCancelledAndReportedOnlyWithStyleTwo) {
    TGadget* reporting = CreateHtmlView(8, 8, 394, 355, window, HTMLVIEW_NAVIGATIONEVENTS);
    TGadget* plain = CreateHtmlView(8, 8, 100, 100, window, 0);
    DrainEvents(200, 1000);  // the start-up navigation to about:blank has gone through
    for (TGadget* view : {reporting, plain}) {
        BrowserEvent first;  // a top-level navigation the program started passes
        NativeView(view)->browserEvent(DISPID_BEFORENAVIGATE2, first.BeforeNavigate(L"about:start", L""));
    }

    BrowserEvent link;
    NativeView(reporting)->browserEvent(DISPID_BEFORENAVIGATE2, link.BeforeNavigate(L"https://example.org/", L""));
    EXPECT_EQ(link.cancel, VARIANT_TRUE);
    std::vector<EventRecord> events;
    PumpEventsUntil(events, [&](const EventRecord& e) { return e.id == EVENT_GADGETACTION; });
    ASSERT_EQ(CountFrom(events, EVENT_GADGETACTION, reporting), 1) << Describe(events);
    EXPECT_TRUE(Equals(Downcast<String>(CurrentEvent()->extra.get()), u"https://example.org/"_s));

    BrowserEvent inFrame;  // a link into a frame of the page always navigates
    NativeView(reporting)->browserEvent(DISPID_BEFORENAVIGATE2, inFrame.BeforeNavigate(L"about:frame", L"side"));
    EXPECT_EQ(inFrame.cancel, VARIANT_FALSE);
    BrowserEvent free;  // without style 2 every navigation goes ahead
    NativeView(plain)->browserEvent(DISPID_BEFORENAVIGATE2, free.BeforeNavigate(L"https://example.org/", L""));
    EXPECT_EQ(free.cancel, VARIANT_FALSE);
    EXPECT_EQ(CountFrom(DrainEvents(), EVENT_GADGETACTION, reporting), 0);

    HtmlViewNavigate(reporting, u"about:again"_s);  // the program's own navigation passes once
    BrowserEvent own;
    NativeView(reporting)->browserEvent(DISPID_BEFORENAVIGATE2, own.BeforeNavigate(L"about:again", L""));
    EXPECT_EQ(own.cancel, VARIANT_FALSE);
}

TEST_F(HtmlView, NoNewWindowsAndCompletedDocumentsSetTheUrl) {
    TGadget* view = CreateHtmlView(8, 8, 394, 355, window, HTMLVIEW_NAVIGATIONEVENTS);
    DrainEvents(200, 1000);
    BrowserEvent popup;
    NativeView(view)->browserEvent(DISPID_NEWWINDOW2, popup.NewWindow());
    EXPECT_EQ(popup.cancel, VARIANT_TRUE);

    HtmlViewNavigate(view, u"file:///Z:/page.html"_s);
    EXPECT_TRUE(Equals(HtmlViewCurrentURL(view), u""_s));  // the old URL until the document completes
    BrowserEvent frameDone, pageDone;
    NativeView(view)->browserEvent(DISPID_DOCUMENTCOMPLETE, frameDone.DocumentComplete(L"file:///Z:/frame.html"));
    NativeView(view)->browserEvent(DISPID_DOCUMENTCOMPLETE, pageDone.DocumentComplete(L"file:///Z:/page.html"));
    EXPECT_EQ(CountFrom(DrainEvents(), EVENT_GADGETDONE, view), 2);
    EXPECT_TRUE(Equals(HtmlViewCurrentURL(view), u"file:///Z:/page.html"_s));  // the last one completed
}
