#include "gui/win32/win32htmlview.h"

#include "runtime/win32.h"  // before the OLE headers, which need it

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <ole2.h>

#include <cstdio>

#include "gui/gadget.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "system/event.h"

namespace {

constexpr DWORD kContainerStyle = 0x44010000;  // child, clip siblings, tab stop
constexpr int kNoContextMenu = 1;
constexpr int kReportNavigation = 2;

// OLE starts with the first view: it opens a hidden window of its own,
// which the program's other modes should not have.
void StartOle() {
    static bool started = OleInitialize(nullptr) >= 0;
    (void)started;
}

BSTR WideString(String* text) {
    char16_t* wide = text->ToWString();
    BSTR value = SysAllocString(reinterpret_cast<const OLECHAR*>(wide));
    MemFreeBlock(wide);
    return value;
}

String* FromBstr(BSTR text) {
    return text ? String::FromWString(reinterpret_cast<const char16_t*>(text)) : EmptyString();
}

// A host method the control should never call: said on standard output, and
// raised as the null-object error once the control has returned.
HRESULT Unexpected(int line) {
    std::printf("htmlview TODO error line:%d\n", line);
    std::fflush(stdout);
    KV_CALLBACK_TRY { ThrowNullMethodError(); }
    KV_CALLBACK_CATCH
    return E_NOTIMPL;
}

}  // namespace

// Everything the control talks to, kept for the life of the view.
class HtmlHost {
public:
    class Site : public IOleClientSite, public IOleInPlaceSite, public IDocHostUIHandler {
    public:
        HtmlHost* host;
        explicit Site(HtmlHost* owner) : host(owner) {}

        // The host lives as long as the view: counting is fixed.
        STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
            if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
                *out = static_cast<IOleClientSite*>(this);
            } else if (riid == IID_IOleInPlaceSite || riid == IID_IOleWindow) {
                *out = static_cast<IOleInPlaceSite*>(this);
            } else if (riid == IID_IDocHostUIHandler) {
                *out = static_cast<IDocHostUIHandler*>(this);
            } else {
                *out = nullptr;
                return E_NOINTERFACE;
            }
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }

        // IOleClientSite
        STDMETHODIMP SaveObject() override { return Unexpected(1); }
        STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return Unexpected(2); }
        STDMETHODIMP GetContainer(IOleContainer** container) override {
            *container = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP ShowObject() override { return S_OK; }
        STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
        STDMETHODIMP RequestNewObjectLayout() override { return Unexpected(3); }

        // IOleWindow / IOleInPlaceSite
        STDMETHODIMP GetWindow(HWND* window) override {
            *window = host->container;
            return S_OK;
        }
        STDMETHODIMP ContextSensitiveHelp(BOOL) override { return Unexpected(4); }
        STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
        STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
        STDMETHODIMP OnUIActivate() override { return S_OK; }
        STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                      LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
        STDMETHODIMP Scroll(SIZE) override { return Unexpected(5); }
        STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
        STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
        STDMETHODIMP DiscardUndoState() override { return Unexpected(6); }
        STDMETHODIMP DeactivateAndUndo() override { return Unexpected(7); }
        STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

        // IDocHostUIHandler
        STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
            return (host->style & kNoContextMenu) ? S_OK : S_FALSE;
        }
        STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) override { return E_NOTIMPL; }
        STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                            IOleInPlaceUIWindow*) override {
            return S_OK;
        }
        STDMETHODIMP HideUI() override { return S_OK; }
        STDMETHODIMP UpdateUI() override { return S_OK; }
        STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
        STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
        STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
        STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
        STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID*, DWORD) override {
            if (message && message->message == WM_KEYDOWN) {
                std::printf("CMySite::TranslateAccelerator\n");
                std::fflush(stdout);
                return S_FALSE;
            }
            return E_NOTIMPL;
        }
        STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
        STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
        STDMETHODIMP GetExternal(IDispatch** external) override {
            *external = nullptr;
            return E_FAIL;
        }
        STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
            *translated = nullptr;
            return S_FALSE;
        }
        STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override {
            *filtered = nullptr;
            return S_FALSE;
        }
    };

    class Frame : public IOleInPlaceFrame {
    public:
        HtmlHost* host;
        explicit Frame(HtmlHost* owner) : host(owner) {}

        STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
            if (riid == IID_IUnknown || riid == IID_IOleWindow || riid == IID_IOleInPlaceUIWindow ||
                riid == IID_IOleInPlaceFrame) {
                *out = static_cast<IOleInPlaceFrame*>(this);
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP GetWindow(HWND* window) override {
            *window = host->container;
            return S_OK;
        }
        STDMETHODIMP ContextSensitiveHelp(BOOL) override { return Unexpected(10); }
        STDMETHODIMP GetBorder(LPRECT) override { return Unexpected(11); }
        STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return Unexpected(12); }
        STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return Unexpected(13); }
        STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
        STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return Unexpected(14); }
        STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
        STDMETHODIMP RemoveMenus(HMENU) override { return Unexpected(15); }
        STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
        STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
        STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }
    };

    // A storage that keeps nothing: the control is never saved.
    class NullStorage : public IStorage {
    public:
        STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
            if (riid == IID_IUnknown || riid == IID_IStorage) {
                *out = static_cast<IStorage*>(this);
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override { return S_OK; }
        STDMETHODIMP OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream**) override { return S_OK; }
        STDMETHODIMP CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override { return S_OK; }
        STDMETHODIMP OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return S_OK; }
        STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return S_OK; }
        STDMETHODIMP MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return S_OK; }
        STDMETHODIMP Commit(DWORD) override { return S_OK; }
        STDMETHODIMP Revert() override { return S_OK; }
        STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override { return S_OK; }
        STDMETHODIMP DestroyElement(const OLECHAR*) override { return S_OK; }
        STDMETHODIMP RenameElement(const OLECHAR*, const OLECHAR*) override { return S_OK; }
        STDMETHODIMP SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
            return S_OK;
        }
        STDMETHODIMP SetClass(REFCLSID) override { return S_OK; }
        STDMETHODIMP SetStateBits(DWORD, DWORD) override { return S_OK; }
        STDMETHODIMP Stat(STATSTG*, DWORD) override { return S_OK; }
    };

    // The browser's DWebBrowserEvents2, as a bare dispatch interface.
    class Events : public IDispatch {
    public:
        HtmlHost* host;
        explicit Events(HtmlHost* owner) : host(owner) {}

        STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
            if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
                *out = static_cast<IDispatch*>(this);
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return 1; }
        STDMETHODIMP_(ULONG) Release() override { return 1; }
        STDMETHODIMP GetTypeInfoCount(UINT* count) override {
            *count = 0;
            return S_OK;
        }
        STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                            UINT*) override {
            KV_CALLBACK_TRY { host->onEvent(id, params); }
            KV_CALLBACK_CATCH
            return S_OK;
        }
    };

    Win32HtmlView* view;
    HWND container;
    int style;
    Site site{this};
    Frame frame{this};
    NullStorage storage;
    Events events{this};
    IOleObject* object = nullptr;
    IWebBrowser2* browser = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* eventPoint = nullptr;
    DWORD cookie = 0;
    IOleCommandTarget* commands = nullptr;
    bool navigating = false;  // a navigation the program started, not yet let through
    bool loading = false;     // from such a navigation until its document completes

    HtmlHost(Win32HtmlView* owner, HWND window, int viewStyle);
    ~HtmlHost();

    void navigate(String* url);
    void onEvent(DISPID id, DISPPARAMS* params);
    RECT clientRect() const {
        RECT r;
        GetClientRect(container, &r);
        return r;
    }
};

