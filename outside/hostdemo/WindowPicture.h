// Pictures of the host's windows for unattended runs.
#pragma once

#include <windows.h>

#include <string>

namespace hostdemo {

// Saves what the window shows (with its children, without other programs' windows over
// it: WindowPixels.h) as a 24-bit bitmap file; false when nothing could be captured (a
// picture of one colour counts as nothing) or the file could not be written, which then
// does not exist. The window is repainted first,
// unless `repaint` is false: a window of another thread paints later, so its caller lets it
// paint and waits before the picture.
bool SaveWindowPicture(HWND wnd, const std::wstring& path, bool repaint = true);

}  // namespace hostdemo
