#include "DragObjects.h"

#include <new>

#include "DropRules.h"

namespace rostview {

namespace {
template <typename Interface>
HRESULT Query(Interface* self, REFIID riid, REFIID own, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == own) {
        *out = self;
        self->AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

bool IsOurRequest(const FORMATETC* format, CLIPFORMAT own) {
    return format && format->cfFormat == own && format->dwAspect == DVASPECT_CONTENT && (format->tymed & TYMED_HGLOBAL);
}

DVTARGETDEVICE* CopyDevice(const DVTARGETDEVICE* device) {
    if (!device) return nullptr;
    auto* copy = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(device->tdSize));
    if (copy) CopyMemory(copy, device, device->tdSize);
    return copy;
}
}  // namespace

HGLOBAL MakePayload(HTREEITEM item) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, sizeof item);
    if (!block) return nullptr;
    if (void* p = GlobalLock(block)) {
        CopyMemory(p, &item, sizeof item);
        GlobalUnlock(block);
    }
    return block;
}

HTREEITEM ReadPayload(HGLOBAL block) {
    if (!block || GlobalSize(block) < sizeof(HTREEITEM)) return nullptr;
    HTREEITEM item = nullptr;
    if (void* p = GlobalLock(block)) {
        CopyMemory(&item, p, sizeof item);
        GlobalUnlock(block);
    }
    return item;
}

// --- NodeDataObject

STDMETHODIMP NodeDataObject::QueryInterface(REFIID riid, void** out) { return Query(this, riid, IID_IDataObject, out); }
STDMETHODIMP_(ULONG) NodeDataObject::AddRef() { return InterlockedIncrement(&count_); }
STDMETHODIMP_(ULONG) NodeDataObject::Release() {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP NodeDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!medium) return E_INVALIDARG;
    ZeroMemory(medium, sizeof *medium);
    if (!IsOurRequest(format, format_)) return S_OK;
    HGLOBAL block = MakePayload(item_);
    if (!block) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
}

STDMETHODIMP NodeDataObject::QueryGetData(FORMATETC* format) {
    return IsOurRequest(format, format_) ? S_OK : E_NOTIMPL;
}

STDMETHODIMP NodeDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP NodeDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (direction == DATADIR_SET) return E_NOTIMPL;
    if (direction != DATADIR_GET) return E_INVALIDARG;
    FORMATETC format = {format_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    auto* enumerator = new (std::nothrow) FormatEnumerator(&format, 1);
    if (!enumerator) return E_OUTOFMEMORY;
    *out = enumerator;
    return S_OK;
}

// --- FormatEnumerator

FormatEnumerator::FormatEnumerator(const FORMATETC* formats, size_t count, size_t position)
    : formats_(formats, formats + count), position_(position) {
    for (FORMATETC& format : formats_) format.ptd = CopyDevice(format.ptd);
}

FormatEnumerator::~FormatEnumerator() {
    for (FORMATETC& format : formats_) CoTaskMemFree(format.ptd);
}

STDMETHODIMP FormatEnumerator::QueryInterface(REFIID riid, void** out) {
    return Query(this, riid, IID_IEnumFORMATETC, out);
}
STDMETHODIMP_(ULONG) FormatEnumerator::AddRef() { return InterlockedIncrement(&count_); }
STDMETHODIMP_(ULONG) FormatEnumerator::Release() {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP FormatEnumerator::Next(ULONG count, FORMATETC* out, ULONG* fetched) {
    if (!out) return E_INVALIDARG;
    ULONG copied = 0;
    while (copied < count && position_ < formats_.size()) {
        out[copied] = formats_[position_];
        out[copied].ptd = CopyDevice(formats_[position_].ptd);
        ++copied;
        ++position_;
    }
    if (fetched) *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP FormatEnumerator::Skip(ULONG count) {
    size_t left = formats_.size() - position_;
    if (count > left) {
        position_ = formats_.size();
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Clone(IEnumFORMATETC** out) {
    if (!out) return E_INVALIDARG;
    auto* copy = new (std::nothrow) FormatEnumerator(formats_.data(), formats_.size(), position_);
    *out = copy;
    return copy ? S_OK : E_OUTOFMEMORY;
}

// --- NodeDropSource

STDMETHODIMP NodeDropSource::QueryInterface(REFIID riid, void** out) { return Query(this, riid, IID_IDropSource, out); }
STDMETHODIMP_(ULONG) NodeDropSource::AddRef() { return InterlockedIncrement(&count_); }
STDMETHODIMP_(ULONG) NodeDropSource::Release() {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP NodeDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
    if (escape) return DRAGDROP_S_CANCEL;
    if (!(keys & MK_LBUTTON)) return DRAGDROP_S_DROP;
    return S_OK;
}

// --- NodeDropTarget

STDMETHODIMP NodeDropTarget::QueryInterface(REFIID riid, void** out) { return Query(this, riid, IID_IDropTarget, out); }
STDMETHODIMP_(ULONG) NodeDropTarget::AddRef() { return InterlockedIncrement(&count_); }
STDMETHODIMP_(ULONG) NodeDropTarget::Release() {
    LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete this;
    return left;
}

void NodeDropTarget::Forget() {
    format_ = 0;
    if (block_) GlobalFree(block_);
    block_ = nullptr;
}

HTREEITEM NodeDropTarget::Fetch(IDataObject* data, HGLOBAL* keep) {
    FORMATETC format = {format_, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!data || FAILED(data->GetData(&format, &medium))) return nullptr;
    HTREEITEM item = nullptr;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        item = ReadPayload(medium.hGlobal);
        if (keep && !medium.pUnkForRelease) {
            *keep = medium.hGlobal;
            return item;
        }
    }
    ReleaseStgMedium(&medium);
    return item;
}

STDMETHODIMP NodeDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    Forget();
    DWORD allowed = *effect;
    format_ = owner_.OnDragEnter(data, keys, point.x, point.y, allowed);
    if (!format_) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    Fetch(data, &block_);
    *effect = EffectFromKeys(keys, allowed);
    return S_OK;
}

STDMETHODIMP NodeDropTarget::DragOver(DWORD keys, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    if (!format_ || !block_) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    DWORD chosen = EffectFromKeys(keys, *effect);
    DWORD decided = DROPEFFECT_NONE;
    owner_.OnDragOver(ReadPayload(block_), point.x, point.y, &decided);
    // The keys can only take the pane's move away.
    *effect = chosen == DROPEFFECT_MOVE ? decided : DROPEFFECT_NONE;
    return S_OK;
}

STDMETHODIMP NodeDropTarget::DragLeave() {
    Forget();
    owner_.OnDragLeave();
    return S_OK;
}

STDMETHODIMP NodeDropTarget::Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    CLIPFORMAT format = format_;
    DWORD chosen = format ? EffectFromKeys(keys, *effect) : DROPEFFECT_NONE;
    *effect = DROPEFFECT_NONE;
    if (chosen == DROPEFFECT_NONE) {
        Forget();
        owner_.OnDragLeave();
        return S_OK;
    }
    HTREEITEM item = Fetch(data, nullptr);
    Forget();
    DWORD out = DROPEFFECT_NONE;
    owner_.OnDrop(item, format, point.x, point.y, &out);
    *effect = DROPEFFECT_NONE;
    return S_OK;
}

}  // namespace rostview
