// The flat scroll bars along the web area, and the "SdkProgressSliderBar" window class.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include "TilePaneIds.h"
#include "TilePaneWindow.h"

namespace tilepane {
namespace {

const wchar_t kSliderClass[] = L"SdkProgressSliderBar";

// --- UxTheme, bound on first use; local replacements where it or a function is missing.

typedef BOOL(WINAPI* IsAppThemedFn)();
typedef HTHEME(WINAPI* OpenThemeDataFn)(HWND, LPCWSTR);
typedef HRESULT(WINAPI* DrawThemeBackgroundFn)(HTHEME, HDC, int, int, const RECT*, const RECT*);
typedef HRESULT(WINAPI* GetThemePartSizeFn)(HTHEME, HDC, int, int, LPCRECT, THEMESIZE, SIZE*);
typedef HRESULT(WINAPI* GetThemeBackgroundContentRectFn)(HTHEME, HDC, int, int, LPCRECT, LPRECT);
typedef HRESULT(WINAPI* CloseThemeDataFn)(HTHEME);

BOOL WINAPI NoAppTheme() { return FALSE; }
HTHEME WINAPI NoThemeData(HWND, LPCWSTR) { return nullptr; }
HRESULT WINAPI NoDrawBackground(HTHEME, HDC, int, int, const RECT*, const RECT*) { return E_FAIL; }
HRESULT WINAPI NoPartSize(HTHEME, HDC, int, int, LPCRECT, THEMESIZE, SIZE*) { return E_FAIL; }
HRESULT WINAPI NoContentRect(HTHEME, HDC, int, int, LPCRECT, LPRECT) { return E_FAIL; }
HRESULT WINAPI NoCloseTheme(HTHEME) { return E_FAIL; }

struct Theme {
    IsAppThemedFn isAppThemed = NoAppTheme;
    OpenThemeDataFn openThemeData = NoThemeData;
    DrawThemeBackgroundFn drawBackground = NoDrawBackground;
    GetThemePartSizeFn partSize = NoPartSize;
    GetThemeBackgroundContentRectFn contentRect = NoContentRect;
    CloseThemeDataFn closeThemeData = NoCloseTheme;
};

template <typename Fn>
void Bind(HMODULE module, const char* name, Fn* slot) {
    Fn found = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    if (found) *slot = found;
}

const Theme& ThemeCalls() {
    static const Theme theme = [] {
        Theme t;
        HMODULE ux = LoadLibraryW(L"UxTheme.dll");
        Bind(ux, "IsAppThemed", &t.isAppThemed);
        Bind(ux, "OpenThemeData", &t.openThemeData);
        Bind(ux, "DrawThemeBackground", &t.drawBackground);
        Bind(ux, "GetThemePartSize", &t.partSize);
        Bind(ux, "GetThemeBackgroundContentRect", &t.contentRect);
        Bind(ux, "CloseThemeData", &t.closeThemeData);
        return t;
    }();
    return theme;
}

struct SliderState {
    int tick = 0;
    int interval = 0;
    int blocks = 0;
};

void PaintSlider(HWND window, SliderState* s) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    const Theme& t = ThemeCalls();
    HTHEME theme = t.openThemeData(window, L"Progress");
    bool themed = theme && t.isAppThemed() && !(GetWindowLongW(window, GWL_STYLE) & 0x8000);
    RECT inner = client;
    int b = 0;
    if (themed) {
        t.drawBackground(theme, dc, 1, 1, &client, nullptr);
        t.contentRect(theme, dc, 1, 1, &client, &inner);
        SIZE chunk = {};
        if (SUCCEEDED(t.partSize(theme, dc, 3, 1, nullptr, TS_TRUE, &chunk))) b = chunk.cx;
    } else {
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        RECT edge = client;
        DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
        InflateRect(&inner, -2, -2);
        b = (inner.bottom - inner.top) * 3 / 4;
    }
    SliderFrame frame = SliderBlocks(inner.left, inner.right, b, s->tick, s->blocks);
    for (const SliderBlock& block : frame.blocks) {
        RECT r = {block.left, inner.top, block.right, inner.bottom};
        if (themed) {
            t.drawBackground(theme, dc, 3, 1, &r, nullptr);
        } else {
            FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
    }
    if (frame.restart) s->tick = 0;
    if (theme) t.closeThemeData(theme);
    EndPaint(window, &ps);
}

LRESULT CALLBACK SliderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<SliderState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new SliderState));
        return 0;
    case WM_DESTROY:
        KillTimer(window, 0);
        delete s;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return 0;
    default:
        break;
    }
    if (!s) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_USER: return s->interval;
    case WM_USER + 1:
        s->interval = static_cast<int>(wParam);
        if (IsWindowEnabled(window)) SetTimer(window, 0, static_cast<UINT>(s->interval), nullptr);
        return 1;
    case WM_USER + 2: return s->blocks;
    case WM_USER + 3:
        if (wParam < 1 || wParam > 20) return 0;
        s->blocks = static_cast<int>(wParam);
        return 1;
    case WM_ENABLE:
        if (wParam) {
            SetTimer(window, 0, static_cast<UINT>(s->interval), nullptr);
        } else {
            KillTimer(window, 0);
            s->tick = 0;
            RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
        return 0;
    case WM_TIMER:
        ++s->tick;
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        return 0;
    case WM_PAINT:
        PaintSlider(window, s);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LONG g_sliderUsers = 0;

// The flat scroll-bar calls, bound from comctl32 at first use (not every import library
// carries them); without them the window's own scroll bars do the same job.
struct FlatScrollCalls {
    BOOL(WINAPI* initialize)(HWND) = nullptr;
    BOOL(WINAPI* enable)(HWND, int, UINT) = nullptr;
    BOOL(WINAPI* show)(HWND, int, BOOL) = nullptr;
    int(WINAPI* getPos)(HWND, int) = nullptr;
    BOOL(WINAPI* setRange)(HWND, int, int, int, BOOL) = nullptr;
    int(WINAPI* setPos)(HWND, int, int, BOOL) = nullptr;
    BOOL(WINAPI* getInfo)(HWND, int, LPSCROLLINFO) = nullptr;
};

const FlatScrollCalls& FlatScroll() {
    static const FlatScrollCalls calls = [] {
        FlatScrollCalls c;
        HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
        Bind(comctl, "InitializeFlatSB", &c.initialize);
        Bind(comctl, "FlatSB_EnableScrollBar", &c.enable);
        Bind(comctl, "FlatSB_ShowScrollBar", &c.show);
        Bind(comctl, "FlatSB_GetScrollPos", &c.getPos);
        Bind(comctl, "FlatSB_SetScrollRange", &c.setRange);
        Bind(comctl, "FlatSB_SetScrollPos", &c.setPos);
        Bind(comctl, "FlatSB_GetScrollInfo", &c.getInfo);
        if (!c.initialize || !c.enable || !c.show || !c.getPos || !c.setRange || !c.setPos || !c.getInfo) {
            c = FlatScrollCalls{};
        }
        return c;
    }();
    return calls;
}

void InitFlatBar(HWND window, int bar) {
    const auto& f = FlatScroll();
    if (f.initialize && f.initialize(window)) {
        f.enable(window, bar, ESB_ENABLE_BOTH);
        f.show(window, bar, TRUE);
        return;
    }
    EnableScrollBar(window, bar, ESB_ENABLE_BOTH);
    ShowScrollBar(window, bar, TRUE);
}

int BarPosition(HWND window, int bar) {
    const auto& f = FlatScroll();
    return f.getPos ? f.getPos(window, bar) : GetScrollPos(window, bar);
}

void SetBarRange(HWND window, int bar, int end) {
    const auto& f = FlatScroll();
    if (f.setRange) f.setRange(window, bar, 0, end, FALSE);
    else SetScrollRange(window, bar, 0, end, FALSE);
}

// Where the thumb being dragged stands, in the bar's whole range.
int BarTrackPosition(HWND window, int bar) {
    const auto& f = FlatScroll();
    SCROLLINFO info = {sizeof info, SIF_TRACKPOS};
    BOOL read = f.getInfo ? f.getInfo(window, bar, &info) : GetScrollInfo(window, bar, &info);
    return read ? info.nTrackPos : 0;
}

void SetBarPosition(HWND window, int bar, int pos) {
    const auto& f = FlatScroll();
    if (f.setPos) f.setPos(window, bar, pos, TRUE);
    else SetScrollPos(window, bar, pos, TRUE);
}

}  // namespace

