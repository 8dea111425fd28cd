#include "WindowPixels.h"

namespace testkit {

bool CopyWindowPixels(HWND wnd, HDC target) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(wnd, &process);
    // A window DC of this process draws into the window's own surface, and reading from it
    // reads that surface; the screen also holds whatever lies over the window.
    bool own = process == GetCurrentProcessId() && wnd != GetDesktopWindow();
    HWND owner = own ? wnd : nullptr;
    HDC source = own ? GetDCEx(wnd, nullptr, DCX_WINDOW | DCX_CACHE) : GetDC(nullptr);
    if (!source) return false;
    bool copied = BitBlt(target, 0, 0, rc.right - rc.left, rc.bottom - rc.top, source, own ? 0 : rc.left,
                         own ? 0 : rc.top, SRCCOPY) != FALSE;
    ReleaseDC(owner, source);
    GdiFlush();
    return copied;
}

}  // namespace testkit
