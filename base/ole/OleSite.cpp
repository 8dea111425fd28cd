#include "OleSite.h"

namespace vantor {

STDMETHODIMP OleSite::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
        *out = static_cast<IOleClientSite*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
        *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else if (iid == IID_IOleInPlaceSiteEx || iid == IID_IOleInPlaceSiteWindowless) {
        if (activation_ == Activation::WindowlessCapable) *out = static_cast<IOleInPlaceSiteWindowless*>(this);
    } else {
        *out = HostInterface(iid);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) OleSite::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) OleSite::Release() { return InterlockedDecrement(&refs_); }

STDMETHODIMP OleSite::GetContainer(IOleContainer** out) {
    if (out) *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP OleSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = SiteWindow();
    return S_OK;
}

STDMETHODIMP OleSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT position,
                                       LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = SiteFrame();
        if (*frame) (*frame)->AddRef();
    }
    if (doc) *doc = nullptr;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = FrameWindow();
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    RECT area = SiteRect();
    if (position) *position = area;
    if (clip) *clip = area;
    return S_OK;
}

STDMETHODIMP OleSite::OnInPlaceActivateEx(BOOL* noRedraw, DWORD) {
    if (noRedraw) *noRedraw = FALSE;
    return S_OK;
}

STDMETHODIMP OleSite::GetDC(LPCRECT, DWORD, HDC* dc) {
    if (dc) *dc = nullptr;
    return S_FALSE;
}

}  // namespace vantor