bool RegisterSliderClass() {
    if (InterlockedIncrement(&g_sliderUsers) > 1) return true;
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_GLOBALCLASS;
    wc.lpfnWndProc = SliderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = kSliderClass;
    return RegisterClassW(&wc) != 0;
}

void UnregisterSliderClass() {
    if (InterlockedDecrement(&g_sliderUsers) == 0) UnregisterClassW(kSliderClass, GetModuleHandleW(nullptr));
}

// --- TileScrollHost

bool TileScrollHost::Create(HINSTANCE module, TilePaneWindow* pane, bool vertical) {
    pane_ = pane;
    vertical_ = vertical;
    window_ = vantor::LinkedDialog<TileScrollHost>::Create(module, IDD_TILESCROLL, pane->window(), this);
    if (window_ && pane->browser()) {
        SetWindowPos(window_, pane->browser()->m_hWnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return window_ != nullptr;
}

INT_PTR TileScrollHost::Handle(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetWindowTextW(window_, L"TilePane_ScrollDlg");
        InitFlatBar(window_, vertical_ ? SB_VERT : SB_HORZ);
        return TRUE;
    }
    if ((message == WM_VSCROLL && vertical_) || (message == WM_HSCROLL && !vertical_)) {
        OnScroll(wParam);
        return TRUE;
    }
    if (message == WM_DESTROY) {
        vantor::LinkedDialog<TileScrollHost>::Unlink(window_);
        window_ = nullptr;
    }
    return FALSE;
}

int TileScrollHost::Position() const {
    return window_ ? BarPosition(window_, vertical_ ? SB_VERT : SB_HORZ) : 0;
}

void TileScrollHost::SetRange(int end) {
    int bar = vertical_ ? SB_VERT : SB_HORZ;
    SetBarRange(window_, bar, end);
    SetBarPosition(window_, bar, 0);
}

void TileScrollHost::OnScroll(WPARAM wParam) {
    const RECT& web = pane_->webRect();
    int extent = vertical_ ? web.bottom - web.top : web.right - web.left;
    int p = 0;
    int bar = vertical_ ? SB_VERT : SB_HORZ;
    int thumb = ThumbOf(wParam, BarTrackPosition(window_, bar));
    if (!ScrollPosition(LOWORD(wParam), thumb, Position(), extent, &p)) return;
    SetBarPosition(window_, bar, p);
    int mine = Position();  // the bar keeps within its range
    int other = pane_->OtherPosition(vertical_);
    if (pane_->browser()) {
        if (vertical_) {
            pane_->browser()->ScrollIE(other, mine);
        } else {
            pane_->browser()->ScrollIE(mine, other);
        }
    }
}

}  // namespace tilepane
