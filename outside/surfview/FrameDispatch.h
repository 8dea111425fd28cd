// The dispatch object that stands for one document (the top one or a frame) in events.
// It has no members: pages here run no script.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace surfview {

// A new object with one reference, for the caller to own.
IDispatch* NewFrameDispatch();

}  // namespace surfview
