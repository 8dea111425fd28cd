#include "WindowPixels.h"

#include <vector>

namespace testkit {
namespace {

bool OfThisProcess(HWND wnd) {
    DWORD process = 0;
    GetWindowThreadProcessId(wnd, &process);
    return process == GetCurrentProcessId();
}

// A window DC of this process draws into the window's own surface, and reading from it
// reads that surface; the screen also holds whatever lies over the window. The window is
// copied to (x, y) of target, inside its window region when `shaped` and it has one.
bool CopyOwnDrawing(HWND wnd, HDC target, int x, int y, bool shaped) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return false;
    HDC source = GetDCEx(wnd, nullptr, DCX_WINDOW | DCX_CACHE);
    if (!source) return false;
    HRGN region = shaped ? CreateRectRgn(0, 0, 0, 0) : nullptr;
    bool clipped = region && GetWindowRgn(wnd, region) != ERROR;
    if (clipped) {
        OffsetRgn(region, x, y);
        SelectClipRgn(target, region);
    }
    bool copied = BitBlt(target, x, y, rc.right - rc.left, rc.bottom - rc.top, source, 0, 0, SRCCOPY) != FALSE;
    if (clipped) SelectClipRgn(target, nullptr);
    if (region) DeleteObject(region);
    ReleaseDC(wnd, source);
    GdiFlush();
    return copied;
}

bool CopyScreen(const RECT& rc, HDC target) {
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    bool copied = BitBlt(target, 0, 0, rc.right - rc.left, rc.bottom - rc.top, screen, rc.left, rc.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return copied;
}

}  // namespace

bool CopyWindowPixels(HWND wnd, HDC target) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return false;
    if (wnd != GetDesktopWindow() && OfThisProcess(wnd)) return CopyOwnDrawing(wnd, target, 0, 0, false);
    return CopyScreen(rc, target);
}

bool CopyProcessPixels(const RECT& area, HDC target) {
    std::vector<HWND> windows;  // the topmost first
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        RECT r, both;
        if (OfThisProcess(w) && IsWindowVisible(w) && GetWindowRect(w, &r) && IntersectRect(&both, &r, &area)) {
            windows.push_back(w);
        }
    }
    bool copied = false;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        RECT r;
        GetWindowRect(*it, &r);
        copied = CopyOwnDrawing(*it, target, r.left - area.left, r.top - area.top, true) || copied;
    }
    return copied;
}

}  // namespace testkit
