#include "MovieAutomation.h"

#include <oleauto.h>

namespace animtab {

bool MovieAutomation::Invoke(const wchar_t* member, WORD flags, VARIANT* args, UINT count, VARIANT* result) const {
    if (!movie_) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    if (FAILED(movie_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args, nullptr, count, 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    return SUCCEEDED(movie_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr));
}

bool MovieAutomation::GetNumber(const wchar_t* member, long* value) const {
    VARIANT result;
    VariantInit(&result);
    if (!Invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, &result)) return false;
    VARIANT number;
    VariantInit(&number);
    bool ok = SUCCEEDED(VariantChangeType(&number, &result, 0, VT_I4));
    if (ok) *value = number.lVal;
    VariantClear(&result);
    return ok;
}

bool MovieAutomation::PutText(const wchar_t* member, const wchar_t* value) const {
    VARIANT arg;
    arg.vt = VT_BSTR;
    arg.bstrVal = SysAllocString(value);
    bool ok = Invoke(member, DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
    VariantClear(&arg);
    return ok;
}

bool MovieAutomation::PutNumber(const wchar_t* member, long value) const {
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = value;
    return Invoke(member, DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
}

bool MovieAutomation::PutBool(const wchar_t* member, bool value) const {
    VARIANT arg;
    arg.vt = VT_BOOL;
    arg.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return Invoke(member, DISPATCH_PROPERTYPUT, &arg, 1, nullptr);
}

bool MovieAutomation::CallNumberText(const wchar_t* member, long number, const wchar_t* text) const {
    VARIANT args[2];  // last argument first
    args[0].vt = VT_BSTR;
    args[0].bstrVal = SysAllocString(text ? text : L"");
    args[1].vt = VT_I4;
    args[1].lVal = number;
    bool ok = Invoke(member, DISPATCH_METHOD, args, 2, nullptr);
    VariantClear(&args[0]);
    return ok;
}

bool MovieAutomation::Call(const wchar_t* member) const { return Invoke(member, DISPATCH_METHOD, nullptr, 0, nullptr); }

}  // namespace animtab
