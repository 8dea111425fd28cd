// Where the objects embedded in a chat display stand, and the activation of the
// file-transfer control under the pointer.
//
// A RichEdit that gives its objects no in-place window context (Wine's) leaves an active
// control a child of the display at the rectangle handed to DoVerb; such controls are
// kept on their objects after the text scrolls, grows or is resized.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <richedit.h>
#include <richole.h>

namespace chatdesk {

// The object's rectangle in the display's client pixels (its character position and
// its extent); false when the object has no position or size.
bool ObjectRect(HWND display, IRichEditOle* ole, LONG index, RECT* rect);

// The file-transfer control under the point (display client pixels), last object first,
// is activated in place (UI, then in-place) with the display's site, the display as its
// window and its rectangle. True when a control was found.
bool ActivateControlAt(HWND display, IRichEditOle* ole, POINT point);

// Moves every active control's window back onto its object.
void KeepControlsOnObjects(HWND display, IRichEditOle* ole);

}  // namespace chatdesk
