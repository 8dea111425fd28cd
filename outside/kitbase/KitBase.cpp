#include "KitBase.h"

namespace kitbase {

std::wstring WindowText(HWND wnd) {
    int n = GetWindowTextLengthW(wnd);
    if (n <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(wnd, &text[0], n + 1);
    text.resize(n > 0 ? n : 0);
    return text;
}

void DrawControlText(HDC dc, HWND wnd, const std::wstring& text, RECT rc, COLORREF colour, UINT format,
                     HFONT font) {
    if (!font) font = reinterpret_cast<HFONT>(SendMessageW(wnd, WM_GETFONT, 0, 0));
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, colour);
    HGDIOBJ oldFont = SelectObject(dc, font);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, format);
    SelectObject(dc, oldFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
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

bool Subclass::Attach(HWND wnd, const wchar_t* cls, SUBCLASSPROC proc, UINT_PTR id, void* data, LONG_PTR keep,
                      LONG_PTR add) {
    if (wnd_ || !IsWindow(wnd)) return false;
    wchar_t name[32] = {};
    GetClassNameW(wnd, name, 32);
    if (lstrcmpiW(name, cls) != 0) return false;
    if (!SetWindowSubclass(wnd, proc, id, reinterpret_cast<DWORD_PTR>(data))) return false;
    wnd_ = wnd;
    proc_ = proc;
    id_ = id;
    hover_ = false;
    oldStyle_ = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, (oldStyle_ & keep) | add);
    InvalidateRect(wnd, nullptr, TRUE);
    return true;
}

bool Subclass::Detach() {
    HWND wnd = wnd_;
    wnd_ = nullptr;
    hover_ = false;
    if (!wnd || !IsWindow(wnd)) return false;
    RemoveWindowSubclass(wnd, proc_, id_);
    SetWindowLongPtrW(wnd, GWL_STYLE, oldStyle_);
    InvalidateRect(wnd, nullptr, TRUE);
    return true;
}

bool Subclass::OnMessage(HWND wnd, UINT msg) {
    switch (msg) {
    case WM_MOUSEMOVE:
        if (hover_) return false;
        hover_ = true;
        {
            TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, wnd, 0};
            TrackMouseEvent(&track);
        }
        InvalidateRect(wnd, nullptr, FALSE);
        return true;
    case WM_MOUSELEAVE:
        hover_ = false;
        InvalidateRect(wnd, nullptr, FALSE);
        return true;
    case WM_NCDESTROY:
        RemoveWindowSubclass(wnd, proc_, id_);
        if (wnd == wnd_) {
            wnd_ = nullptr;
            hover_ = false;
        }
        return false;
    }
    return false;
}

}  // namespace kitbase
