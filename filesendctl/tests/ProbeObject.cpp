#include "ProbeObject.h"

namespace fsctest {

namespace {

// {5C0D3A41-2B7E-4F19-9E61-7D2A8B4C0F11}: a class id no registry knows.
const CLSID kProbeClass = {0x5C0D3A41, 0x2B7E, 0x4F19, {0x9E, 0x61, 0x7D, 0x2A, 0x8B, 0x4C, 0x0F, 0x11}};

template <typename T>
void Keep(T*& slot, T* value) {
    if (value) value->AddRef();
    if (slot) slot->Release();
    slot = value;
}

}  // namespace

ProbeObject::~ProbeObject() {
    Keep<IAdviseSink>(viewSink, nullptr);
    Keep<IAdviseSink>(oleSink, nullptr);
    Keep<IOleClientSite>(site, nullptr);
}

STDMETHODIMP ProbeObject::QueryInterface(REFIID riid, void** out) {
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleObject) *out = static_cast<IOleObject*>(this);
    else if (riid == IID_IDataObject) *out = static_cast<IDataObject*>(this);
    else if (riid == IID_IViewObject || riid == IID_IViewObject2) {
        ++viewQueries;
        *out = static_cast<IViewObject2*>(this);
    }
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP ProbeObject::SetClientSite(IOleClientSite* s) {
    Keep(site, s);
    return S_OK;
}

STDMETHODIMP ProbeObject::GetClientSite(IOleClientSite** s) {
    *s = site;
    if (site) site->AddRef();
    return S_OK;
}

STDMETHODIMP ProbeObject::GetUserClassID(CLSID* clsid) {
    *clsid = kProbeClass;
    return S_OK;
}

STDMETHODIMP ProbeObject::GetExtent(DWORD, SIZEL* size) {
    size->cx = 6000;
    size->cy = 1700;
    return S_OK;
}

STDMETHODIMP ProbeObject::Advise(IAdviseSink* sink, DWORD* connection) {
    Keep(oleSink, sink);
    *connection = 1;
    return S_OK;
}

STDMETHODIMP ProbeObject::GetMiscStatus(DWORD, DWORD* status) {
    *status = OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

STDMETHODIMP ProbeObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format->cfFormat == CF_BITMAP) {
        ++bitmapRequests;
        if (!offerBitmap_) return DV_E_FORMATETC;
        HDC screen = GetDC(nullptr);
        lastBitmap = CreateCompatibleBitmap(screen, 227, 64);
        ReleaseDC(nullptr, screen);
        medium->tymed = TYMED_GDI;
        medium->hBitmap = lastBitmap;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    if (format->cfFormat == CF_ENHMETAFILE) {
        ++metafileRequests;
        RECT frame = {0, 0, 6000, 1700};
        HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
        Rectangle(dc, 0, 0, 227, 64);
        medium->tymed = TYMED_ENHMF;
        medium->hEnhMetaFile = CloseEnhMetaFile(dc);
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    return DV_E_FORMATETC;
}

STDMETHODIMP ProbeObject::Draw(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, HDC, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    ++viewDraws;
    if (bounds) lastBounds = *bounds;
    return S_OK;
}

STDMETHODIMP ProbeObject::SetAdvise(DWORD, DWORD, IAdviseSink* sink) {
    Keep(viewSink, sink);
    return S_OK;
}

}  // namespace fsctest
