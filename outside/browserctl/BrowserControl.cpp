#include "BrowserControl.h"

#include <exdispid.h>
#include <olectl.h>

#include <cstdio>

#include "BrowserCtl.h"
#include "BrowserTrace.h"
#include "EventValue.h"
#include "FrameDispatch.h"
#include "ModulePath.h"
#include "Module.h"
#include "PagePaint.h"

namespace browserctl {

namespace {

const UINT kStepMessage = WM_APP + 0x52;

// The browser passes its event arguments by reference, as variants in variants.
void ByRef(VARIANT* arg, VARIANT* value) {
    VariantInit(arg);
    arg->vt = VT_BYREF | VT_VARIANT;
    arg->pvarVal = value;
}

void ByValue(VARIANT* arg, IDispatch* frame) {
    VariantInit(arg);
    arg->vt = VT_DISPATCH;
    arg->pdispVal = frame;  // borrowed for the call
}

// A navigation's address as text; an empty one for anything else than text.
std::wstring AddressOf(VARIANT* url) {
    if (!url) return L"";
    if (url->vt == (VT_BYREF | VT_VARIANT) && url->pvarVal) url = url->pvarVal;
    if (url->vt == VT_BSTR && url->bstrVal) return std::wstring(url->bstrVal, SysStringLen(url->bstrVal));
    if (url->vt == (VT_BYREF | VT_BSTR) && url->pbstrVal && *url->pbstrVal)
        return std::wstring(*url->pbstrVal, SysStringLen(*url->pbstrVal));
    return L"";
}

std::wstring FrameName(int frame) {
    return frame == pageengine::kTopFrame ? L"top" : L"frame" + std::to_wstring(frame);
}

}  // namespace

using pageengine::EventVariant;

BrowserControl::BrowserControl()
    : events_(static_cast<IConnectionPointContainer*>(this), DIID_DWebBrowserEvents2), session_(this, vantor::ProgramDir()) {
    ObjectCreated();
}

BrowserControl::~BrowserControl() {
    session_.Stop();
    if (wnd_) {
        // Let go without a Close: the window goes too, no longer reaching this object.
        SetWindowLongPtrW(wnd_, GWLP_USERDATA, 0);
        DestroyWindow(wnd_);
    }
    ObjectDestroyed();
}

bool BrowserControl::RegisterWindowClass() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    HINSTANCE self = vantor::ThisModule();
    if (GetClassInfoExW(self, BROWSERCTL_WINDOW_CLASS, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hInstance = self;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = BROWSERCTL_WINDOW_CLASS;
    return RegisterClassExW(&wc) != 0;
}

void BrowserControl::UnregisterWindowClass() { UnregisterClassW(BROWSERCTL_WINDOW_CLASS, vantor::ThisModule()); }

// ---- IUnknown, IDispatch

STDMETHODIMP BrowserControl::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
        iid == IID_IWebBrowser2) {
        *out = static_cast<IWebBrowser2*>(this);
    } else if (iid == IID_IOleObject) {
        *out = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject) {
        *out = static_cast<IOleInPlaceObject*>(this);
    } else if (iid == IID_IConnectionPointContainer) {
        *out = static_cast<IConnectionPointContainer*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BrowserControl::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) BrowserControl::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP BrowserControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP BrowserControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP BrowserControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP BrowserControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

// ---- IWebBrowser2

HRESULT BrowserControl::Go(const std::wstring& url) {
    Trace(L"navigate " + url);
    // The session's events run on the window's thread: no window, no navigation.
    if (!wnd_) return E_UNEXPECTED;
    AddRef();
    session_.Navigate(url);
    Release();
    return S_OK;
}

STDMETHODIMP BrowserControl::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    if (!url) return E_INVALIDARG;
    return Go(std::wstring(url, SysStringLen(url)));
}

STDMETHODIMP BrowserControl::Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    std::wstring text = AddressOf(url);
    if (text.empty()) return E_INVALIDARG;
    return Go(text);
}

STDMETHODIMP BrowserControl::get_Document(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!document_) return S_FALSE;
    *out = static_cast<IHTMLDocument*>(document_.get());
    (*out)->AddRef();
    return S_OK;
}

