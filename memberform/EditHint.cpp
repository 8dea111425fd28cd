#include "EditHint.h"

namespace memberform {

EditHint::~EditHint() { Detach(); }

void EditHint::Attach(HWND edit, const std::wstring& hint) {
    if (edit_ || !edit) return;
    edit_ = edit;
    hint_ = hint.substr(0, 127);
    SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EditHint::HintProc)));
}

void EditHint::Detach() {
    if (!edit_) return;
    if (IsWindow(edit_)) {
        SetWindowLongPtrW(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        SetWindowLongPtrW(edit_, GWLP_USERDATA, 0);
    }
    edit_ = nullptr;
}

LRESULT CALLBACK EditHint::HintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EditHint* self = reinterpret_cast<EditHint*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || self->edit_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

bool EditHint::PaintHint() {
    wchar_t text[128] = L"";
    if (GetWindowTextW(edit_, text, 128) > 0) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(edit_, &paint);
    RECT client;
    GetClientRect(edit_, &client);
    InflateRect(&client, -1, -1);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!hovered_) {
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(GetParent(edit_), WM_GETFONT, 0, 0)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(106, 106, 106));
        DrawTextW(dc, hint_.c_str(), -1, &client, DT_SINGLELINE | DT_LEFT | DT_TOP);
        SelectObject(dc, old);
    }
    EndPaint(edit_, &paint);
    return true;
}

LRESULT EditHint::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND edit = edit_;
    WNDPROC previous = previous_;
    switch (message) {
    case WM_PAINT:
        if (PaintHint()) return 0;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_TAB) {
            HWND dialog = GetParent(edit);
            SetFocus(GetNextDlgTabItem(dialog, edit, GetKeyState(VK_SHIFT) < 0));
        }
        break;
    case WM_MOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, edit, 1};
            tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        break;
    case WM_MOUSEHOVER:
        hovered_ = true;
        SetFocus(edit);
        RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        break;
    case WM_MOUSELEAVE:
        hovered_ = tracking_ = false;
        RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        break;
    case WM_DESTROY:
        // The edit gets its own procedure back first, so that it still sees its last
        // messages (WM_NCDESTROY among them) and frees what it holds.
        Detach();
        break;
    }
    return CallWindowProcW(previous, edit, message, wParam, lParam);
}

}  // namespace memberform
