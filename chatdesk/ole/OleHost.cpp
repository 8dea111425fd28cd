#include "OleHost.h"

namespace chatdesk {

HRESULT MakeGlobalStorage(IStorage** storage, ILockBytes** lockBytesOut) {
    if (!storage) return E_INVALIDARG;
    *storage = nullptr;
    ILockBytes* lockBytes = nullptr;
    HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &lockBytes);
    if (FAILED(hr)) return hr;
    hr = StgCreateDocfileOnILockBytes(lockBytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, storage);
    if (SUCCEEDED(hr) && lockBytesOut) {
        *lockBytesOut = lockBytes;
        return hr;
    }
    lockBytes->Release();
    return hr;
}

CLIPFORMAT HyperLinkFormat() {
    static CLIPFORMAT format =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"RichEdit.HyperLink.Window.Format"));
    return format;
}

}  // namespace chatdesk
