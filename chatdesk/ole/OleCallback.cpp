#include "OleCallback.h"

namespace chatdesk {

RichEditOleCallback::RichEditOleCallback(OleHost& host, IOleInPlaceFrame* frame) : host_(host), frame_(frame) {
    if (frame_) frame_->AddRef();
}

RichEditOleCallback::~RichEditOleCallback() {
    if (frame_) frame_->Release();
}

STDMETHODIMP RichEditOleCallback::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IRichEditOleCallback) {
        *out = static_cast<IRichEditOleCallback*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RichEditOleCallback::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) RichEditOleCallback::Release() {
    LONG count = InterlockedDecrement(&refs_);
    if (count == 0) delete this;
    return count;
}

STDMETHODIMP RichEditOleCallback::GetNewStorage(LPSTORAGE* storage) { return host_.NewStorage(storage); }

STDMETHODIMP RichEditOleCallback::GetInPlaceContext(LPOLEINPLACEFRAME* frame, LPOLEINPLACEUIWINDOW* document,
                                                    LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !document || !info) return E_INVALIDARG;
    *frame = frame_;
    *document = frame_;
    if (frame_) {
        frame_->AddRef();
        frame_->AddRef();
    }
    info->fMDIApp = FALSE;
    info->hwndFrame = host_.HostWindow();
    info->haccel = host_.Accelerators();
    info->cAccelEntries = host_.AcceleratorCount();
    return S_OK;
}

STDMETHODIMP RichEditOleCallback::GetClipboardData(CHARRANGE*, DWORD, LPDATAOBJECT* data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

}  // namespace chatdesk
