// The pane's OLE drag and drop objects: the dragged node's data, its format enumerator,
// the drop source and the drop target that hands every event to the pane.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <vector>

namespace rostview {

// The pane's side of a drag (its first five drag operations).
class DragOperations {
public:
    virtual ~DragOperations() = default;
    // The format offered by the data object (one of the node kinds' formats), or 0.
    virtual CLIPFORMAT OnDragEnter(IDataObject* data, DWORD keys, LONG x, LONG y, DWORD effect) = 0;
    virtual void OnDragOver(HTREEITEM dragged, LONG x, LONG y, DWORD* effect) = 0;
    virtual void OnDragLeave() = 0;
    virtual void OnDragFeedback(INT_PTR a, INT_PTR b, INT_PTR c, INT_PTR d, INT_PTR e) = 0;
    virtual void OnDrop(HTREEITEM dragged, CLIPFORMAT format, LONG x, LONG y, DWORD* effect) = 0;
};

// The dragged tree item, offered in one format. The count starts at 1.
class NodeDataObject : public IDataObject {
public:
    NodeDataObject(HTREEITEM item, CLIPFORMAT format) : item_(item), format_(format) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM* medium, BOOL) override { return medium ? E_NOTIMPL : E_INVALIDARG; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    virtual ~NodeDataObject() = default;
    volatile LONG count_ = 1;
    HTREEITEM item_;
    CLIPFORMAT format_;
};

class FormatEnumerator : public IEnumFORMATETC {
public:
    // Copies the entries (each target device too). Count starts at 1.
    FormatEnumerator(const FORMATETC* formats, size_t count, size_t position = 0);

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, FORMATETC* out, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** out) override;

private:
    virtual ~FormatEnumerator();
    volatile LONG count_ = 1;
    std::vector<FORMATETC> formats_;
    size_t position_;
};

class NodeDropSource : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override;
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    virtual ~NodeDropSource() = default;
    volatile LONG count_ = 1;
};

class NodeDropTarget : public IDropTarget {
public:
    explicit NodeDropTarget(DragOperations& owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    virtual ~NodeDropTarget() { Forget(); }
    void Forget();
    // The dragged item the data object hands over for the current format; null when none.
    HTREEITEM Fetch(IDataObject* data, HGLOBAL* keep);

    volatile LONG count_ = 1;
    DragOperations& owner_;
    CLIPFORMAT format_ = 0;
    HGLOBAL block_ = nullptr;
};

// The payload of a drag: the item in a shareable block of its own.
HGLOBAL MakePayload(HTREEITEM item);
HTREEITEM ReadPayload(HGLOBAL block);

}  // namespace rostview
