// The OLE callback a chat display's RichEdit is given: storages and the in-place context
// come from the chat window; everything else is accepted without effect.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <richedit.h>
#include <richole.h>

#include "ComObject.h"
#include "OleHost.h"

namespace chatdesk {

class RichEditOleCallback : public vantor::ComObject<IRichEditOleCallback> {
public:
    // The frame is handed out for both the frame and the document.
    RichEditOleCallback(OleHost& host, IOleInPlaceFrame* frame);
    ~RichEditOleCallback() override;

    STDMETHODIMP GetNewStorage(LPSTORAGE* storage) override;
    STDMETHODIMP GetInPlaceContext(LPOLEINPLACEFRAME* frame, LPOLEINPLACEUIWINDOW* document,
                                   LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP ShowContainerUI(BOOL) override { return S_OK; }
    STDMETHODIMP QueryInsertObject(LPCLSID, LPSTORAGE, LONG) override { return S_OK; }
    STDMETHODIMP DeleteObject(LPOLEOBJECT) override { return S_OK; }
    STDMETHODIMP QueryAcceptData(LPDATAOBJECT, CLIPFORMAT*, DWORD, BOOL, HGLOBAL) override { return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(CHARRANGE*, DWORD, LPDATAOBJECT* data) override;
    STDMETHODIMP GetDragDropEffect(BOOL, DWORD, LPDWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetContextMenu(WORD, LPOLEOBJECT, CHARRANGE*, HMENU*) override { return S_OK; }

private:
    bool Answers(REFIID riid) const override { return riid == IID_IRichEditOleCallback; }

    OleHost& host_;
    IOleInPlaceFrame* frame_;
};

}  // namespace chatdesk
