#include "StripButton.h"

#include <atomic>

#include "ButtonStrip.h"
#include "outside/PictKit.h"

namespace buttonstrip {

namespace {

const wchar_t kPictureProperty[] = L"gdiiamge";

// Every strip button is of the system's button class, so they share one standard procedure.
std::atomic<WNDPROC> g_standardProc{nullptr};

PictKit* PictureOf(HWND button) { return static_cast<PictKit*>(GetPropW(button, kPictureProperty)); }

void DropPicture(HWND button) { delete static_cast<PictKit*>(RemovePropW(button, kPictureProperty)); }

void SetPicture(HWND button, const wchar_t* path) {
    DropPicture(button);
    PictKit* picture = new PictKit;
    picture->Open(path);
    if (!SetPropW(button, kPictureProperty, picture)) delete picture;
    InvalidateRect(button, nullptr, TRUE);
}

// The picture covers the whole face; a button without one keeps the standard owner-drawn
// face (its parent draws nothing on it).
bool PaintPicture(HWND button) {
    PictKit* picture = PictureOf(button);
    if (!picture || !picture->IsOpen()) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(button, &paint);
    RECT client;
    GetClientRect(button, &client);
    picture->Draw(dc, client, PICTKIT_DRAW_STRETCH);
    EndPaint(button, &paint);
    return true;
}

LRESULT CALLBACK ButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_STRIP_SETIMAGE:
            SetPicture(button, reinterpret_cast<const wchar_t*>(wParam));
            return 0;
        case WM_PAINT:
            if (PaintPicture(button)) return 0;
            break;
        case WM_SETCURSOR:
            // Only the strip's own buttons show the hand; the button class keeps its arrow.
            if (LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorA(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_DESTROY:
            DropPicture(button);
            break;
        default:
            break;
    }
    return CallWindowProcW(g_standardProc.load(), button, message, wParam, lParam);
}

}  // namespace

void AdoptButton(HWND button) {
    WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
    if (previous && previous != ButtonProc) g_standardProc.store(previous);
}

}  // namespace buttonstrip
