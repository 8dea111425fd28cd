// What one window shows, read without what other programs' windows show over it: the
// screen is shared with every program running beside a test, so a window of this process
// is read from its own drawing. Needs nothing of the test kit, so programs that are no
// tests (the demo host) take their pictures the same way.
#pragma once

#include <windows.h>

namespace testkit {

// Copies the window's whole rectangle (frame included) to (0, 0) of `target`, a memory DC
// at least that size: the window's own drawing, children and other windows of this
// process over it included, for a window of this process; the screen for the desktop
// window and for windows of other processes. False when nothing could be copied.
bool CopyWindowPixels(HWND wnd, HDC target);

}  // namespace testkit
