#include "BrowserSite.h"

#include <exdispid.h>
#include <mshtml.h>
#include <oleauto.h>

#include "Text.h"

namespace enrolwizard {

namespace {

// {8856F961-340A-11D0-A96B-00C04FD705A2}: the system web browser control.
const CLSID kWebBrowserClsid = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

// ICustomDoc, which mingw-w64's uuid library leaves out.
const IID kCustomDocIid = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

template <typename T> void ReleaseInto(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

}  // namespace

STDMETHODIMP UiHandler::QueryInterface(REFIID iid, void** out) {
    // Only the handler: it has no dispatch interface to offer.
    if (iid == IID_IUnknown || iid == IID_IDocHostUIHandler) {
        *out = static_cast<IDocHostUIHandler*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP UiHandler::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_NO3DOUTERBORDER;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT BrowserSite::Open(const RECT& area) {
    area_ = area;
    HRESULT hr = CoCreateInstance(kWebBrowserClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                  reinterpret_cast<void**>(&object_));
    if (FAILED(hr)) return hr;
    hr = object_->SetClientSite(static_cast<IOleClientSite*>(this));
    if (SUCCEEDED(hr)) hr = object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host_, &area_);
    if (SUCCEEDED(hr)) hr = object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
    if (FAILED(hr)) {
        Close();
        return hr;
    }
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(browser_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_point_))) {
            if (FAILED(events_point_->Advise(static_cast<IDispatch*>(this), &cookie_))) ReleaseInto(events_point_);
        }
        points->Release();
    }
    return S_OK;
}

void BrowserSite::Close() {
    if (events_point_) {
        events_point_->Unadvise(cookie_);
        ReleaseInto(events_point_);
    }
    ReleaseInto(browser_);
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        ReleaseInto(object_);
    }
}

HRESULT BrowserSite::Navigate(const std::wstring& url) {
    if (!browser_) return E_UNEXPECTED;
    BSTR text = SysAllocString(url.c_str());
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = browser_->Navigate(text, &empty, &empty, &empty, &empty);
    SysFreeString(text);
    return hr;
}

HRESULT BrowserSite::SetUiHandler(IDocHostUIHandler* handler) {
    if (!browser_) return E_UNEXPECTED;
    IDispatch* document = nullptr;
    HRESULT hr = browser_->get_Document(&document);
    if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_FAIL;
    ICustomDoc* custom = nullptr;
    hr = document->QueryInterface(kCustomDocIid, reinterpret_cast<void**>(&custom));
    if (SUCCEEDED(hr)) {
        hr = custom->SetUIHandler(handler);
        custom->Release();
    }
    document->Release();
    return hr;
}

HRESULT BrowserSite::CallScript(const wchar_t* name, const std::vector<std::string>& args) {
    if (!browser_) return E_UNEXPECTED;
    IDispatch* document = nullptr;
    HRESULT hr = browser_->get_Document(&document);
    if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_FAIL;
    IHTMLDocument* html = nullptr;
    IDispatch* script = nullptr;
    hr = document->QueryInterface(IID_IHTMLDocument, reinterpret_cast<void**>(&html));
    if (SUCCEEDED(hr)) {
        hr = html->get_Script(&script);
        html->Release();
    }
    document->Release();
    if (FAILED(hr) || !script) return FAILED(hr) ? hr : E_FAIL;

    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (SUCCEEDED(hr)) {
        // Arguments go to Invoke last first.
        std::vector<VARIANT> values(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            VARIANT& v = values[args.size() - 1 - i];
            VariantInit(&v);
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocString(vantor::AnsiToWide(args[i]).c_str());
        }
        DISPPARAMS params = {values.empty() ? nullptr : values.data(), nullptr, static_cast<UINT>(values.size()), 0};
        VARIANT result;
        VariantInit(&result);
        hr = script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
        for (VARIANT& v : values) VariantClear(&v);
    }
    script->Release();
    return hr;
}

void* BrowserSite::HostInterface(REFIID iid) {
    if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) return static_cast<IDispatch*>(this);
    return nullptr;
}

STDMETHODIMP BrowserSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if (!events_ || !params) return S_OK;
    if (id == DISPID_BEFORENAVIGATE2 && params->cArgs >= 7) {
        // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel), last first.
        // The address comes as a variant inside a variant.
        VARIANT* url = &params->rgvarg[5];
        if (url->vt == (VT_BYREF | VT_VARIANT) && url->pvarVal) url = url->pvarVal;
        VARIANT* cancel = &params->rgvarg[0];
        if (events_->OnBeforeNavigate(url) && cancel->vt == (VT_BYREF | VT_BOOL)) *cancel->pboolVal = VARIANT_TRUE;
    } else if (id == DISPID_DOCUMENTCOMPLETE && params->cArgs >= 2) {
        VARIANT* frame = &params->rgvarg[1];
        VARIANT* url = &params->rgvarg[0];
        bool top = false;
        if (browser_ && frame->vt == VT_DISPATCH && frame->pdispVal) {
            IUnknown* a = nullptr;
            IUnknown* b = nullptr;
            frame->pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
            browser_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
            top = a && a == b;
            if (a) a->Release();
            if (b) b->Release();
        }
        std::wstring text;
        VARIANT* u = url->vt == (VT_BYREF | VT_VARIANT) ? url->pvarVal : url;
        if (u && u->vt == VT_BSTR && u->bstrVal) text = u->bstrVal;
        events_->OnDocumentComplete(top, text);
    }
    return S_OK;
}

}  // namespace enrolwizard
