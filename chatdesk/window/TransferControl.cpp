#include "TransferControl.h"

#include "ControlEventSink.h"
#include "DebugOut.h"
#include "DisplayObjects.h"
#include "FileSendCtl.h"
#include "OleHost.h"
#include "Text.h"

namespace chatdesk {

namespace {

vantor::ComPtr<IDispatch> DispatchOf(IUnknown* object) {
    vantor::ComPtr<IDispatch> dispatch;
    if (object && FAILED(object->QueryInterface(DIID__DFileSendCtl, dispatch.put_void())))
        object->QueryInterface(IID_IDispatch, dispatch.put_void());
    return dispatch;
}

bool IsControlObject(const REOBJECT& entry) {
    CLSID clsid = entry.clsid;
    if (clsid == CLSID_NULL && entry.poleobj) entry.poleobj->GetUserClassID(&clsid);
    return clsid == CLSID_FileSendCtl;
}

}  // namespace

TransferControl::TransferControl(vantor::ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {
    if (dispatch_) dispatch_->QueryInterface(IID_IUnknown, identity_.put_void());
}

bool TransferControl::Is(IUnknown* other) const {
    if (!other || !identity_) return false;
    vantor::ComPtr<IUnknown> same;
    other->QueryInterface(IID_IUnknown, same.put_void());
    return same.get() == identity_.get();
}

bool TransferControl::Invoke(DISPID id, VARIANT* args, UINT count, VARIANT* result) const {
    if (!dispatch_) return false;
    DISPPARAMS params = {args, nullptr, count, 0};
    return SUCCEEDED(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                                       nullptr));
}

bool TransferControl::Answer(DISPID id) const {
    VARIANT result;
    VariantInit(&result);
    bool yes = Invoke(id, nullptr, 0, &result) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BOOL)) &&
               result.boolVal != VARIANT_FALSE;
    VariantClear(&result);
    return yes;
}

void TransferControl::Texts(DISPID id, const std::wstring& who, const std::wstring& file, const std::wstring& size,
                            const std::wstring& stamp) {
    VARIANT args[4];
    const std::wstring* texts[4] = {&stamp, &size, &file, &who};  // the last argument first
    for (int i = 0; i < 4; ++i) {
        VariantInit(&args[i]);
        args[i].vt = VT_BSTR;
        args[i].bstrVal = SysAllocString(texts[i]->c_str());
    }
    Invoke(id, args, 4, nullptr);
    for (VARIANT& arg : args) VariantClear(&arg);
}

void TransferControl::Progress(double percent) {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_R8;
    arg.dblVal = percent;
    Invoke(7, &arg, 1, nullptr);
}

TransferControl InsertTransferControl(HWND receiver, HWND display, IRichEditOle* ole, bool sending,
                                      const std::wstring& who, const std::wstring& file,
                                      const std::wstring& size, const std::wstring& stamp, SinkHold* events) {
    vantor::ComPtr<IOleClientSite> site;
    vantor::ComPtr<IStorage> storage;
    vantor::ComPtr<IOleObject> object;
    if (!ole || FAILED(MakeGlobalStorage(storage.put()))) {
        vantor::DebugLine(L"ChatDesk: no storage for a file-transfer control\n");
        return TransferControl();
    }
    if (FAILED(ole->GetClientSite(site.put())) ||
        FAILED(OleCreate(CLSID_FileSendCtl, IID_IOleObject, OLERENDER_DRAW, nullptr, site.get(), storage.get(),
                         object.put_void()))) {
        vantor::DebugLine(L"ChatDesk: the file-transfer control could not be made\n");
        return TransferControl();
    }
    TransferControl control(DispatchOf(object.get()));
    if (!control) {
        vantor::DebugLine(L"ChatDesk: the file-transfer control has no dispatch interface\n");
        object->Close(OLECLOSE_NOSAVE);
        return TransferControl();
    }
    if (sending)
        control.SetSending(who, file, size, stamp);
    else
        control.SetReceiving(who, file, size, stamp);
    SinkHold sink(ControlEventSink::Connect(receiver, control.Identity()));
    OleSetContainedObject(object.get(), TRUE);

    SendMessageW(display, EM_SETSEL, -1, -1);
    REOBJECT entry = {};
    entry.cbStruct = sizeof entry;
    entry.clsid = CLSID_FileSendCtl;
    entry.cp = REO_CP_SELECTION;
    entry.dvaspect = DVASPECT_CONTENT;
    entry.poleobj = object.get();
    entry.polesite = site.get();
    entry.pstg = storage.get();
    if (FAILED(ole->InsertObject(&entry))) {
        vantor::DebugLine(L"ChatDesk: the file-transfer control could not be inserted\n");
        object->Close(OLECLOSE_NOSAVE);
        return TransferControl();
    }
    // Active in place at its object, shown and ready for its buttons.
    RECT rect = {};
    LONG last = ole->GetObjectCount() - 1;
    if (!ObjectRect(display, ole, last, &rect)) GetClientRect(display, &rect);
    object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, display, &rect);
    object->DoVerb(OLEIVERB_SHOW, nullptr, site.get(), 0, display, &rect);
    object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site.get(), 0, display, &rect);
    SendMessageW(display, EM_SETSEL, -1, -1);
    SendMessageW(display, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\n"));
    SendMessageW(display, EM_SCROLLCARET, 0, 0);
    InvalidateRect(display, nullptr, TRUE);
    if (events) *events = std::move(sink);
    return control;
}

void CloseDisplayObjects(IRichEditOle* ole) {
    if (!ole) return;
    for (LONG i = ole->GetObjectCount() - 1; i >= 0; --i) {
        REOBJECT entry = {};
        entry.cbStruct = sizeof entry;
        if (FAILED(ole->GetObject(i, &entry, REO_GETOBJ_POLEOBJ)) || !entry.poleobj) continue;
        entry.poleobj->Close(OLECLOSE_NOSAVE);
        entry.poleobj->Release();
    }
}

std::vector<TransferControl> TransferControlsNewestFirst(IRichEditOle* ole) {
    std::vector<TransferControl> controls;
    if (!ole) return controls;
    for (LONG i = ole->GetObjectCount() - 1; i >= 0; --i) {
        REOBJECT entry = {};
        entry.cbStruct = sizeof entry;
        if (FAILED(ole->GetObject(i, &entry, REO_GETOBJ_POLEOBJ)) || !entry.poleobj) continue;
        if (IsControlObject(entry)) {
            TransferControl control(DispatchOf(entry.poleobj));
            if (control) controls.push_back(std::move(control));
        }
        entry.poleobj->Release();
    }
    return controls;
}

}  // namespace chatdesk
