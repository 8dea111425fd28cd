// A window that embeds one ActiveX control by OLE in-place activation, windowed: the
// host answers as the control's client site and windowless-capable in-place site (the
// shared site), and as its frame and storage (one object, one reference count that never
// deletes it: its owner does), paints the control's view and lets clicks outside the
// control's drawn shapes through.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "Handles.h"
#include "OleSite.h"

namespace animtab {

class OleControlHost : public vantor::OleSite, public IOleInPlaceFrame, public IStorage {
public:
    OleControlHost() : OleSite(Activation::WindowlessCapable) {}
    virtual ~OleControlHost();
    OleControlHost(const OleControlHost&) = delete;
    OleControlHost& operator=(const OleControlHost&) = delete;

    // Makes the host window over the parent's client area and embeds the control.
    // exStyle with WS_EX_LAYERED asks for windowless mode, which is not carried: the
    // control is always hosted in its own window. The window stays when embedding fails.
    virtual bool Create(REFCLSID clsid, DWORD exStyle, DWORD style, HWND parent, HINSTANCE instance);
    // Draws the control's content into dc (the host window's own when null).
    virtual void Draw(HDC dc, const RECT* area, bool erase);
    virtual void OnClassNotRegistered() {}
    virtual bool OnBeforeActivate() { return true; }
    virtual bool OnAfterActivate() { return true; }

    HWND window() const { return wnd_; }
    IUnknown* control() const { return unknown_.get(); }
    IDispatch* movie() const { return movie_.get(); }
    bool hasViewEx() const { return static_cast<bool>(viewEx_); }
    // Destroys the host window and lets go of the window class.
    void DestroyWindow();
    // Hit test of the control's drawn shapes, in host window client coordinates.
    LRESULT HitTest(POINT screen);
    void PlaceControl();

    // IUnknown and IOleWindow, shared by the site and the frame.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return OleSite::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return OleSite::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return OleSite::Release(); }
    STDMETHODIMP GetWindow(HWND* wnd) override { return OleSite::GetWindow(wnd); }
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override { return OleSite::ContextSensitiveHelp(enter); }

    // IOleInPlaceSiteWindowless: the control is drawn at once.
    STDMETHODIMP InvalidateRect(LPCRECT area, BOOL erase) override;

    // IOleInPlaceUIWindow / IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return E_NOTIMPL; }

    // IStorage: only the class may be set; the control keeps nothing here.
    STDMETHODIMP CreateStream(LPCOLESTR, DWORD, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
    STDMETHODIMP OpenStream(LPCOLESTR, void*, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateStorage(LPCOLESTR, DWORD, DWORD, DWORD, IStorage**) override { return E_NOTIMPL; }
    STDMETHODIMP OpenStorage(LPCOLESTR, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP MoveElementTo(LPCOLESTR, IStorage*, LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG**) override { return E_NOTIMPL; }
    STDMETHODIMP DestroyElement(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP RenameElement(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP SetElementTimes(LPCOLESTR, const FILETIME*, const FILETIME*, const FILETIME*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetClass(REFCLSID) override { return S_OK; }
    STDMETHODIMP SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }

    // Dispatch group for derived hosts that sink events; nothing in the base.
    virtual HRESULT DispatchTypeInfoCount(UINT*) { return E_NOTIMPL; }
    virtual HRESULT DispatchTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
    virtual HRESULT DispatchIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    virtual HRESULT DispatchInvoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
        return S_OK;
    }

protected:
    // OleSite: the control sits over the host window's client area; the host is its frame.
    HWND SiteWindow() const override { return wnd_; }
    RECT SiteRect() const override;
    IOleInPlaceFrame* SiteFrame() override { return this; }
    HWND FrameWindow() const override { return wnd_; }
    void* HostInterface(REFIID iid) override;

    // Releases the control (closed without saving) and every interface held on it.
    void ReleaseControl();

    vantor::ComPtr<IUnknown> unknown_;
    vantor::ComPtr<IOleObject> object_;
    vantor::ComPtr<IViewObject> view_;
    vantor::ComPtr<IViewObjectEx> viewEx_;
    vantor::ComPtr<IOleInPlaceObject> inPlace_;
    vantor::ComPtr<IDispatch> movie_;
    CLSID clsid_ = {};
    HWND wnd_ = nullptr;
    HWND parent_ = nullptr;
    HINSTANCE instance_ = nullptr;
    bool child_ = false;
    bool windowless_ = false;
    bool classRegistered_ = false;
};

}  // namespace animtab
