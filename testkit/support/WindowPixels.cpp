#include "WindowPixels.h"

#include <vector>

namespace testkit {
namespace {

// How long a window of another process may stay covered before it is read anyway, and
// how long its program is given to repaint what another window covered.
const DWORD kUncoverWaitMs = 5000;
const DWORD kTopmostAfterMs = 1000;
const DWORD kRepaintMs = 300;

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

// Whether a visible top-level window above `root` meets its rectangle.
bool Covered(HWND root) {
    RECT rc;
    if (!GetWindowRect(root, &rc)) return false;
    for (HWND w = GetTopWindow(nullptr); w && w != root; w = GetWindow(w, GW_HWNDNEXT)) {
        RECT r, both;
        if (IsWindowVisible(w) && GetWindowRect(w, &r) && IntersectRect(&both, &r, &rc)) return true;
    }
    return false;
}

bool CopyScreen(const RECT& rc, HDC target) {
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    bool copied = BitBlt(target, 0, 0, rc.right - rc.left, rc.bottom - rc.top, screen, rc.left, rc.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, screen);
    GdiFlush();
    return copied;
}

// Another program's window can only be read from the screen: it is read while nothing
// lies over it, before and after the read.
bool CopyUncoveredFromScreen(HWND wnd, HDC target) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return false;
    HWND root = GetAncestor(wnd, GA_ROOT);
    if (!root) root = wnd;
    const DWORD start = GetTickCount();
    bool madeTopmost = false;
    bool copied = false;
    for (;;) {
        bool waited = false;
        while (Covered(root) && GetTickCount() - start < kUncoverWaitMs) {
            if (!waited) {
                SetWindowPos(root, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
            } else if (!madeTopmost && GetTickCount() - start >= kTopmostAfterMs &&
                       !(GetWindowLongW(root, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
                // Always-on-top windows of other programs lie over it: for the picture only.
                madeTopmost = SetWindowPos(root, HWND_TOPMOST, 0, 0, 0, 0,
                                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER) != FALSE;
            }
            waited = true;
            Sleep(50);
        }
        if (waited) {
            // What lay over it is gone from the screen once its program has painted again.
            RedrawWindow(root, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
            Sleep(kRepaintMs);
        }
        copied = CopyScreen(rc, target);
        if (!Covered(root) || GetTickCount() - start >= kUncoverWaitMs) break;
    }
    if (madeTopmost) {
        SetWindowPos(root, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
    return copied;
}

}  // namespace

bool CopyWindowPixels(HWND wnd, HDC target) {
    RECT rc;
    if (!GetWindowRect(wnd, &rc) || rc.right <= rc.left || rc.bottom <= rc.top) return false;
    if (wnd == GetDesktopWindow()) return CopyScreen(rc, target);
    if (OfThisProcess(wnd)) return CopyOwnDrawing(wnd, target, 0, 0, false);
    return CopyUncoveredFromScreen(wnd, target);
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
