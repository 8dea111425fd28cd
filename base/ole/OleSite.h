// The client site and in-place site a window gives the one object it embeds: the animated
// tab's movie control and the enrolment wizard's browser both sit in one. The answers every
// site gives are here; a host says only where its site stands and adds what it has more.
//
// Where the hosts differ:
// - The movie host is windowless-capable: it answers IOleInPlaceSiteEx and
//   IOleInPlaceSiteWindowless and draws the control itself on InvalidateRect. The browser's
//   site is plainly windowed and answers neither.
// - The movie host is its own frame and storage (one object, QueryInterface reaches them
//   from the site); the browser hands out the shared InPlaceFrame of its top-level window.
// - The movie host answers OnShowWindow with E_NOTIMPL, the browser's with S_OK.
// - The browser's site is also its event sink (IDispatch), added like the frame above.
// A chat display has no site of its own: its RichEdit is the client site of the objects in
// it and asks the window through IRichEditOleCallback, so it uses only the frame.
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace vantor {

class OleSite : public IOleClientSite, public IOleInPlaceSiteWindowless {
public:
    OleSite(const OleSite&) = delete;
    OleSite& operator=(const OleSite&) = delete;

    // IUnknown. The count is kept but never deletes the site: the host that owns it does.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** out) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    // The host's frame (a reference added), no document window, the site's rectangle as
    // position and clip, and the frame window without accelerators. Null out pointers are
    // skipped.
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT position,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceSiteEx / IOleInPlaceSiteWindowless (answered only by a windowless-capable site)
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
    STDMETHODIMP InvalidateRect(LPCRECT, BOOL) override { return S_OK; }
    STDMETHODIMP InvalidateRgn(HRGN, BOOL) override { return S_OK; }
    STDMETHODIMP ScrollRect(INT, INT, LPCRECT, LPCRECT) override { return E_NOTIMPL; }
    STDMETHODIMP AdjustRect(LPRECT) override { return S_FALSE; }
    STDMETHODIMP OnDefWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }

protected:
    enum class Activation { Windowed, WindowlessCapable };
    explicit OleSite(Activation activation) : activation_(activation) {}
    virtual ~OleSite() = default;

    // The window the object is placed in.
    virtual HWND SiteWindow() const = 0;
    // The object's place in that window.
    virtual RECT SiteRect() const = 0;
    // The frame handed to the object, and its window.
    virtual IOleInPlaceFrame* SiteFrame() = 0;
    virtual HWND FrameWindow() const = 0;
    // Another interface of the host under this site's identity (no reference added), or null.
    virtual void* HostInterface(REFIID) { return nullptr; }

private:
    const Activation activation_;
    LONG refs_ = 0;
};

}  // namespace vantor
