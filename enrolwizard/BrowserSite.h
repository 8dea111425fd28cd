// Our container for the system web browser control: its site, the event sink for page
// navigation, and script calls on the page's document.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

#include "Handles.h"
#include "InPlaceFrame.h"
#include "OleSite.h"

namespace enrolwizard {

// What a page window hears from its browser.
class BrowserEvents {
public:
    virtual ~BrowserEvents() = default;
    // True cancels the navigation.
    virtual bool OnBeforeNavigate(const VARIANT* url) = 0;
    virtual void OnDocumentComplete(bool topLevel, const std::wstring& url) = 0;
};

// No context menu, no 3-D borders; everything else left to the browser.
class UiHandler : public IDocHostUIHandler {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }   // lives as long as its page
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override;
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*, IOleInPlaceUIWindow*) override { return E_NOTIMPL; }
    STDMETHODIMP HideUI() override { return E_NOTIMPL; }
    STDMETHODIMP UpdateUI() override { return E_NOTIMPL; }
    STDMETHODIMP EnableModeless(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return E_NOTIMPL; }
    STDMETHODIMP GetExternal(IDispatch**) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return E_NOTIMPL; }
};

// The browser's site (windowed) is also its event sink; the page's top-level window is its frame.
class BrowserSite : public vantor::OleSite, public IDispatch, private vantor::FrameHost {
public:
    BrowserSite(HWND host, BrowserEvents* events) : OleSite(Activation::Windowed), host_(host), events_(events) {}
    ~BrowserSite() { Close(); }

    // Creates the control in place over the host window's client area.
    HRESULT Open(const RECT& area);
    // Disconnects the events and lets the control go; the page calls it before its window goes.
    void Close();
    HRESULT Navigate(const std::wstring& url);
    // Installs the page's UI handler on the current document.
    HRESULT SetUiHandler(IDocHostUIHandler* handler);
    // Calls the page's script function with text arguments; a missing function is skipped.
    HRESULT CallScript(const wchar_t* name, const std::vector<std::string>& args);
    IWebBrowser2* Browser() const { return browser_; }

    // IUnknown, shared with the event sink.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return OleSite::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return OleSite::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return OleSite::Release(); }
    // IOleClientSite
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    // IDispatch: DWebBrowserEvents2
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { *count = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

private:
    // OleSite: the control stands at the area given to Open in the host window.
    HWND SiteWindow() const override { return host_; }
    RECT SiteRect() const override { return area_; }
    IOleInPlaceFrame* SiteFrame() override { return frame_.get(); }
    HWND FrameWindow() const override { return HostWindow(); }
    void* HostInterface(REFIID iid) override;
    // FrameHost: the page's top-level window is the browser's frame.
    HWND HostWindow() const override { return GetAncestor(host_, GA_ROOT); }

    HWND host_;
    BrowserEvents* events_;
    vantor::ComPtr<IOleInPlaceFrame> frame_{new vantor::InPlaceFrame(*this)};
    RECT area_ = {};
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IConnectionPoint* events_point_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace enrolwizard
