// The skinned dialog base: window binding, message dispatch and caption mouse behaviour.
// Skin loading, painting and the window region are in SkinPaint.cpp.
#include "SkinFrame.h"

#include <windowsx.h>

namespace {

const char kThisProperty[] = "this";

POINT PointOf(LPARAM lParam) {
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return point;
}

// Closing always runs through the system command so that OnSysCommand decides how a
// modal or a modeless dialog ends.
void PostSkinnedClose(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, SKINFRAME_CLOSE_RESULT); }

bool IsBox(int hit) { return hit == SKINFRAME_HIT_CLOSE || hit == SKINFRAME_HIT_MINIMIZE; }

}  // namespace

CSkinFrame::CSkinFrame(bool skinned, unsigned long captionButtons)
    : m_hWnd(nullptr),
      m_captionStart(RGB(187, 202, 228)),
      m_captionEnd(RGB(255, 255, 255)),
      m_captionRect(),
      m_glyphStrip(nullptr),
      m_closeBox(),
      m_minimizeBox(),
      m_lastHit(0),
      m_pressedHit(0),
      m_captionButtons(captionButtons),
      m_frameColor(RGB(127, 127, 127)),
      m_skinned(skinned),
      m_modal(true) {}

CSkinFrame::~CSkinFrame() {
    UnloadSkinResource();
    // An owner that deletes the object before its window is gone would leave the window
    // pointing at freed memory; unlink it so later messages reach nothing.
    if (m_hWnd && IsWindow(m_hWnd) && GetPropA(m_hWnd, kThisProperty) == this) RemovePropA(m_hWnd, kThisProperty);
}

INT_PTR CALLBACK CSkinFrame::FrameDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* frame = static_cast<CSkinFrame*>(GetPropA(window, kThisProperty));
    if (frame) {
        INT_PTR result = frame->DialogProc(message, wParam, lParam);
        // The object may have deleted itself while handling the final message: only the
        // window is touched from here on.
        if (message == WM_NCDESTROY) RemovePropA(window, kThisProperty);
        return result;
    }
    if (message != WM_INITDIALOG) return 0;
    frame = reinterpret_cast<CSkinFrame*>(lParam);
    if (!frame) return 0;
    frame->m_hWnd = window;
    SetPropA(window, kThisProperty, frame);
    return frame->DialogProc(message, wParam, lParam);
}

bool CSkinFrame::Create(HINSTANCE module, UINT dialogId, HWND parent) {
    m_modal = false;
    HWND window = CreateDialogParamW(module, MAKEINTRESOURCEW(dialogId), parent, FrameDialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

int CSkinFrame::DoModal(HINSTANCE module, UINT dialogId, HWND parent) {
    return static_cast<int>(
        DialogBoxParamW(module, MAKEINTRESOURCEW(dialogId), parent, FrameDialogProc, reinterpret_cast<LPARAM>(this)));
}

bool CSkinFrame::Destroy() {
    if (m_hWnd) SendMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, SKINFRAME_CLOSE_RESULT);
    return false;
}

bool CSkinFrame::IsModal() const { return m_modal; }

void CSkinFrame::GetRealClientRect(LPRECT rect) const {
    if (!rect) return;
    SetRectEmpty(rect);
    GetClientRect(m_hWnd, rect);
    if (m_skinned) {
        rect->top += m_captionRect.bottom - m_captionRect.top;
        InflateRect(rect, -2, -2);
    }
}

INT_PTR CSkinFrame::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_hWnd, &paint);
        if (dc) {
            OnPaint(dc);
            EndPaint(m_hWnd, &paint);
        }
        return 0;
    }
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam)) ? 1 : 0;
    case WM_DRAWITEM:
        return OnDrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)) ? 1 : 0;
    case WM_NCDESTROY:
        OnNcDestroy();
        return 0;
    case WM_NCHITTEST:
        // Only recorded: the system's own hit test answers the message.
        m_lastHit = OnTestNcHit(PointOf(lParam));
        return 0;
    case WM_INITDIALOG:
        return OnInitDialog() ? 1 : 0;
    case WM_COMMAND:
        OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam, lParam) ? 1 : 0;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(OnCtlColorDlg(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(
            OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wParam), PointOf(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam), PointOf(lParam));
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    default:
        return 0;
    }
}

bool CSkinFrame::OnInitDialog() {
    // Child dialogs live inside another window's frame: no skin and no region of their own.
    if (!(GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD)) {
        LoadSkinResource();
        MakeRgnEffect();
    }
    return true;
}

