#include "PageDocumentObject.h"

#include <cstdio>

#include "BrowserTrace.h"
#include "Module.h"
#include "PageScript.h"

namespace browserctl {

namespace {

// ICustomDoc, which mingw-w64's uuid library leaves out.
const IID kCustomDocIid = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// A script argument as the trace writes it: "text".
std::wstring ArgumentText(const VARIANT& value) {
    VARIANT copy;
    VariantInit(&copy);
    std::wstring text;
    if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&value), 0, VT_BSTR)) && copy.bstrVal)
        text.assign(copy.bstrVal, SysStringLen(copy.bstrVal));
    VariantClear(&copy);
    return L"\"" + text + L"\"";
}

// The page's script: its declared functions, numbered from 1 in their order.
class ScriptDispatch final : public IDispatch {
public:
    explicit ScriptDispatch(const pageengine::PageDocument* page) : page_(page) { ObjectCreated(); }
    ~ScriptDispatch() { ObjectDestroyed(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_POINTER;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        std::wstring name = names[0] ? names[0] : L"";
        for (size_t i = 0; i < page_->functions.size(); ++i) {
            if (page_->functions[i].name == name) {
                ids[0] = static_cast<DISPID>(i + 1);
                return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
            }
        }
        Trace(pageengine::ScriptTraceLine(name, L"", false));
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override {
        if (id < 1 || static_cast<size_t>(id) > page_->functions.size()) return DISP_E_MEMBERNOTFOUND;
        const pageengine::PageFunction& function = page_->functions[static_cast<size_t>(id - 1)];
        std::wstring args;
        // Arguments arrive last first.
        for (UINT i = params ? params->cArgs : 0; i > 0; --i) {
            if (!args.empty()) args += L",";
            args += ArgumentText(params->rgvarg[i - 1]);
        }
        Trace(pageengine::ScriptTraceLine(function.name, args, true));
        pageengine::AnswerFunction(function, result);
        return S_OK;
    }

private:
    LONG refs_ = 1;
    const pageengine::PageDocument* page_;  // the document's, which holds this object
};

}  // namespace

PageDocumentObject* PageDocumentObject::Create(const pageengine::PageDocument& page) {
    return new PageDocumentObject(page);
}

PageDocumentObject::PageDocumentObject(const pageengine::PageDocument& page) : page_(page) {
    ObjectCreated();
    script_.attach(new ScriptDispatch(&page_));
}

PageDocumentObject::~PageDocumentObject() { ObjectDestroyed(); }

STDMETHODIMP PageDocumentObject::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IHTMLDocument) {
        *out = static_cast<IHTMLDocument*>(this);
    } else if (iid == kCustomDocIid) {
        *out = static_cast<ICustomDoc*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) PageDocumentObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) PageDocumentObject::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP PageDocumentObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP PageDocumentObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP PageDocumentObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP PageDocumentObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP PageDocumentObject::get_Script(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = script_.get();
    (*out)->AddRef();
    return S_OK;
}

STDMETHODIMP PageDocumentObject::SetUIHandler(IDocHostUIHandler* handler) {
    handler_ = vantor::ComPtr<IDocHostUIHandler>(handler);
    if (!handler) {
        Trace(L"uihandler cleared");
        return S_OK;
    }
    // What the host asks of the document's frame, for the trace.
    DOCHOSTUIINFO info = {};
    info.cbSize = sizeof info;
    wchar_t flags[64] = L"";
    if (SUCCEEDED(handler->GetHostInfo(&info)))
        swprintf(flags, 64, L" flags=0x%08lX dblclk=%lu", static_cast<unsigned long>(info.dwFlags),
                 static_cast<unsigned long>(info.dwDoubleClick));
    Trace(std::wstring(L"uihandler set ") + page_.url + flags);
    return S_OK;
}

}  // namespace browserctl