// ---- IOleObject

STDMETHODIMP BrowserControl::SetClientSite(IOleClientSite* site) {
    site_ = vantor::ComPtr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP BrowserControl::GetClientSite(IOleClientSite** out) {
    if (!out) return E_POINTER;
    *out = site_.get();
    if (*out) (*out)->AddRef();
    return S_OK;
}

STDMETHODIMP BrowserControl::Close(DWORD) {
    Trace(L"close");
    InPlaceDeactivate();
    session_.Stop();
    events_.UnadviseAll();
    document_ = nullptr;
    frames_.clear();
    return S_OK;
}

STDMETHODIMP BrowserControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) {
    switch (verb) {
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE: {
            HRESULT hr = Activate(site ? site : site_.get(), parent, pos);
            if (FAILED(hr)) Trace(L"activate -> " + pageengine::StatusText(hr));
            return hr;
        }
        case OLEIVERB_HIDE:
            if (wnd_) ShowWindow(wnd_, SW_HIDE);
            return S_OK;
        default:
            return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT BrowserControl::Activate(IOleClientSite* site, HWND parent, LPCRECT pos) {
    if (wnd_) return S_OK;
    if (!site) return E_INVALIDARG;
    vantor::ComPtr<IOleInPlaceSite> inPlace;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlace.put_void())) || !inPlace) return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlace->OnInPlaceActivate();
    HWND host = nullptr;
    if (FAILED(inPlace->GetWindow(&host)) || !host) host = parent;
    RECT area = pos ? *pos : RECT{};
    vantor::ComPtr<IOleInPlaceFrame> frame;
    vantor::ComPtr<IOleInPlaceUIWindow> document;
    RECT place = {}, clip = {};
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof info;
    if (SUCCEEDED(inPlace->GetWindowContext(frame.put(), document.put(), &place, &clip, &info)) && !pos) area = place;
    if (!IsWindow(host)) return E_UNEXPECTED;

    if (!RegisterWindowClass()) return E_FAIL;
    wnd_ = CreateWindowExW(0, BROWSERCTL_WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, area.left, area.top,
                           area.right - area.left, area.bottom - area.top, host, nullptr, vantor::ThisModule(), this);
    if (!wnd_) return E_FAIL;
    inPlace_ = inPlace;
    Trace(L"activate " + std::to_wstring(area.right - area.left) + L"x" + std::to_wstring(area.bottom - area.top));
    return S_OK;
}

STDMETHODIMP BrowserControl::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = kWebBrowserClsid;
    return S_OK;
}

STDMETHODIMP BrowserControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
              OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

// ---- IOleInPlaceObject

STDMETHODIMP BrowserControl::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    *out = wnd_;
    return wnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP BrowserControl::InPlaceDeactivate() {
    if (!wnd_) return S_OK;
    HWND wnd = wnd_;
    wnd_ = nullptr;
    DestroyWindow(wnd);
    if (inPlace_) {
        vantor::ComPtr<IOleInPlaceSite> site = inPlace_;
        inPlace_ = nullptr;
        site->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP BrowserControl::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos) return E_POINTER;
    if (wnd_) MoveWindow(wnd_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    return S_OK;
}

// ---- IConnectionPointContainer

STDMETHODIMP BrowserControl::EnumConnectionPoints(IEnumConnectionPoints** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP BrowserControl::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *out = &events_;
    events_.AddRef();
    return S_OK;
}

// ---- the window

LRESULT CALLBACK BrowserControl::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<BrowserControl*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<BrowserControl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self && msg == WM_NCDESTROY) {
        // Gone with its host's window, without a Close: nothing more loads.
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        if (self->wnd_ == wnd) {
            self->wnd_ = nullptr;
            self->session_.Stop();
        }
    }
    if (!self || msg == WM_NCDESTROY) return DefWindowProcW(wnd, msg, wp, lp);
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT client;
        GetClientRect(wnd, &client);
        pageengine::PaintPage(dc, client, self->session_.Current(), 0);
        EndPaint(wnd, &ps);
        return 0;
    }
    // Events reach the host, which may let the browser go meanwhile: held for the call.
    self->AddRef();
    LRESULT answer = self->Handle(wnd, msg, wp, lp);
    self->Release();
    return answer;
}

