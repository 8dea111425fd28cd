// The control as an OLE object: its site, in-place activation, views, data and the
// small interfaces hosts ask for.
#include "Control.h"

#include "FileSendCtl.h"
#include "Module.h"

namespace filesend {

namespace {

const DWORD kMiscStatus = OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT |
                          OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
static_assert(kMiscStatus == 0x20191, "the registered misc status");

template <typename T>
void Hold(T*& slot, T* value) {
    if (value) value->AddRef();
    T* old = slot;
    slot = value;
    if (old) old->Release();
}

}  // namespace

//--- IOleObject

STDMETHODIMP FileSendControl::SetClientSite(IOleClientSite* site) {
    Hold(clientSite_, site);
    if (site) closed_ = false;
    return S_OK;
}

STDMETHODIMP FileSendControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = clientSite_;
    if (clientSite_) clientSite_->AddRef();
    return S_OK;
}

STDMETHODIMP FileSendControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

// The end of the control's life in its host: the window goes, no event fires any more,
// and the site is let go so neither side keeps the other alive.
STDMETHODIMP FileSendControl::Close(DWORD) {
    InPlaceDeactivate();
    closed_ = true;
    if (oleAdvise_) oleAdvise_->SendOnClose();
    Hold<IOleClientSite>(clientSite_, nullptr);
    return S_OK;
}

STDMETHODIMP FileSendControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FileSendControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FileSendControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT posRect) {
    if (site && !clientSite_) SetClientSite(site);
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(true, parent, posRect);
    case OLEIVERB_INPLACEACTIVATE:
        return ActivateInPlace(false, parent, posRect);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (window_) ShowWindow(window_, SW_HIDE);
        return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
        return E_NOTIMPL;
    default:
        return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

// Negotiates with the site as a document expects; a site that gives no window context
// (Wine's RichEdit answers E_NOTIMPL) leaves the parent window and rectangle of DoVerb.
HRESULT FileSendControl::ActivateInPlace(bool uiActivate, HWND parentHint, LPCRECT posHint) {
    if (activating_) return S_OK;
    activating_ = true;
    AddRef();
    HRESULT hr = S_OK;
    if (!inPlaceActive_) {
        HWND parent = nullptr;
        RECT pos = {0, 0, kControlWidth, kControlHeight};
        IOleInPlaceSite* site = nullptr;
        if (clientSite_)
            clientSite_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site));
        if (site && site->CanInPlaceActivate() == S_OK) {
            site->OnInPlaceActivate();
            Hold(inPlaceSite_, site);
            IOleInPlaceFrame* frame = nullptr;
            IOleInPlaceUIWindow* document = nullptr;
            RECT clip;
            OLEINPLACEFRAMEINFO info = {sizeof(info)};
            if (SUCCEEDED(site->GetWindowContext(&frame, &document, &pos, &clip, &info))) {
                Hold(frame_, frame);
                Hold(document_, document);
                site->GetWindow(&parent);
            }
            if (frame) frame->Release();
            if (document) document->Release();
        }
        if (site) site->Release();
        if (!parent && parentHint && posHint) {
            parent = parentHint;
            pos = *posHint;
        }
        if (parent && CreateControlWindow(parent, pos)) {
            inPlaceActive_ = true;
        } else {
            hr = E_FAIL;
            if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
            Hold<IOleInPlaceSite>(inPlaceSite_, nullptr);
            Hold<IOleInPlaceFrame>(frame_, nullptr);
            Hold<IOleInPlaceUIWindow>(document_, nullptr);
        }
    } else if (posHint && !frame_ && window_) {
        MoveWindow(window_, posHint->left, posHint->top, posHint->right - posHint->left,
                   posHint->bottom - posHint->top, TRUE);
    }
    if (SUCCEEDED(hr) && window_) ShowWindow(window_, SW_SHOW);
    if (SUCCEEDED(hr) && uiActivate && !uiActive_ && window_) {
        uiActive_ = true;
        if (inPlaceSite_) inPlaceSite_->OnUIActivate();
        auto active = static_cast<IOleInPlaceActiveObject*>(this);
        if (frame_) frame_->SetActiveObject(active, L"FileSendCtl");
        if (document_) document_->SetActiveObject(active, L"FileSendCtl");
        if (GetFocus() != window_) SetFocus(window_);
    }
    activating_ = false;
    Release();
    return hr;
}

STDMETHODIMP FileSendControl::EnumVerbs(IEnumOLEVERB** verbs) { return OleRegEnumVerbs(CLSID_FileSendCtl, verbs); }
STDMETHODIMP FileSendControl::Update() { return S_OK; }
STDMETHODIMP FileSendControl::IsUpToDate() { return S_OK; }

STDMETHODIMP FileSendControl::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_FileSendCtl;
    return S_OK;
}

STDMETHODIMP FileSendControl::GetUserType(DWORD form, LPOLESTR* type) {
    return OleRegGetUserType(CLSID_FileSendCtl, form, type);
}

// The size is fixed: a request to change it is answered with that same size.
STDMETHODIMP FileSendControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    size->cx = kExtentX;
    size->cy = kExtentY;
    return S_OK;
}

STDMETHODIMP FileSendControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    size->cx = kExtentX;
    size->cy = kExtentY;
    return S_OK;
}

STDMETHODIMP FileSendControl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!oleAdvise_ && FAILED(CreateOleAdviseHolder(&oleAdvise_))) return E_OUTOFMEMORY;
    return oleAdvise_->Advise(sink, connection);
}

STDMETHODIMP FileSendControl::Unadvise(DWORD connection) {
    return oleAdvise_ ? oleAdvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP FileSendControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (!advise) return E_POINTER;
    *advise = nullptr;
    return oleAdvise_ ? oleAdvise_->EnumAdvise(advise) : S_OK;
}

