#include "OleCallback.h"

namespace chatdesk {

RichEditOleCallback::RichEditOleCallback(OleHost& host, IOleInPlaceFrame* frame) : host_(host), frame_(frame) {
    if (frame_) frame_->AddRef();
}

RichEditOleCallback::~RichEditOleCallback() {
    if (frame_) frame_->Release();
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
