// What one window shows, read without what other programs' windows show over it: the
// screen is shared with every program running beside a test, so a window of this process
// is read from its own drawing. Needs nothing of the test kit, so programs that are no
// tests (the demo host) take their pictures the same way.
#pragma once

#include <windows.h>

namespace testkit {

// Copies the window's whole rectangle (frame included) to (0, 0) of `target`, a memory DC
// at least that size. A window of this process is read from its own drawing, children
// included; this process's other top-level windows over it (menus, tool tips) are not in
// it (CopyProcessPixels puts them together). The desktop window and windows of other
// processes are read from the screen, with whatever lies over them there. False when
// nothing could be copied.
bool CopyWindowPixels(HWND wnd, HDC target);

// Copies what the windows of this process show over `area` (screen coordinates) to (0, 0)
// of `target`: each visible top-level window of this process that meets the area, read
// from its own drawing inside its window region, the lowest first, so that menus, tool
// tips and other pop-ups lie over the windows they belong to. What no window of this
// process covers keeps what `target` held. False when no window was copied.
bool CopyProcessPixels(const RECT& area, HDC target);

}  // namespace testkit
