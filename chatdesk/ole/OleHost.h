// The RichEdit OLE pieces of a chat display: what they need of the window that owns them,
// and the small helpers they share.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "InPlaceFrame.h"

namespace chatdesk {

using vantor::ActiveInPlaceObject;
using vantor::InPlaceFrame;
using vantor::SetActiveInPlaceObject;

// The chat window as the in-place frame and the OLE callback see it.
class OleHost : public vantor::FrameHost {
public:
    // A fresh storage for an object the RichEdit creates.
    virtual HRESULT NewStorage(IStorage** storage) = 0;
};

// A compound storage (create, read-write, share-exclusive) on a lock-bytes object in
// global memory. E_INVALIDARG for a null out pointer; else the result of the failing step.
HRESULT MakeGlobalStorage(IStorage** storage, ILockBytes** lockBytes = nullptr);

// The clipboard format "RichEdit.HyperLink.Window.Format", registered on first use.
CLIPFORMAT HyperLinkFormat();

}  // namespace chatdesk
