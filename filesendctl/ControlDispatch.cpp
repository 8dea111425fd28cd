// _DFileSendCtl through IDispatch: names without regard to case, arguments in DISPPARAMS
// order (the last one first), texts as BSTR or BSTR by reference.
#include "Control.h"

#include <cwchar>

#include "FileSendCtl.h"
#include "Module.h"

namespace filesend {

namespace {

struct Method {
    const wchar_t* name;
    DISPID id;
    UINT minArgs;
    UINT maxArgs;
};

const Method kMethods[] = {
    {L"SetTransFile", DISPID_FSC_SET_TRANS_FILE, 3, 4},
    {L"SetAcceptFile", DISPID_FSC_SET_ACCEPT_FILE, 3, 4},
    {L"CancelTransmitFile", DISPID_FSC_CANCEL_TRANSMIT_FILE, 0, 0},
    {L"RejectTransmitFile", DISPID_FSC_REJECT_TRANSMIT_FILE, 0, 0},
    {L"GetTransmitFileName", DISPID_FSC_GET_TRANSMIT_FILE_NAME, 0, 0},
    {L"IsTransmitFile", DISPID_FSC_IS_TRANSMIT_FILE, 1, 1},
    {L"SetTransmitProgress", DISPID_FSC_SET_TRANSMIT_PROGRESS, 1, 1},
    {L"TransmitComplete", DISPID_FSC_TRANSMIT_COMPLETE, 0, 0},
    {L"IsInTransfering", DISPID_FSC_IS_IN_TRANSFERING, 0, 0},
    {L"IsSendWaiting", DISPID_FSC_IS_SEND_WAITING, 0, 0},
    {L"TransmitFailed", DISPID_FSC_TRANSMIT_FAILED, 0, 0},
    {L"IsRequestWaiting", DISPID_FSC_IS_REQUEST_WAITING, 0, 0},
};

const Method* MethodOf(DISPID id) {
    for (const Method& m : kMethods)
        if (m.id == id) return &m;
    return nullptr;
}

// One argument as a text; `present` is false for a null text or an omitted argument.
HRESULT TextArg(const VARIANT& arg, std::wstring* text, bool* present) {
    *present = true;
    if (arg.vt == VT_BSTR) {
        *present = arg.bstrVal != nullptr;
        text->assign(arg.bstrVal ? arg.bstrVal : L"", arg.bstrVal ? SysStringLen(arg.bstrVal) : 0);
        return S_OK;
    }
    if (arg.vt == (VT_BSTR | VT_BYREF)) {
        BSTR value = arg.pbstrVal ? *arg.pbstrVal : nullptr;
        *present = value != nullptr;
        text->assign(value ? value : L"", value ? SysStringLen(value) : 0);
        return S_OK;
    }
    if (arg.vt == VT_EMPTY || arg.vt == VT_NULL || (arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND)) {
        *present = false;
        text->clear();
        return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&arg), 0, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    text->assign(converted.bstrVal ? converted.bstrVal : L"", converted.bstrVal ? SysStringLen(converted.bstrVal) : 0);
    VariantClear(&converted);
    return S_OK;
}

HRESULT NumberArg(const VARIANT& arg, double* value) {
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&arg), 0, VT_R8))) return DISP_E_TYPEMISMATCH;
    *value = converted.dblVal;
    return S_OK;
}

void SetBool(VARIANT* result, bool value) {
    if (!result) return;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

STDMETHODIMP FileSendControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

ITypeInfo* FileSendControl::TypeInfoOf(REFGUID guid) {
    if (!typeLib_) {
        wchar_t path[MAX_PATH];
        if (!GetModuleFileNameW(Module(), path, MAX_PATH)) return nullptr;
        ITypeLib* lib = nullptr;
        if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) return nullptr;
        if (InterlockedCompareExchangePointer(reinterpret_cast<void**>(&typeLib_), lib, nullptr) != nullptr)
            lib->Release();
    }
    ITypeInfo* info = nullptr;
    typeLib_->GetTypeInfoOfGuid(guid, &info);
    return info;
}

STDMETHODIMP FileSendControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = TypeInfoOf(DIID__DFileSendCtl);
    return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

STDMETHODIMP FileSendControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const Method& m : kMethods)
        if (names[0] && _wcsicmp(names[0], m.name) == 0) ids[0] = m.id;
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    // The methods' parameters have no names callers can use.
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP FileSendControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT* argErr) {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const Method* method = MethodOf(id);
    // Callers that cannot tell methods from property reads call with either flag.
    if (!method || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (!params) return E_INVALIDARG;
    if (params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
    UINT argc = params->cArgs;
    if (argc < method->minArgs || argc > method->maxArgs) return DISP_E_BADPARAMCOUNT;
    if (argc > 0 && !params->rgvarg) return E_INVALIDARG;
    if (result) VariantInit(result);

    // rgvarg[argc - 1] is the first argument.
    auto arg = [&](UINT n) -> const VARIANT& { return params->rgvarg[argc - 1 - n]; };
    auto failAt = [&](UINT n, HRESULT hr) {
        if (argErr) *argErr = argc - 1 - n;
        return hr;
    };

    switch (id) {
    case DISPID_FSC_SET_TRANS_FILE:
    case DISPID_FSC_SET_ACCEPT_FILE: {
        std::wstring texts[4];
        bool present[4] = {false, false, false, false};
        for (UINT n = 0; n < argc; ++n) {
            HRESULT hr = TextArg(arg(n), &texts[n], &present[n]);
            if (FAILED(hr)) return failAt(n, hr);
        }
        SetFile(id == DISPID_FSC_SET_TRANS_FILE, texts[0], texts[1], texts[2], present[3] ? &texts[3] : nullptr);
        return S_OK;
    }
    case DISPID_FSC_CANCEL_TRANSMIT_FILE:
        CancelTransmitFile();
        return S_OK;
    case DISPID_FSC_REJECT_TRANSMIT_FILE:
        RejectTransmitFile();
        return S_OK;
    case DISPID_FSC_GET_TRANSMIT_FILE_NAME: {
        std::wstring name = GetTransmitFileName();
        if (result) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        }
        return S_OK;
    }
    case DISPID_FSC_IS_TRANSMIT_FILE: {
        std::wstring text;
        bool present = false;
        HRESULT hr = TextArg(arg(0), &text, &present);
        if (FAILED(hr)) return failAt(0, hr);
        SetBool(result, present && IsTransmitFile(text.c_str()));
        return S_OK;
    }
    case DISPID_FSC_SET_TRANSMIT_PROGRESS: {
        double percent = 0;
        HRESULT hr = NumberArg(arg(0), &percent);
        if (FAILED(hr)) return failAt(0, hr);
        SetTransmitProgress(percent);
        return S_OK;
    }
    case DISPID_FSC_TRANSMIT_COMPLETE:
        TransmitComplete();
        return S_OK;
    case DISPID_FSC_IS_IN_TRANSFERING:
        SetBool(result, IsInTransfering());
        return S_OK;
    case DISPID_FSC_IS_SEND_WAITING:
        SetBool(result, IsSendWaiting());
        return S_OK;
    case DISPID_FSC_TRANSMIT_FAILED:
        TransmitFailed();
        return S_OK;
    case DISPID_FSC_IS_REQUEST_WAITING:
        SetBool(result, IsRequestWaiting());
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

}  // namespace filesend
