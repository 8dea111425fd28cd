#include "TestDocument.h"

#include <ocidl.h>

#include "ComObject.h"
#include "FileSendCtl.h"

namespace fsctest {

//--- EventSink

bool EventSink::Connect(IUnknown* control) {
    ComPtr<IConnectionPointContainer> container;
    if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) return false;
    if (FAILED(container->FindConnectionPoint(DIID__DFileSendCtlEvents, point_.put()))) return false;
    return SUCCEEDED(point_->Advise(static_cast<IDispatch*>(this), &cookie_));
}

void EventSink::Disconnect() {
    if (point_ && cookie_) point_->Unadvise(cookie_);
    cookie_ = 0;
    point_ = ComPtr<IConnectionPoint>();
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** out) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DFileSendCtlEvents) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

// Sinks live on the test's stack: the count only has to stay balanced.
STDMETHODIMP_(ULONG) EventSink::Release() { return InterlockedDecrement(&refs_); }
STDMETHODIMP EventSink::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    *info = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    SeenEvent event{id, {}, {}};
    for (UINT i = 0; params && i < params->cArgs; ++i) {
        const VARIANT& v = params->rgvarg[i];
        event.types.push_back(v.vt);
        event.args.push_back(v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"");
    }
    seen.push_back(event);
    if (onEvent) onEvent(id);
    return S_OK;
}

//--- TestDocument

namespace {

const wchar_t kFrameClass[] = L"FileSendCtlTestDocument";

class Callback final
    : public vantor::ComObject<IRichEditOleCallback> {
public:
    Callback() : ComObject(1) {}
    STDMETHODIMP GetNewStorage(LPSTORAGE* storage) override {
        ComPtr<ILockBytes> bytes;
        if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()))) return E_OUTOFMEMORY;
        return StgCreateDocfileOnILockBytes(bytes.get(), STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0,
                                            storage);
    }
    STDMETHODIMP GetInPlaceContext(LPOLEINPLACEFRAME*, LPOLEINPLACEUIWINDOW*, LPOLEINPLACEFRAMEINFO) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP ShowContainerUI(BOOL) override { return S_OK; }
    STDMETHODIMP QueryInsertObject(LPCLSID, LPSTORAGE, LONG) override { return S_OK; }
    STDMETHODIMP DeleteObject(LPOLEOBJECT) override { return S_OK; }
    STDMETHODIMP QueryAcceptData(LPDATAOBJECT, CLIPFORMAT*, DWORD, BOOL, HGLOBAL) override { return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(CHARRANGE*, DWORD, LPDATAOBJECT* data) override {
        *data = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDragDropEffect(BOOL, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetContextMenu(WORD, LPOLEOBJECT, CHARRANGE*, HMENU*) override { return S_OK; }

private:
    bool Answers(REFIID iid) const override { return iid == IID_IRichEditOleCallback; }
};

}  // namespace

TestDocument::TestDocument() {
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kFrameClass;
    RegisterClassExW(&wc);
    richEdit_ = LoadLibraryW(L"RICHED32.DLL");
}

TestDocument::~TestDocument() {
    // The RichEdit library stays loaded: controls may outlive the document for a while
    // and still hold the sites it made.
    Close();
}

LRESULT CALLBACK TestDocument::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) {
        HWND edit = GetWindow(window, GW_CHILD);
        if (edit) MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool TestDocument::Open(int width, int height) {
    RECT rect = {0, 0, width, height};
    AdjustWindowRect(&rect, WS_POPUP | WS_BORDER, FALSE);
    // Shown without activation: under Wine an active top-level window takes seconds to go.
    frame_ = CreateWindowExW(WS_EX_NOACTIVATE, kFrameClass, L"文件传输", WS_POPUP | WS_BORDER, 20, 20,
                             rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (!frame_) return false;
    ShowWindow(frame_, SW_SHOWNOACTIVATE);
    edit_ = CreateWindowExW(0, L"RichEdit", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, width,
                            height, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!edit_) return false;
    Callback* callback = new Callback();
    SendMessageW(edit_, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(static_cast<IRichEditOleCallback*>(callback)));
    callback->Release();
    IRichEditOle* ole = nullptr;
    SendMessageW(edit_, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole));
    ole_.attach(ole);
    CHARFORMATW format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET;
    format.yHeight = 200;
    format.bCharSet = GB2312_CHARSET;
    lstrcpyW(format.szFaceName, L"宋体");
    SendMessageW(edit_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    return ole_.get() != nullptr;
}

void TestDocument::Close() {
    ole_ = ComPtr<IRichEditOle>();
    if (frame_ && IsWindow(frame_)) {
        DestroyWindow(frame_);
    }
    frame_ = nullptr;
    edit_ = nullptr;
}

void TestDocument::AppendText(const std::wstring& text) {
    LONG end = GetWindowTextLengthW(edit_);
    SendMessageW(edit_, EM_SETSEL, end, end);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

ComPtr<IOleObject> TestDocument::InsertControl() {
    ComPtr<IOleObject> object;
    ComPtr<ILockBytes> bytes;
    ComPtr<IStorage> storage;
    ComPtr<IOleClientSite> site;
    if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()))) return object;
    if (FAILED(StgCreateDocfileOnILockBytes(bytes.get(), STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0,
                                            storage.put())))
        return object;
    if (FAILED(ole_->GetClientSite(site.put()))) return object;
    if (FAILED(OleCreate(CLSID_FileSendCtl, IID_IOleObject, OLERENDER_DRAW, nullptr, site.get(), storage.get(),
                         object.put_void())))
        return ComPtr<IOleObject>();
    OleSetContainedObject(object.get(), TRUE);
    LONG end = GetWindowTextLengthW(edit_);
    SendMessageW(edit_, EM_SETSEL, end, end);
    REOBJECT reobject = {};
    reobject.cbStruct = sizeof(reobject);
    reobject.cp = REO_CP_SELECTION;
    reobject.clsid = CLSID_FileSendCtl;
    reobject.poleobj = object.get();
    reobject.pstg = storage.get();
    reobject.polesite = site.get();
    reobject.dvaspect = DVASPECT_CONTENT;
    if (FAILED(ole_->InsertObject(&reobject))) return ComPtr<IOleObject>();
    lastCp_ = end;
    return object;
}

