// The document object of one loaded top page: IHTMLDocument for its script dispatch,
// ICustomDoc for the host's UI handler. The script dispatch offers the page's declared
// functions by name.
#pragma once

#include <windows.h>
#include <mshtml.h>
#include <mshtmhst.h>

#include "Handles.h"
#include "PageDocument.h"

namespace browserctl {

class PageDocumentObject final : public IHTMLDocument, public ICustomDoc {
public:
    // A new object with one reference, for the caller to own.
    static PageDocumentObject* Create(const pageengine::PageDocument& page);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch: the document itself has no members here.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IHTMLDocument
    STDMETHODIMP get_Script(IDispatch** out) override;
    // ICustomDoc
    STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override;

private:
    explicit PageDocumentObject(const pageengine::PageDocument& page);
    ~PageDocumentObject();

    LONG refs_ = 1;
    pageengine::PageDocument page_;
    vantor::ComPtr<IDispatch> script_;
    vantor::ComPtr<IDocHostUIHandler> handler_;
};

}  // namespace browserctl
