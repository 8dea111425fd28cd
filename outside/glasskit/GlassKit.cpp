// GlassKit stand-in: transparent check boxes and buttons.
#include <windows.h>
#include <commctrl.h>

#define GLASSKIT_BUILD
#include "outside/GlassKit.h"

namespace {
const UINT_PTR kSubclassId = 0x474C4153;
}

namespace {
struct GlassData {
    HWND button = nullptr;
    LONG_PTR oldStyle = 0;
    int style = GLASSKIT_STYLE_CHECK;
    bool checked = false;
    bool hover = false;
};
}  // namespace

struct CGlassKit::State : GlassData {};

namespace {

// Owner-drawn buttons have no check state: the subclass keeps it and toggles it on a
// click, before the button tells its parent.
LRESULT CALLBACK GlassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    GlassData* s = reinterpret_cast<GlassData*>(data);
    bool isCheck = s->style == GLASSKIT_STYLE_CHECK;
    switch (msg) {
    case BM_GETCHECK:
        if (isCheck) return s->checked ? BST_CHECKED : BST_UNCHECKED;
        break;
    case BM_SETCHECK:
        if (isCheck) {
            s->checked = wParam == BST_CHECKED;
            InvalidateRect(wnd, nullptr, FALSE);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (isCheck && GetCapture() == wnd) {
            POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            RECT rc;
            GetClientRect(wnd, &rc);
            if (PtInRect(&rc, pt)) s->checked = !s->checked;
        }
        break;
    case WM_KEYUP:
        if (isCheck && wParam == VK_SPACE && (SendMessageW(wnd, BM_GETSTATE, 0, 0) & BST_PUSHED)) {
            s->checked = !s->checked;
        }
        break;
    case WM_MOUSEMOVE:
        if (!s->hover) {
            s->hover = true;
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, wnd, 0};
            TrackMouseEvent(&track);
            InvalidateRect(wnd, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        s->hover = false;
        InvalidateRect(wnd, nullptr, FALSE);
        break;
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

// Lets the parent paint what lies behind the control into the control's DC.
void PaintParentBackground(HWND wnd, HDC dc) {
    HWND parent = GetParent(wnd);
    if (!parent) return;
    RECT rc;
    GetWindowRect(wnd, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    int saved = SaveDC(dc);
    POINT old;
    OffsetViewportOrgEx(dc, -rc.left, -rc.top, &old);
    RECT clip = {rc.left, rc.top, rc.right, rc.bottom};
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    RestoreDC(dc, saved);
}

}  // namespace

CGlassKit::CGlassKit() : state_(new State) {}

CGlassKit::~CGlassKit() {
    UnsubclassWnd();
    delete state_;
}

bool CGlassKit::SubclassWnd(HWND button) {
    if (state_->button || !IsWindow(button)) return false;
    wchar_t cls[16] = {};
    GetClassNameW(button, cls, 16);
    if (lstrcmpiW(cls, L"Button") != 0) return false;
    state_->checked = SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (!SetWindowSubclass(button, GlassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(static_cast<GlassData*>(state_)))) {
        return false;
    }
    state_->button = button;
    state_->hover = false;
    state_->oldStyle = GetWindowLongPtrW(button, GWL_STYLE);
    SetWindowLongPtrW(button, GWL_STYLE, (state_->oldStyle & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    InvalidateRect(button, nullptr, TRUE);
    return true;
}

void CGlassKit::UnsubclassWnd() {
    if (!state_->button) return;
    HWND button = state_->button;
    state_->button = nullptr;
    if (!IsWindow(button)) return;
    RemoveWindowSubclass(button, GlassProc, kSubclassId);
    SetWindowLongPtrW(button, GWL_STYLE, state_->oldStyle);
    // The check state goes back to the button itself.
    SendMessageW(button, BM_SETCHECK, state_->checked ? BST_CHECKED : BST_UNCHECKED, 0);
    InvalidateRect(button, nullptr, TRUE);
}

bool CGlassKit::IsSubclass() const { return state_->button != nullptr; }

HWND CGlassKit::GetSafeHwnd() const { return state_->button; }

void CGlassKit::SetBtnStyle(int style) {
    state_->style = style == GLASSKIT_STYLE_PUSH ? GLASSKIT_STYLE_PUSH : GLASSKIT_STYLE_CHECK;
    if (state_->button) InvalidateRect(state_->button, nullptr, TRUE);
}

int CGlassKit::GetBtnStyle() const { return state_->style; }

bool CGlassKit::DrawItem(LPDRAWITEMSTRUCT item) {
    if (!item || !state_->button || item->hwndItem != state_->button) return false;
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    PaintParentBackground(state_->button, dc);

    RECT textRect = rc;
    if (state_->style == GLASSKIT_STYLE_CHECK) {
        int box = 13;
        RECT boxRect = {rc.left, rc.top + (rc.bottom - rc.top - box) / 2, rc.left + box, 0};
        boxRect.bottom = boxRect.top + box;
        UINT flags = DFCS_BUTTONCHECK | (state_->checked ? DFCS_CHECKED : 0) | (pressed ? DFCS_PUSHED : 0) |
                     (disabled ? DFCS_INACTIVE : 0) | (state_->hover ? DFCS_HOT : 0);
        DrawFrameControl(dc, &boxRect, DFC_BUTTON, flags);
        textRect.left = boxRect.right + 4;
    } else if (pressed || state_->hover) {
        DrawEdge(dc, &rc, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }

    wchar_t text[256] = {};
    GetWindowTextW(state_->button, text, 256);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(state_->button, WM_GETFONT, 0, 0));
    HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    UINT align = state_->style == GLASSKIT_STYLE_CHECK ? DT_LEFT : DT_CENTER;
    DrawTextW(dc, text, -1, &textRect, align | DT_VCENTER | DT_SINGLELINE);
    if (oldFont) SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &textRect);
    return true;
}