bool TestDocument::InsertObject(IOleObject* object, REFCLSID clsid) {
    ComPtr<IOleClientSite> site;
    if (FAILED(ole_->GetClientSite(site.put()))) return false;
    object->SetClientSite(site.get());
    LONG end = GetWindowTextLengthW(edit_);
    SendMessageW(edit_, EM_SETSEL, end, end);
    REOBJECT reobject = {};
    reobject.cbStruct = sizeof(reobject);
    reobject.cp = REO_CP_SELECTION;
    reobject.clsid = clsid;
    reobject.poleobj = object;
    reobject.polesite = site.get();
    reobject.dvaspect = DVASPECT_CONTENT;
    lastCp_ = end;
    return SUCCEEDED(ole_->InsertObject(&reobject));
}

HRESULT TestDocument::Activate(IOleObject* object, LONG cp, LONG verb) {
    POINTL at = {0, 0};
    SendMessageW(edit_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), cp);
    SIZEL extent = {0, 0};
    object->GetExtent(DVASPECT_CONTENT, &extent);
    HDC dc = GetDC(edit_);
    int width = MulDiv(extent.cx, GetDeviceCaps(dc, LOGPIXELSX), 2540);
    int height = MulDiv(extent.cy, GetDeviceCaps(dc, LOGPIXELSY), 2540);
    ReleaseDC(edit_, dc);
    RECT rect = {at.x, at.y, at.x + width, at.y + height};
    ComPtr<IOleClientSite> site;
    ole_->GetClientSite(site.put());
    return object->DoVerb(verb, nullptr, site.get(), 0, edit_, &rect);
}

//--- Calls

HRESULT Call(IDispatch* control, DISPID id, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
    for (VARIANT& v : reversed) VariantClear(&v);
    return hr;
}

HRESULT CallByName(IDispatch* control, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        for (VARIANT& v : args) VariantClear(&v);
        return hr;
    }
    return Call(control, id, std::move(args), result);
}

VARIANT Text(const wchar_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Number(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

bool BoolCall(IDispatch* control, DISPID id) {
    VARIANT result;
    VariantInit(&result);
    if (FAILED(Call(control, id, {}, &result))) return false;
    return result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE;
}

std::wstring TextCall(IDispatch* control, DISPID id) {
    VARIANT result;
    VariantInit(&result);
    if (FAILED(Call(control, id, {}, &result)) || result.vt != VT_BSTR) return L"<failed>";
    std::wstring text = result.bstrVal ? result.bstrVal : L"";
    VariantClear(&result);
    return text;
}

HWND ControlWindow(IUnknown* control) {
    ComPtr<IOleInPlaceObject> inPlace;
    if (FAILED(control->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void()))) return nullptr;
    HWND window = nullptr;
    inPlace->GetWindow(&window);
    return window;
}

}  // namespace fsctest