STDMETHODIMP HtmlHost::Site::GetWindowContext(IOleInPlaceFrame** frameOut, IOleInPlaceUIWindow** document,
                                              LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    *frameOut = &host->frame;
    *document = nullptr;
    *position = host->clientRect();
    *clip = host->clientRect();
    info->cb = 20;
    info->fMDIApp = FALSE;
    info->hwndFrame = host->container;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

// Failures are not checked: a browser that could not be made shows nothing.
HtmlHost::HtmlHost(Win32HtmlView* owner, HWND window, int viewStyle)
    : view(owner), container(window), style(viewStyle) {
    StartOle();
    OleCreate(CLSID_WebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, &site, &storage,
              reinterpret_cast<void**>(&object));
    if (!object) return;
    OleSetContainedObject(object, TRUE);
    object->SetHostNames(L"Web Host", L"Web View");
    object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace));
    object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    object->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(&commands));
    if (points && points->FindConnectionPoint(DIID_DWebBrowserEvents2, &eventPoint) >= 0) {
        eventPoint->Advise(&events, &cookie);
    }
    RECT r = clientRect();
    object->DoVerb(OLEIVERB_SHOW, nullptr, &site, 0, container, &r);
    object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, container, &r);
    navigate(u"about:blank"_s);
}

HtmlHost::~HtmlHost() {
    if (inPlace) inPlace->Release();
    if (browser) browser->Release();
    if (commands) commands->Release();
    if (eventPoint) eventPoint->Release();
    if (points) points->Release();
    if (object) {
        object->Close(OLECLOSE_NOSAVE);
        object->Release();
    }
}

