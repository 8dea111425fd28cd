// The RichEdit OLE pieces of a chat display: what they need of the window that owns them,
// and the small helpers they share.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace chatdesk {

// The chat window as the in-place frame and the OLE callback see it.
class OleHost {
public:
    virtual ~OleHost() = default;
    virtual HWND HostWindow() const = 0;
    // The accelerator table handed to in-place objects, and its entry count (may be null, 0).
    virtual HACCEL Accelerators() const { return nullptr; }
    virtual UINT AcceleratorCount() const { return 0; }
    // A fresh storage for an object the RichEdit creates.
    virtual HRESULT NewStorage(IStorage** storage) = 0;
};

// A compound storage (create, read-write, share-exclusive) on a lock-bytes object in
// global memory. E_INVALIDARG for a null out pointer; else the result of the failing step.
HRESULT MakeGlobalStorage(IStorage** storage, ILockBytes** lockBytes = nullptr);

// The clipboard format "RichEdit.HyperLink.Window.Format", registered on first use.
CLIPFORMAT HyperLinkFormat();

// The in-place object active in any chat window of the process (one slot for all).
IOleInPlaceActiveObject* ActiveInPlaceObject();
// Puts the object in the slot (a reference is added) and releases the previous one.
void SetActiveInPlaceObject(IOleInPlaceActiveObject* object);

}  // namespace chatdesk