STDMETHODIMP FileSendControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

STDMETHODIMP FileSendControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

//--- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP FileSendControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP FileSendControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::InPlaceDeactivate() {
    UIDeactivate();
    if (!inPlaceActive_) return S_OK;
    inPlaceActive_ = false;
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    IOleInPlaceSite* site = inPlaceSite_;
    inPlaceSite_ = nullptr;
    Hold<IOleInPlaceFrame>(frame_, nullptr);
    Hold<IOleInPlaceUIWindow>(document_, nullptr);
    if (site) {
        site->OnInPlaceDeactivate();
        site->Release();
    }
    return S_OK;
}

STDMETHODIMP FileSendControl::UIDeactivate() {
    if (!uiActive_) return S_OK;
    uiActive_ = false;
    if (frame_) frame_->SetActiveObject(nullptr, nullptr);
    if (document_) document_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP FileSendControl::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos) return E_POINTER;
    if (window_) MoveWindow(window_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    return S_OK;
}

STDMETHODIMP FileSendControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP FileSendControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP FileSendControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP FileSendControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP FileSendControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP FileSendControl::EnableModeless(BOOL) { return S_OK; }

//--- IOleControl: no mnemonics, no ambient properties read.

STDMETHODIMP FileSendControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP FileSendControl::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP FileSendControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP FileSendControl::FreezeEvents(BOOL) { return S_OK; }

//--- IViewObject2

STDMETHODIMP FileSendControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                                   LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!drawDc || !bounds) return E_INVALIDARG;
    RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    PaintInto(drawDc, rect);
    return S_OK;
}

STDMETHODIMP FileSendControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP FileSendControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP FileSendControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    Hold(viewSink_, sink);
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
}

STDMETHODIMP FileSendControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = viewAspects_;
    if (flags) *flags = viewFlags_;
    if (sink) {
        *sink = viewSink_;
        if (viewSink_) viewSink_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP FileSendControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

//--- IDataObject: pictures of the control, for hosts that draw embedded objects from data.

namespace {

bool IsBitmapFormat(const FORMATETC* f) { return f->cfFormat == CF_BITMAP && (f->tymed & TYMED_GDI); }
bool IsMetafileFormat(const FORMATETC* f) { return f->cfFormat == CF_ENHMETAFILE && (f->tymed & TYMED_ENHMF); }

}  // namespace

// A fresh picture per call: the caller owns and deletes it.
STDMETHODIMP FileSendControl::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_POINTER;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    medium->pUnkForRelease = nullptr;
    if (IsBitmapFormat(format)) {
        medium->hBitmap = RenderBitmap();
        medium->tymed = TYMED_GDI;
        return medium->hBitmap ? S_OK : E_OUTOFMEMORY;
    }
    if (IsMetafileFormat(format)) {
        medium->hEnhMetaFile = RenderMetafile();
        medium->tymed = TYMED_ENHMF;
        return medium->hEnhMetaFile ? S_OK : E_OUTOFMEMORY;
    }
    medium->tymed = TYMED_NULL;
    return DV_E_FORMATETC;
}

STDMETHODIMP FileSendControl::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::QueryGetData(FORMATETC* format) {
    if (!format) return E_POINTER;
    if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return IsBitmapFormat(format) || IsMetafileFormat(format) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP FileSendControl::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
    if (!in || !out) return E_POINTER;
    *out = *in;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP FileSendControl::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

STDMETHODIMP FileSendControl::EnumFormatEtc(DWORD, IEnumFORMATETC** formats) {
    if (formats) *formats = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FileSendControl::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* connection) {
    if (!dataAdvise_ && FAILED(CreateDataAdviseHolder(&dataAdvise_))) return E_OUTOFMEMORY;
    return dataAdvise_->Advise(static_cast<IDataObject*>(this), format, flags, sink, connection);
}

STDMETHODIMP FileSendControl::DUnadvise(DWORD connection) {
    return dataAdvise_ ? dataAdvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP FileSendControl::EnumDAdvise(IEnumSTATDATA** advise) {
    if (!advise) return E_POINTER;
    *advise = nullptr;
    return dataAdvise_ ? dataAdvise_->EnumAdvise(advise) : OLE_E_ADVISENOTSUPPORTED;
}

//--- IPersistStorage

STDMETHODIMP FileSendControl::GetClassID(CLSID* clsid) { return GetUserClassID(clsid); }
STDMETHODIMP FileSendControl::IsDirty() { return S_FALSE; }
STDMETHODIMP FileSendControl::InitNew(IStorage*) { return S_OK; }
STDMETHODIMP FileSendControl::Load(IStorage*) { return S_OK; }
STDMETHODIMP FileSendControl::Save(IStorage*, BOOL) { return S_OK; }
STDMETHODIMP FileSendControl::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP FileSendControl::HandsOffStorage() { return S_OK; }

//--- IProvideClassInfo2, IConnectionPointContainer, ISpecifyPropertyPages

STDMETHODIMP FileSendControl::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = TypeInfoOf(CLSID_FileSendCtl);
    return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

STDMETHODIMP FileSendControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID__DFileSendCtlEvents;
    return S_OK;
}

STDMETHODIMP FileSendControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points) *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP FileSendControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (riid != DIID__DFileSendCtlEvents) return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
}

STDMETHODIMP FileSendControl::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) {
        pages->cElems = 0;
        return E_OUTOFMEMORY;
    }
    pages->cElems = 1;
    pages->pElems[0] = CLSID_FileSendCtlPropPage;
    return S_OK;
}

}  // namespace filesend