void HtmlHost::navigate(String* url) {
    if (!browser) return;
    BSTR wide = WideString(url);
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_INT;
    flags.intVal = 0;
    navigating = loading = true;
    browser->Navigate(wide, &flags, nullptr, nullptr, nullptr);
    SysFreeString(wide);
}

// The arguments of an event come in reverse order.
void HtmlHost::onEvent(DISPID id, DISPPARAMS* params) {
    VARIANTARG* args = params->rgvarg;
    switch (id) {
    case DISPID_BEFORENAVIGATE2: {
        // (disp, url, flags, targetFrame, postData, headers, cancel)
        VARIANT_BOOL* cancel = args[0].pboolVal;
        *cancel = VARIANT_FALSE;
        VARIANT* target = args[3].pvarVal;
        if (target && target->vt == VT_BSTR && target->bstrVal && target->bstrVal[0]) return;  // a sub-frame
        if ((style & kReportNavigation) && !navigating) {
            *cancel = VARIANT_TRUE;
            VARIANT* url = args[5].pvarVal;
            String* text = url && url->vt == VT_BSTR ? FromBstr(url->bstrVal) : EmptyString();
            NativeEventSink(EVENT_GADGETACTION, view, 0, 0, 0, 0, text);
        } else {
            navigating = false;
        }
        return;
    }
    case DISPID_NEWWINDOW2: *args[0].pboolVal = VARIANT_TRUE; return;  // (disp, cancel)
    case DISPID_DOCUMENTCOMPLETE: {
        VARIANT* url = args[0].pvarVal;  // (disp, url)
        view->setCompletedUrl(url && url->vt == VT_BSTR ? FromBstr(url->bstrVal) : EmptyString());
        loading = false;
        NativeEventSink(EVENT_GADGETDONE, view, 0, 0, 0, 0, NullObject());
        return;
    }
    default: return;
    }
}

// ---- the view ----

Win32HtmlView::Win32HtmlView(KVGroup* parent, int viewStyle) : Win32Control(parent, viewStyle) {
    createControl(LayerWindowClass(), "", kContainerStyle, WS_EX_CONTROLPARENT, 0);
    host = new HtmlHost(this, control.hwnd, style);
}

Win32HtmlView::~Win32HtmlView() { delete host; }

void Win32HtmlView::setText(String* url) { navigate(url); }

int Win32HtmlView::activate(int command) {
    IWebBrowser2* browser = host->browser;
    switch (command) {
    case ACTIVATE_CUT:
        if (browser) browser->ExecWB(OLECMDID_CUT, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr);
        break;
    case ACTIVATE_COPY:
        if (browser) browser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr);
        break;
    case ACTIVATE_PASTE:
        if (browser) browser->ExecWB(OLECMDID_PASTE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, nullptr);
        break;
    case ACTIVATE_PRINT:
        if (browser) browser->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, nullptr, nullptr);
        break;
    default: return Win32Control::activate(command);  // focus and redraw
    }
    return 0;
}

void Win32HtmlView::navigate(String* url) { host->navigate(url); }

void Win32HtmlView::browserEvent(long dispid, DISPPARAMS* params) { host->onEvent(dispid, params); }

void Win32HtmlView::runScript(String* script) {
    IWebBrowser2* browser = host->browser;
    if (!browser) return;
    IDispatch* document = nullptr;
    if (browser->get_Document(&document) < 0 || !document) return;
    IHTMLDocument2* html = nullptr;
    if (document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html)) >= 0 && html) {
        IHTMLWindow2* window = nullptr;
        if (html->get_parentWindow(&window) >= 0 && window) {
            BSTR code = WideString(script);
            BSTR language = SysAllocString(L"");
            VARIANT result;
            VariantInit(&result);
            window->execScript(code, language, &result);  // a failing script is ignored
            VariantClear(&result);
            SysFreeString(language);
            SysFreeString(code);
            window->Release();
        }
        html->Release();
    }
    document->Release();
}

void Win32HtmlView::back() {
    host->navigating = true;
    if (host->browser) host->browser->GoBack();
}

void Win32HtmlView::forward() {
    host->navigating = true;
    if (host->browser) host->browser->GoForward();
}

bool Win32HtmlView::busy() {
    if (!host->browser) return false;
    READYSTATE state = READYSTATE_UNINITIALIZED;
    host->browser->get_ReadyState(&state);
    return state != READYSTATE_COMPLETE;
}

LRESULT Win32HtmlView::wndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    switch (message) {
    case WM_SIZE:
        if (host->inPlace) {
            RECT r = host->clientRect();
            host->inPlace->SetObjectRects(&r, &r);
        }
        return 0;
    case WM_ERASEBKGND: return 1;  // the control paints everything
    default: return Win32Control::wndProc(hwnd, message, wParam, lParam, previous);
    }
}
