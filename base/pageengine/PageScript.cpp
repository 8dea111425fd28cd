#include "PageScript.h"

#include <oleauto.h>

namespace pageengine {

void AnswerFunction(const PageFunction& function, VARIANT* result) {
    if (!result) return;
    VariantClear(result);
    switch (function.result) {
        case PageFunction::Result::Text:
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(function.text.data(), static_cast<UINT>(function.text.size()));
            break;
        case PageFunction::Result::Number:
            result->vt = VT_I4;
            result->lVal = function.number;
            break;
        case PageFunction::Result::None:
            break;
    }
}

std::wstring ScriptTraceLine(const std::wstring& name, const std::wstring& args, bool found) {
    return L"script " + name + L"(" + args + L") -> " + (found ? L"true" : L"false");
}

}  // namespace pageengine
