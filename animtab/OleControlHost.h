// A window that embeds one ActiveX control by OLE in-place activation, windowed: the
// host answers as the control's client site, in-place site, frame and storage (one
// object, one reference count that never deletes it: its owner does), paints the
// control's view and lets clicks outside the control's drawn shapes through.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "Handles.h"

namespace animtab {

class OleControlHost : public IOleClientSite,
                       public IOleInPlaceSiteWindowless,
                       public IOleInPlaceFrame,
                       public IStorage {
public:
    OleControlHost() = default;
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

    // IUnknown, shared by every interface of the host.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (site and frame alike)
    STDMETHODIMP GetWindow(HWND* wnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite / Ex / Windowless
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    STDMETHODIMP OnInPlaceActivateEx(BOOL* noRedraw, DWORD) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return S_FALSE; }
    STDMETHODIMP RequestUIActivate() override { return S_FALSE; }
    STDMETHODIMP CanWindowlessActivate() override { return S_OK; }
    STDMETHODIMP GetCapture() override { return S_FALSE; }
    STDMETHODIMP SetCapture(BOOL) override { return S_FALSE; }
    STDMETHODIMP GetFocus() override { return S_OK; }
    STDMETHODIMP SetFocus(BOOL) override { return S_OK; }
    STDMETHODIMP GetDC(LPCRECT, DWORD, HDC* dc) override;
    STDMETHODIMP ReleaseDC(HDC) override { return S_FALSE; }
    STDMETHODIMP InvalidateRect(LPCRECT area, BOOL erase) override;
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_FALSE; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }

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
