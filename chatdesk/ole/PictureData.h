// Pictures (emoticons) in a RichEdit: the data object that carries the bitmap, and the
// insertion of a static picture object at the selection.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <richedit.h>
#include <richole.h>

#include "ComObject.h"

namespace chatdesk {

class PictureDataObject : public vantor::ComObject<IDataObject> {
public:
    PictureDataObject() = default;
    ~PictureDataObject() override;

    // Keeps the format and takes the medium.
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    // A duplicate of the stored bitmap (CF_BITMAP, GDI) or of the stored global memory
    // (the hyperlink format, global memory); E_HANDLE for anything else.
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    bool Answers(REFIID riid) const override { return riid == IID_IDataObject; }

    FORMATETC format_ = {};
    STGMEDIUM medium_ = {};
};

// Inserts the bitmap (a copy; the caller keeps its own) as a picture object at the
// RichEdit's selection, with `user` as the object's user value. S_OK, or the failing
// step's result; nothing is inserted on failure.
HRESULT InsertPicture(IRichEditOle* ole, HBITMAP bitmap, DWORD user);

}  // namespace chatdesk
