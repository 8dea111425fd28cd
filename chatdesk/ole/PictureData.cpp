#include "PictureData.h"

#include "OleHost.h"

namespace chatdesk {

PictureDataObject::~PictureDataObject() {
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
}

STDMETHODIMP PictureDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL) {
    if (!format || !medium) return E_INVALIDARG;
    if (medium_.tymed != TYMED_NULL) ReleaseStgMedium(&medium_);
    format_ = *format;
    medium_ = *medium;
    return S_OK;
}

STDMETHODIMP PictureDataObject::GetData(FORMATETC*, STGMEDIUM* medium) {
    if (!medium) return E_INVALIDARG;
    HANDLE copy = nullptr;
    switch (medium_.tymed) {
    case TYMED_GDI:
        copy = OleDuplicateData(medium_.hBitmap, CF_BITMAP, 0);
        if (!copy) return E_HANDLE;
        medium->tymed = TYMED_GDI;
        medium->hBitmap = static_cast<HBITMAP>(copy);
        break;
    case TYMED_HGLOBAL:
        copy = OleDuplicateData(medium_.hGlobal, HyperLinkFormat(), 0);
        if (!copy) return E_HANDLE;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        break;
    default:
        return E_HANDLE;
    }
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

namespace {

// Releases what it holds at the end of the insertion, whatever happened.
struct InsertParts {
    IDataObject* data = nullptr;
    IOleClientSite* site = nullptr;
    ILockBytes* lockBytes = nullptr;
    IStorage* storage = nullptr;
    IOleObject* object = nullptr;
    ~InsertParts() {
        if (object) object->Release();
        if (site) site->Release();
        if (storage) storage->Release();
        if (lockBytes) lockBytes->Release();
        if (data) data->Release();
    }
};

}  // namespace

HRESULT InsertPicture(IRichEditOle* ole, HBITMAP bitmap, DWORD user) {
    if (!ole || !bitmap) return E_INVALIDARG;
    InsertParts parts;
    auto* picture = new PictureDataObject;
    picture->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&parts.data));

    HBITMAP copy = static_cast<HBITMAP>(OleDuplicateData(bitmap, CF_BITMAP, 0));
    if (!copy) return E_HANDLE;
    FORMATETC format = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_GDI;
    medium.hBitmap = copy;
    medium.pUnkForRelease = nullptr;
    parts.data->SetData(&format, &medium, TRUE);

    HRESULT hr = ole->GetClientSite(&parts.site);
    if (FAILED(hr)) return hr;
    hr = MakeGlobalStorage(&parts.storage, &parts.lockBytes);
    if (FAILED(hr)) return hr;
    hr = OleCreateStaticFromData(parts.data, IID_IOleObject, OLERENDER_FORMAT, &format, parts.site,
                                 parts.storage, reinterpret_cast<void**>(&parts.object));
    if (FAILED(hr)) return hr;
    OleSetContainedObject(parts.object, TRUE);

    REOBJECT entry = {};
    entry.cbStruct = sizeof entry;
    parts.object->GetUserClassID(&entry.clsid);
    entry.cp = REO_CP_SELECTION;
    entry.dvaspect = DVASPECT_CONTENT;
    entry.poleobj = parts.object;
    entry.polesite = parts.site;
    entry.pstg = parts.storage;
    entry.dwUser = user;
    return ole->InsertObject(&entry);
}

}  // namespace chatdesk
