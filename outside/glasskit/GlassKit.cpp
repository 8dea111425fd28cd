// GlassKit stand-in: transparent check boxes and buttons.
#include <windows.h>
#include <commctrl.h>

#define GLASSKIT_BUILD
#include "KitBase.h"
#include "outside/GlassKit.h"

namespace {
const UINT_PTR kSubclassId = 0x474C4153;
}

namespace {

struct GlassData {
    kitbase::Subclass control;
    int style = GLASSKIT_STYLE_CHECK;
    bool checked = false;
};

// Owner-drawn buttons have no check state: the subclass keeps it and toggles it on a
// click, before the button tells its parent.
LRESULT CALLBACK GlassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    auto* s = reinterpret_cast<GlassData*>(data);
    bool isCheck = s->style == GLASSKIT_STYLE_CHECK;
    s->control.OnMessage(wnd, msg);
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
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace

struct CGlassKit::State : GlassData {};

CGlassKit::CGlassKit() : state_(new State) {}

CGlassKit::~CGlassKit() {
    UnsubclassWnd();
    delete state_;
}

bool CGlassKit::SubclassWnd(HWND button) {
    if (state_->control.wnd() || !IsWindow(button)) return false;
    bool checked = SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (!state_->control.Attach(button, L"Button", GlassProc, kSubclassId, static_cast<GlassData*>(state_),
                                ~static_cast<LONG_PTR>(BS_TYPEMASK), BS_OWNERDRAW)) {
        return false;
    }
    state_->checked = checked;
    return true;
}

void CGlassKit::UnsubclassWnd() {
    HWND button = state_->control.wnd();
    // The check state goes back to the button itself.
    if (state_->control.Detach()) SendMessageW(button, BM_SETCHECK, state_->checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CGlassKit::IsSubclass() const { return state_->control.wnd() != nullptr; }

HWND CGlassKit::GetSafeHwnd() const { return state_->control.wnd(); }

void CGlassKit::SetBtnStyle(int style) {
    state_->style = style == GLASSKIT_STYLE_PUSH ? GLASSKIT_STYLE_PUSH : GLASSKIT_STYLE_CHECK;
    if (HWND wnd = state_->control.wnd()) InvalidateRect(wnd, nullptr, TRUE);
}

int CGlassKit::GetBtnStyle() const { return state_->style; }

bool CGlassKit::DrawItem(LPDRAWITEMSTRUCT item) {
    HWND button = state_->control.wnd();
    if (!item || !button || item->hwndItem != button) return false;
    HDC dc = item->hDC;
    RECT rc = item->rcItem;
    bool disabled = (item->itemState & ODS_DISABLED) != 0;
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    bool hover = state_->control.hover();
    kitbase::PaintParentBackground(button, dc);

    RECT textRect = rc;
    if (state_->style == GLASSKIT_STYLE_CHECK) {
        int box = 13;
        RECT boxRect = {rc.left, rc.top + (rc.bottom - rc.top - box) / 2, rc.left + box, 0};
        boxRect.bottom = boxRect.top + box;
        UINT flags = DFCS_BUTTONCHECK | (state_->checked ? DFCS_CHECKED : 0) | (pressed ? DFCS_PUSHED : 0) |
                     (disabled ? DFCS_INACTIVE : 0) | (hover ? DFCS_HOT : 0);
        DrawFrameControl(dc, &boxRect, DFC_BUTTON, flags);
        textRect.left = boxRect.right + 4;
    } else if (pressed || hover) {
        DrawEdge(dc, &rc, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }

    UINT align = state_->style == GLASSKIT_STYLE_CHECK ? DT_LEFT : DT_CENTER;
    kitbase::DrawControlText(dc, button, kitbase::WindowText(button), textRect,
                             GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT),
                             align | DT_VCENTER | DT_SINGLELINE);
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &textRect);
    return true;
}
