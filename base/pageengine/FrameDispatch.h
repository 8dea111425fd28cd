// The dispatch object that stands for one document (the top one or a frame) in events.
// It has no members: pages here run no script. Shared by the browser stand-ins.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace pageengine {

// A new object with one reference, for the caller to own.
IDispatch* NewFrameDispatch();

}  // namespace pageengine
