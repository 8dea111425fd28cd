// AnchorKit stand-in: hyperlinks on static controls.
#include <windows.h>
#include <commctrl.h>

#include <string>

#define ANCHORKIT_BUILD
#include "Handles.h"
#include "KitBase.h"
#include "Text.h"
#include "outside/AnchorKit.h"

namespace {

const UINT_PTR kSubclassId = 0x414E4348;

struct AnchorData {
    kitbase::Subclass control;
    COLORREF normal = RGB(0, 0, 255);
    COLORREF hover = RGB(255, 0, 0);
    COLORREF checkedColour = RGB(128, 0, 128);
    bool checked = false;
    bool underline = false;
    vantor::UniqueGdi<HFONT> font;           // null: the control's own font
    vantor::UniqueGdi<HFONT> underlinedFont;  // the same font underlined, for hovering
};

HFONT BaseFont(AnchorData* a) {
    if (a->font) return a->font.get();
    HFONT own = reinterpret_cast<HFONT>(SendMessageW(a->control.wnd(), WM_GETFONT, 0, 0));
    return own ? own : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void MakeUnderlined(AnchorData* a) {
    LOGFONTW lf = {};
    GetObjectW(BaseFont(a), sizeof(lf), &lf);
    lf.lfUnderline = TRUE;
    a->underlinedFont.reset(CreateFontIndirectW(&lf));
}

void FitToText(AnchorData* a) {
    HWND wnd = a->control.wnd();
    std::wstring text = kitbase::WindowText(wnd);
    HDC dc = GetDC(wnd);
    HGDIOBJ old = SelectObject(dc, BaseFont(a));
    RECT rc = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &rc, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(wnd, dc);
    SetWindowPos(wnd, nullptr, 0, 0, rc.right + 2, rc.bottom + 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Paint(AnchorData* a) {
    HWND wnd = a->control.wnd();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    kitbase::PaintParentBackground(wnd, dc);
    bool hovering = a->control.hover();
    HFONT font = (hovering || a->underline) && a->underlinedFont ? a->underlinedFont.get() : BaseFont(a);
    kitbase::DrawControlText(dc, wnd, kitbase::WindowText(wnd), rc,
                             a->checked ? a->checkedColour : hovering ? a->hover : a->normal,
                             DT_SINGLELINE | DT_LEFT | DT_VCENTER | DT_NOPREFIX, font);
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK AnchorProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    AnchorData* a = reinterpret_cast<AnchorData*>(data);
    a->control.OnMessage(wnd, msg);
    switch (msg) {
    case WM_PAINT:
        Paint(a);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
        return TRUE;
    case WM_GETFONT:
        // The font the link draws with, once one was set.
        if (a->font) return reinterpret_cast<LRESULT>(a->font.get());
        break;
    case WM_SETTEXT: {
        LRESULT r = DefSubclassProc(wnd, msg, wParam, lParam);
        FitToText(a);
        InvalidateRect(wnd, nullptr, FALSE);
        return r;
    }
    }
    return DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace

struct CAnchorKit::State : AnchorData {};

CAnchorKit::CAnchorKit() : state_(new State) {}

CAnchorKit::~CAnchorKit() {
    UnsubclassWnd();
    delete state_;
}

bool CAnchorKit::SubclassWnd(HWND staticWnd) {
    AnchorData* a = state_;
    if (!a->control.Attach(staticWnd, L"Static", AnchorProc, kSubclassId, a, ~static_cast<LONG_PTR>(0), SS_NOTIFY)) {
        return false;
    }
    MakeUnderlined(a);
    FitToText(a);
    return true;
}

void CAnchorKit::UnsubclassWnd() { state_->control.Detach(); }

bool CAnchorKit::IsSubclass() const { return state_->control.wnd() != nullptr; }

HWND CAnchorKit::GetSafeHwnd() const { return state_->control.wnd(); }

void CAnchorKit::SetTextColor(COLORREF normal, COLORREF hover, COLORREF checked) {
    state_->normal = normal;
    state_->hover = hover;
    state_->checkedColour = checked;
    if (HWND wnd = state_->control.wnd()) InvalidateRect(wnd, nullptr, FALSE);
}

void CAnchorKit::SetTextFont(int pointSize, bool bold, bool underline, const char* face) {
    state_->underline = underline;
    if (pointSize > 0) {
        LOGFONTW lf = {};
        HDC screen = GetDC(nullptr);
        lf.lfHeight = -MulDiv(pointSize, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::wstring name = face && *face ? vantor::AnsiToWide(face, LF_FACESIZE - 1) : std::wstring();
        if (name.empty() && state_->control.wnd()) {
            LOGFONTW current = {};
            GetObjectW(BaseFont(state_), sizeof(current), &current);
            name = current.lfFaceName;
        }
        vantor::CopyField(lf.lfFaceName, LF_FACESIZE, name.c_str());
        state_->font.reset(CreateFontIndirectW(&lf));
    }
    if (HWND wnd = state_->control.wnd()) {
        MakeUnderlined(state_);
        FitToText(state_);
        InvalidateRect(wnd, nullptr, TRUE);
    }
}

void CAnchorKit::SetChecked(bool checked) {
    state_->checked = checked;
    if (HWND wnd = state_->control.wnd()) InvalidateRect(wnd, nullptr, FALSE);
}

bool CAnchorKit::IsChecked() const { return state_->checked; }