int CSkinFrame::OnCreate() { return 0; }

void CSkinFrame::OnDestroy() {}

void CSkinFrame::OnNcDestroy() {}

void CSkinFrame::OnCommand(UINT, UINT, HWND) {}

bool CSkinFrame::OnSysCommand(WPARAM command, LPARAM lParam) {
    // The low four bits of a system command are the system's own.
    if ((command & 0xFFF0) != SC_CLOSE) return false;
    if (m_modal)
        EndDialog(m_hWnd, lParam);
    else
        DestroyWindow(m_hWnd);
    return true;
}

HBRUSH CSkinFrame::OnCtlColorDlg(HDC dc, HWND window) {
    return reinterpret_cast<HBRUSH>(
        DefWindowProcW(m_hWnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
}

HBRUSH CSkinFrame::OnCtlColorStatic(HDC dc, HWND control) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, ARRAYSIZE(className));
    // Read-only edits show text the user selects and copies: they keep a solid background.
    if (lstrcmpiW(className, L"Edit") == 0)
        return reinterpret_cast<HBRUSH>(
            DefWindowProcW(m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

int CSkinFrame::OnTestNcHit(POINT screenPoint) {
    if (m_skinned) {
        POINT client = screenPoint;
        ScreenToClient(m_hWnd, &client);
        // Boxes answer even when the mask hides them: derived dialogs may draw their own.
        if (PtInRect(&m_closeBox, client)) return SKINFRAME_HIT_CLOSE;
        if (PtInRect(&m_minimizeBox, client)) return SKINFRAME_HIT_MINIMIZE;
        if (PtInRect(&m_captionRect, client)) return SKINFRAME_HIT_CAPTION;
    }
    return static_cast<int>(DefWindowProcW(m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(screenPoint.x, screenPoint.y)));
}

void CSkinFrame::OnLButtonDown(UINT, POINT clientPoint) {
    if (!m_skinned) return;
    m_pressedHit = m_lastHit;
    if (m_pressedHit == SKINFRAME_HIT_CAPTION) {
        POINT screen = clientPoint;
        ClientToScreen(m_hWnd, &screen);
        // The system moves the window with the pointer until the button is released.
        SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    } else if (IsBox(m_pressedHit)) {
        SetCapture(m_hWnd);
    }
}

void CSkinFrame::OnMouseMove(UINT, POINT clientPoint) {
    POINT screen = clientPoint;
    ClientToScreen(m_hWnd, &screen);
    m_lastHit = OnTestNcHit(screen);
    // Derived dialogs repaint hover states of the boxes.
    if (m_skinned && IsBox(m_lastHit)) {
        InvalidateRect(m_hWnd, &m_closeBox, TRUE);
        InvalidateRect(m_hWnd, &m_minimizeBox, TRUE);
    }
}

void CSkinFrame::OnMouseLeave() {}

void CSkinFrame::OnLButtonUp(UINT, POINT) {
    if (!m_skinned) return;
    int pressed = m_pressedHit;
    int last = m_lastHit;
    m_pressedHit = 0;
    if (IsBox(pressed)) ReleaseCapture();
    // A press that ends outside the box it started on does nothing.
    if (last != pressed) return;
    if (pressed == SKINFRAME_HIT_CLOSE && (m_captionButtons & SKINFRAME_BUTTON_CLOSE))
        PostSkinnedClose(m_hWnd);
    else if (pressed == SKINFRAME_HIT_MINIMIZE && (m_captionButtons & SKINFRAME_BUTTON_MINIMIZE))
        PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
}

void CSkinFrame::OnClose() { PostSkinnedClose(m_hWnd); }

bool CSkinFrame::OnDrawItem(LPDRAWITEMSTRUCT) { return false; }

void CSkinFrame::LoadCustomSkin() {}

void CSkinFrame::UnloadCustomSkin() {}

void CSkinFrame::OnDraw(HDC) {}

void CSkinFrame::DrawDownRect(HDC dc, const RECT& rect) {
    RECT edge = rect;
    DrawEdge(dc, &edge, EDGE_SUNKEN, BF_LEFT | BF_TOP);
}

void CSkinFrame::DrawUpRect(HDC dc, const RECT& rect) {
    RECT edge = rect;
    DrawEdge(dc, &edge, EDGE_RAISED, BF_RIGHT | BF_BOTTOM);
}
