// The browser control: an OLE object activated in place in its host's window, whose child
// window runs a page session of the page engine and reports its events to the advised
// DWebBrowserEvents2 sinks.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <oleidl.h>

#include <map>

#include "EventPoint.h"
#include "Handles.h"
#include "PageDocumentObject.h"
#include "PageSession.h"
#include "WebBrowserStubs.h"

namespace browserctl {

class BrowserControl final : public WebBrowserStubs,
                             public IOleObject,
                             public IOleInPlaceObject,
                             public IConnectionPointContainer,
                             public pageengine::PageSessionSink {
public:
    BrowserControl();

    static bool RegisterWindowClass();
    static void UnregisterWindowClass();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch: no members by name here.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IWebBrowser2, what the stand-in offers
    STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers) override;
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers) override;
    STDMETHODIMP get_Document(IDispatch** out) override;
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** out) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT pos) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }
    // IOleWindow / IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND* out) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

    // PageSessionSink
    bool OnBeforeNavigate(int frame, const std::wstring& url) override;
    void OnProgress(long progressMax, long progress) override;
    void OnNavigateError(int frame, const std::wstring& url, long status) override;
    void OnNavigateComplete() override;
    void OnDocumentComplete(int frame, const std::wstring& url) override;
    void OnDownloadComplete() override;
    void OnCommandState(long command, bool enable) override;
    void OnWindowClosing() override;
    void OnFramesDone(const std::vector<int>& frames) override;
    void Wake() override;

private:
    ~BrowserControl();

    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    HRESULT Activate(IOleClientSite* site, HWND parent, LPCRECT pos);
    HRESULT Go(const std::wstring& url);
    IDispatch* Frame(int frame);

    LONG refs_ = 1;
    vantor::EventPoint events_;
    pageengine::PageSession session_;
    vantor::ComPtr<IOleClientSite> site_;
    vantor::ComPtr<IOleInPlaceSite> inPlace_;
    HWND wnd_ = nullptr;
    vantor::ComPtr<PageDocumentObject> document_;
    std::map<int, vantor::ComPtr<IDispatch>> frames_;
};

}  // namespace browserctl
