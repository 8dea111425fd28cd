// AnchorKit stand-in: hyperlinks on static controls.
#include <windows.h>
#include <commctrl.h>

#include <string>

#define ANCHORKIT_BUILD
#include "Handles.h"
#include "Text.h"
#include "outside/AnchorKit.h"

namespace {

const UINT_PTR kSubclassId = 0x414E4348;

struct AnchorData {
    HWND wnd = nullptr;
    LONG_PTR oldStyle = 0;
    COLORREF normal = RGB(0, 0, 255);
    COLORREF hover = RGB(255, 0, 0);
    COLORREF checkedColour = RGB(128, 0, 128);
    bool checked = false;
    bool hovering = false;
    bool underline = false;
    vantor::UniqueGdi<HFONT> font;           // null: the control's own font
    vantor::UniqueGdi<HFONT> underlinedFont;  // the same font underlined, for hovering
};

HFONT BaseFont(AnchorData* a) {
    if (a->font) return a->font.get();
    HFONT own = reinterpret_cast<HFONT>(SendMessageW(a->wnd, WM_GETFONT, 0, 0));
    return own ? own : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void MakeUnderlined(AnchorData* a) {
    LOGFONTW lf = {};
    GetObjectW(BaseFont(a), sizeof(lf), &lf);
    lf.lfUnderline = TRUE;
    a->underlinedFont.reset(CreateFontIndirectW(&lf));
}

std::wstring TextOf(HWND wnd) {
    int n = GetWindowTextLengthW(wnd);
    std::wstring text(n + 1, L'\0');
    GetWindowTextW(wnd, &text[0], n + 1);
    text.resize(n);
    return text;
}

void FitToText(AnchorData* a) {
    std::wstring text = TextOf(a->wnd);
    HDC dc = GetDC(a->wnd);
    HGDIOBJ old = SelectObject(dc, BaseFont(a));
    RECT rc = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &rc, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(a->wnd, dc);
    SetWindowPos(a->wnd, nullptr, 0, 0, rc.right + 2, rc.bottom + 2, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PaintParentBackground(HWND wnd, HDC dc) {
    HWND parent = GetParent(wnd);
    if (!parent) return;
    RECT rc;
    GetWindowRect(wnd, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, -rc.left, -rc.top, nullptr);
    IntersectClipRect(dc, rc.left, rc.top, rc.right, rc.bottom);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    RestoreDC(dc, saved);
}

void Paint(AnchorData* a) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(a->wnd, &ps);
    RECT rc;
    GetClientRect(a->wnd, &rc);
    PaintParentBackground(a->wnd, dc);
    HFONT font = (a->hovering || a->underline) && a->underlinedFont ? a->underlinedFont.get() : BaseFont(a);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, a->checked ? a->checkedColour : a->hovering ? a->hover : a->normal);
    std::wstring text = TextOf(a->wnd);
    DrawTextW(dc, text.c_str(), -1, &rc, DT_SINGLELINE | DT_LEFT | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(a->wnd, &ps);
}

LRESULT CALLBACK AnchorProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    AnchorData* a = reinterpret_cast<AnchorData*>(data);
    switch (msg) {
    case WM_PAINT:
        Paint(a);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
        return TRUE;
    case WM_MOUSEMOVE:
        if (!a->hovering) {
            a->hovering = true;
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, wnd, 0};
            TrackMouseEvent(&track);
            InvalidateRect(wnd, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        a->hovering = false;
        InvalidateRect(wnd, nullptr, FALSE);
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
    if (state_->wnd || !IsWindow(staticWnd)) return false;
    wchar_t cls[16] = {};
    GetClassNameW(staticWnd, cls, 16);
    if (lstrcmpiW(cls, L"Static") != 0) return false;
    AnchorData* a = state_;
    if (!SetWindowSubclass(staticWnd, AnchorProc, kSubclassId, reinterpret_cast<DWORD_PTR>(a))) return false;
    a->wnd = staticWnd;
    a->hovering = false;
    a->oldStyle = GetWindowLongPtrW(staticWnd, GWL_STYLE);
    SetWindowLongPtrW(staticWnd, GWL_STYLE, a->oldStyle | SS_NOTIFY);
    MakeUnderlined(a);
    FitToText(a);
    InvalidateRect(staticWnd, nullptr, TRUE);
    return true;
}

void CAnchorKit::UnsubclassWnd() {
    HWND wnd = state_->wnd;
    if (!wnd) return;
    state_->wnd = nullptr;
    if (!IsWindow(wnd)) return;
    RemoveWindowSubclass(wnd, AnchorProc, kSubclassId);
    SetWindowLongPtrW(wnd, GWL_STYLE, state_->oldStyle);
    InvalidateRect(wnd, nullptr, TRUE);
}

bool CAnchorKit::IsSubclass() const { return state_->wnd != nullptr; }

HWND CAnchorKit::GetSafeHwnd() const { return state_->wnd; }

void CAnchorKit::SetTextColor(COLORREF normal, COLORREF hover, COLORREF checked) {
    state_->normal = normal;
    state_->hover = hover;
    state_->checkedColour = checked;
    if (state_->wnd) InvalidateRect(state_->wnd, nullptr, FALSE);
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
        if (name.empty() && state_->wnd) {
            LOGFONTW current = {};
            GetObjectW(BaseFont(state_), sizeof(current), &current);
            name = current.lfFaceName;
        }
        vantor::CopyField(lf.lfFaceName, LF_FACESIZE, name.c_str());
        state_->font.reset(CreateFontIndirectW(&lf));
    }
    if (state_->wnd) {
        MakeUnderlined(state_);
        FitToText(state_);
        InvalidateRect(state_->wnd, nullptr, TRUE);
    }
}

void CAnchorKit::SetChecked(bool checked) {
    state_->checked = checked;
    if (state_->wnd) InvalidateRect(state_->wnd, nullptr, FALSE);
}

bool CAnchorKit::IsChecked() const { return state_->checked; }
