// KnobKit stand-in: skinned push buttons.
#include <windows.h>
#include <commctrl.h>

#define KNOBKIT_BUILD
#include "Handles.h"
#include "outside/KnobKit.h"

namespace {

enum Picture { PIC_NORMAL, PIC_HOVER, PIC_PRESSED, PIC_DISABLED, PIC_COUNT };
const UINT_PTR kSubclassId = 0x4B4E4F42;

}  // namespace

struct CKnobKit::State {
    HWND button = nullptr;
    LONG_PTR oldStyle = 0;
    bool hover = false;
    COLORREF textNormal = RGB(0, 0, 0);
    COLORREF textHover = RGB(0, 0, 0);
    vantor::UniqueGdi<HBITMAP> pictures[PIC_COUNT];
};

namespace {

HBITMAP LoadPicture(const char* path) {
    if (!path || !*path) return nullptr;
    return static_cast<HBITMAP>(LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
}

void DrawStretched(HDC dc, const RECT& rc, HBITMAP picture) {
    BITMAP info = {};
    GetObjectW(picture, sizeof(info), &info);
    HDC mem = CreateCompatibleDC(dc);
    {
        vantor::ScopedSelect sel(mem, picture);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
    }
    DeleteDC(mem);
}

}  // namespace

CKnobKit::CKnobKit() : state_(new State) {}

CKnobKit::~CKnobKit() {
    UnsubclassWnd();
    delete state_;
}

namespace {

// The subclass keeps the hover state current; drawing happens in DrawItem.
struct HoverTracker {
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
        bool* hover = reinterpret_cast<bool*>(data);
        if (msg == WM_MOUSEMOVE && !*hover) {
            *hover = true;
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, wnd, 0};
            TrackMouseEvent(&track);
            InvalidateRect(wnd, nullptr, FALSE);
        } else if (msg == WM_MOUSELEAVE) {
            *hover = false;
            InvalidateRect(wnd, nullptr, FALSE);
        }
        return DefSubclassProc(wnd, msg, wParam, lParam);
    }
};

}  // namespace

bool CKnobKit::SubclassWnd(HWND button) {
    if (state_->button || !IsWindow(button)) return false;
    wchar_t cls[16] = {};
    GetClassNameW(button, cls, 16);
    if (lstrcmpiW(cls, L"Button") != 0) return false;
    if (!SetWindowSubclass(button, HoverTracker::Proc, kSubclassId, reinterpret_cast<DWORD_PTR>(&state_->hover))) {
        return false;
    }
    state_->button = button;
    state_->hover = false;
    state_->oldStyle = GetWindowLongPtrW(button, GWL_STYLE);
    SetWindowLongPtrW(button, GWL_STYLE, (state_->oldStyle & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    InvalidateRect(button, nullptr, TRUE);
    return true;
}

void CKnobKit::UnsubclassWnd() {
    if (!state_->button) return;
    if (IsWindow(state_->button)) {
        RemoveWindowSubclass(state_->button, HoverTracker::Proc, kSubclassId);
        SetWindowLongPtrW(state_->button, GWL_STYLE, state_->oldStyle);
        InvalidateRect(state_->button, nullptr, TRUE);
    }
    state_->button = nullptr;
    state_->hover = false;
}

bool CKnobKit::IsSubclass() const { return state_->button != nullptr; }

HWND CKnobKit::GetSafeHwnd() const { return state_->button; }

bool CKnobKit::IsHover() const { return state_->hover; }

void CKnobKit::SetBkgndImage(const char* normal, const char* hover, const char* pressed, const char* disabled) {
    state_->pictures[PIC_NORMAL].reset(LoadPicture(normal));
    state_->pictures[PIC_HOVER].reset(LoadPicture(hover));
    state_->pictures[PIC_PRESSED].reset(LoadPicture(pressed));
    state_->pictures[PIC_DISABLED].reset(LoadPicture(disabled));
    if (state_->button) InvalidateRect(state_->button, nullptr, FALSE);
}

void CKnobKit::SetTextColor(COLORREF normal, COLORREF hover) {
    state_->textNormal = normal;
    state_->textHover = hover;
    if (state_->button) InvalidateRect(state_->button, nullptr, FALSE);
}

bool CKnobKit::DrawItem(LPDRAWITEMSTRUCT item) {
    if (!item || !state_->button || item->hwndItem != state_->button) return false;
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    bool hover = state_->hover && !disabled;

    // Pressed shows the pressed picture, else the hover one; a missing picture falls back
    // to the normal one.
    Picture order[3] = {PIC_NORMAL, PIC_NORMAL, PIC_NORMAL};
    if (disabled) order[0] = PIC_DISABLED;
    else if (pressed) { order[0] = PIC_PRESSED; order[1] = PIC_HOVER; }
    else if (hover) order[0] = PIC_HOVER;
    HBITMAP picture = nullptr;
    for (Picture p : order) {
        if ((picture = state_->pictures[p].get())) break;
    }
    if (picture) {
        DrawStretched(dc, rc, picture);
    } else {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &rc, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    }

    wchar_t text[256] = {};
    GetWindowTextW(state_->button, text, 256);
    RECT textRect = rc;
    if (pressed) OffsetRect(&textRect, 1, 1);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = ::SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT)
                                                     : (hover || pressed) ? state_->textHover : state_->textNormal);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(state_->button, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    DrawTextW(dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (oldFont) SelectObject(dc, oldFont);
    ::SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    if (item->itemState & ODS_FOCUS) {
        RECT focus = rc;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
    return true;
}
