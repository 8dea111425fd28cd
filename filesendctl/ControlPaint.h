// The one drawing of the control, used for its window, IViewObject2::Draw and the
// pictures IDataObject hands out, so every host sees the same thing.
#pragma once

#include <windows.h>

#include "TransferState.h"

namespace filesend {

// 6000 x 1700 HIMETRIC at 96 dpi.
const int kControlWidth = 227;
const int kControlHeight = 64;
const LONG kExtentX = 6000;
const LONG kExtentY = 1700;

struct PaintTools {
    HFONT textFont = nullptr;
    HFONT linkFont = nullptr;
    HICON fileIcon = nullptr;  // null: the control's own icon
    HICON ownIcon = nullptr;
};

// The status box, relative to the control's top-left corner; also what a progress
// update redraws.
RECT StatusBox(int width);

// Draws the control into `bounds`; gives the first link's rectangle (relative to the
// control's top-left corner), empty when no link label is drawn.
RECT PaintControl(HDC dc, const RECT& bounds, const TransferState& view, const PaintTools& tools);

// Index of the link under the point (relative to the control), or -1. Each further link
// lies one and a half link widths right of the one before.
int LinkAt(const RECT& firstLink, int linkCount, POINT point);

}  // namespace filesend
