// KnobKit stand-in: skinned push buttons.
#include <windows.h>
#include <commctrl.h>

#define KNOBKIT_BUILD
#include "Handles.h"
#include "KitBase.h"
#include "outside/KnobKit.h"

namespace {

enum Picture { PIC_NORMAL, PIC_HOVER, PIC_PRESSED, PIC_DISABLED, PIC_COUNT };
const UINT_PTR kSubclassId = 0x4B4E4F42;

}  // namespace

struct CKnobKit::State {
    kitbase::Subclass control;
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
    if (!mem) return;
    {
        vantor::ScopedSelect sel(mem, picture);
        int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }
    DeleteDC(mem);
}

// The subclass keeps the hover state current; drawing happens in DrawItem.
LRESULT CALLBACK KnobProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    reinterpret_cast<kitbase::Subclass*>(data)->OnMessage(wnd, msg);
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace

CKnobKit::CKnobKit() : state_(new State) {}

CKnobKit::~CKnobKit() {
    UnsubclassWnd();
    delete state_;
}

bool CKnobKit::SubclassWnd(HWND button) {
    return state_->control.Attach(button, L"Button", KnobProc, kSubclassId, &state_->control,
                                  ~static_cast<LONG_PTR>(BS_TYPEMASK), BS_OWNERDRAW);
}

void CKnobKit::UnsubclassWnd() { state_->control.Detach(); }

bool CKnobKit::IsSubclass() const { return state_->control.wnd() != nullptr; }

HWND CKnobKit::GetSafeHwnd() const { return state_->control.wnd(); }

bool CKnobKit::IsHover() const { return state_->control.hover(); }

void CKnobKit::SetBkgndImage(const char* normal, const char* hover, const char* pressed, const char* disabled) {
    state_->pictures[PIC_NORMAL].reset(LoadPicture(normal));
    state_->pictures[PIC_HOVER].reset(LoadPicture(hover));
    state_->pictures[PIC_PRESSED].reset(LoadPicture(pressed));
    state_->pictures[PIC_DISABLED].reset(LoadPicture(disabled));
    if (HWND wnd = state_->control.wnd()) InvalidateRect(wnd, nullptr, FALSE);
}

void CKnobKit::SetTextColor(COLORREF normal, COLORREF hover) {
    state_->textNormal = normal;
    state_->textHover = hover;
    if (HWND wnd = state_->control.wnd()) InvalidateRect(wnd, nullptr, FALSE);
}

bool CKnobKit::DrawItem(LPDRAWITEMSTRUCT item) {
    HWND button = state_->control.wnd();
    if (!item || !button || item->hwndItem != button) return false;
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    bool hover = state_->control.hover() && !disabled;

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

    RECT textRect = rc;
    if (pressed) OffsetRect(&textRect, 1, 1);
    COLORREF colour = disabled ? GetSysColor(COLOR_GRAYTEXT) : (hover || pressed) ? state_->textHover : state_->textNormal;
    kitbase::DrawControlText(dc, button, kitbase::WindowText(button), textRect, colour,
                             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (item->itemState & ODS_FOCUS) {
        RECT focus = rc;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
    return true;
}