LRESULT BrowserControl::Handle(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kStepMessage:
            session_.Step();
            return 0;
        case WM_COPYDATA: {
            auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
            if (!data || !data->lpData || data->dwData != BROWSERCTL_COPYDATA_CLICK) return FALSE;
            std::wstring url(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
            url = url.substr(0, url.find(L'\0'));
            Trace(L"click " + url);
            session_.Follow(url);
            return TRUE;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            InvalidateRect(wnd, nullptr, FALSE);
            break;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void BrowserControl::Wake() {
    if (wnd_) PostMessageW(wnd_, kStepMessage, 0, 0);
}

IDispatch* BrowserControl::Frame(int frame) {
    // The top document's events name the browser itself, as the system's control does.
    if (frame == pageengine::kTopFrame) return static_cast<IWebBrowser2*>(this);
    auto& slot = frames_[frame];
    if (!slot) slot.attach(pageengine::NewFrameDispatch());
    return slot.get();
}

// ---- the session's events

bool BrowserControl::OnBeforeNavigate(int frame, const std::wstring& url) {
    EventVariant address, flags, target, postData, headers;
    address.SetText(url);
    flags.SetLong(0);
    target.SetText(L"");
    headers.SetText(L"");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    // DWebBrowserEvents2::BeforeNavigate2(pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), last first.
    VARIANT args[7];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].pboolVal = &cancel;
    ByRef(&args[1], headers.get());
    ByRef(&args[2], postData.get());
    ByRef(&args[3], target.get());
    ByRef(&args[4], flags.get());
    ByRef(&args[5], address.get());
    ByValue(&args[6], Frame(frame));
    DISPPARAMS params = {args, nullptr, 7, 0};
    events_.Fire(DISPID_BEFORENAVIGATE2, &params);
    bool cancelled = cancel != VARIANT_FALSE;
    Trace(L"BeforeNavigate2 " + FrameName(frame) + L" " + url + (cancelled ? L" -> cancel" : L" -> proceed"));
    return cancelled;
}

void BrowserControl::OnDocumentComplete(int frame, const std::wstring& url) {
    // The host reads the new document from inside this event.
    if (frame == pageengine::kTopFrame && session_.Current())
        document_.attach(PageDocumentObject::Create(*session_.Current()));
    Trace(L"DocumentComplete " + FrameName(frame) + L" " + url);
    EventVariant address;
    address.SetText(url);
    VARIANT args[2];
    ByRef(&args[0], address.get());
    ByValue(&args[1], Frame(frame));
    DISPPARAMS params = {args, nullptr, 2, 0};
    events_.Fire(DISPID_DOCUMENTCOMPLETE, &params);
}

// The other events are written to the trace only: the hosts of this control use none.
void BrowserControl::OnProgress(long progressMax, long progress) {
    Trace(L"ProgressChange " + std::to_wstring(progressMax) + L" " + std::to_wstring(progress));
}

void BrowserControl::OnNavigateError(int frame, const std::wstring& url, long status) {
    Trace(L"NavigateError " + FrameName(frame) + L" " + url + L" " +
          pageengine::StatusText(status));
}

void BrowserControl::OnNavigateComplete() {
    Trace(L"NavigateComplete");
    if (wnd_) InvalidateRect(wnd_, nullptr, FALSE);
}

void BrowserControl::OnDownloadComplete() { Trace(L"DownloadComplete"); }

void BrowserControl::OnCommandState(long command, bool enable) {
    Trace(L"CommandStateChange " + std::to_wstring(command) + (enable ? L" -1" : L" 0"));
}

void BrowserControl::OnWindowClosing() { Trace(L"WindowClosing -> close"); }

void BrowserControl::OnFramesDone(const std::vector<int>& frames) {
    for (int frame : frames) frames_.erase(frame);
}

}  // namespace browserctl
