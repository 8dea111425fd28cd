#include "EmoticonPicker.h"

#include "Emoticons.h"
#include "Handles.h"
#include "ModulePath.h"

namespace vantor {
namespace imkit {

namespace {

const COLORREF kGridGrey = RGB(0x80, 0x80, 0x80);

// One window per process; its state lives here and is touched on the UI thread only.
struct PickerState {
    HWND window = nullptr;
    HWND owner = nullptr;
    int hovered = -1;
    int pressed = -1;
    RECT hoveredArea{};
    bool trackingLeave = false;
};
PickerState g_picker;

RECT Grown(RECT r, int by) {
    InflateRect(&r, by, by);
    return r;
}

void SetHovered(HWND wnd, int cell) {
    if (cell == g_picker.hovered) return;
    if (g_picker.hovered >= 0) InvalidateRect(wnd, &g_picker.hoveredArea, FALSE);
    g_picker.hovered = cell;
    // The frame reaches outside the cell, so the repainted area is a little larger.
    g_picker.hoveredArea = cell >= 0 ? Grown(PickerCellRect(cell), 2) : RECT{};
    if (cell >= 0) InvalidateRect(wnd, &g_picker.hoveredArea, FALSE);
}

void Hide(HWND wnd) {
    SetHovered(wnd, -1);
    ShowWindow(wnd, SW_HIDE);
}

void OnPaint(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT client;
    GetClientRect(wnd, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    // Drawn off screen first: the faces would flicker on every hover change otherwise.
    HDC memory = CreateCompatibleDC(dc);
    UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
    if (memory && bitmap) {
        {
            ScopedSelect select(memory, bitmap.get());
            PaintPicker(memory, client, g_picker.hovered, EmoticonIcon);
            BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        }
    }
    if (memory) DeleteDC(memory);
    EndPaint(wnd, &ps);
}

void OnMouseMove(HWND wnd, POINT point) {
    if (!g_picker.trackingLeave) {
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, wnd, 0};
        g_picker.trackingLeave = TrackMouseEvent(&track) != FALSE;
    }
    SetHovered(wnd, PickerCellAt(point));
}

void OnButtonDown(HWND wnd, POINT point) {
    int cell = PickerCellAt(point);
    if (cell < 0) return;
    SetCapture(wnd);
    g_picker.pressed = cell;
}

void OnButtonUp(HWND wnd) {
    int pressed = g_picker.pressed;
    HWND owner = g_picker.owner;
    g_picker.pressed = -1;
    g_picker.owner = nullptr;
    if (pressed >= 0) {
        ReleaseCapture();
        HICON icon = EmoticonIcon(pressed);
        if (pressed == g_picker.hovered && icon && owner) {
            SendMessageW(owner, WM_EMOTICON_CHOSEN, static_cast<WPARAM>(pressed), reinterpret_cast<LPARAM>(icon));
        }
    }
    Hide(wnd);
}

INT_PTR CALLBACK PickerProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_INITDIALOG:
        SetWindowPos(wnd, nullptr, 0, 0, kPickerWidth, kPickerHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return FALSE;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(wnd, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT:
        OnPaint(wnd);
        return TRUE;
    case WM_MOUSEMOVE:
        OnMouseMove(wnd, point);
        return TRUE;
    case WM_MOUSELEAVE:
        g_picker.trackingLeave = false;
        SetHovered(wnd, -1);
        return TRUE;
    case WM_LBUTTONDOWN:
        OnButtonDown(wnd, point);
        return TRUE;
    case WM_LBUTTONUP:
        OnButtonUp(wnd);
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) Hide(wnd);
        return FALSE;
    case WM_KILLFOCUS:
        Hide(wnd);
        return FALSE;
    case WM_NCDESTROY:
        // Destroyed with a parent that did not park it: the next open makes a new one.
        if (g_picker.window == wnd) g_picker = PickerState{};
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

int PickerCellAt(POINT point) {
    for (int row = 0; row < kPickerRows; ++row) {
        for (int column = 0; column < kPickerColumns; ++column) {
            int index = row * kPickerColumns + column;
            RECT cell = PickerCellRect(index);
            if (PtInRect(&cell, point)) return index;
        }
    }
    return -1;
}

RECT PickerCellRect(int index) {
    if (index < 0 || index >= kPickerColumns * kPickerRows) return RECT{};
    int left = 1 + (index % kPickerColumns) * kPickerPitch;
    int top = 1 + (index / kPickerColumns) * kPickerPitch;
    return RECT{left, top, left + kPickerCell, top + kPickerCell};
}

void PaintPicker(HDC dc, const RECT& client, int hovered, const std::function<HICON(int)>& icon) {
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FillRect(dc, &client, white);
    FrameRect(dc, &client, black);

    UniqueGdi<HPEN> grey(CreatePen(PS_SOLID, 1, kGridGrey));
    {
        ScopedSelect pen(dc, grey.get());
        for (int row = 1; row < kPickerRows; ++row) {
            int y = client.top + row * kPickerPitch;
            MoveToEx(dc, client.left + 1, y, nullptr);
            LineTo(dc, client.right - 1, y);
        }
        for (int column = 1; column < kPickerColumns; ++column) {
            int x = client.left + column * kPickerPitch;
            MoveToEx(dc, x, client.top + 1, nullptr);
            LineTo(dc, x, client.bottom - 1);
        }
    }

    for (int index = 0; index < kPickerColumns * kPickerRows; ++index) {
        HICON face = icon ? icon(index) : nullptr;
        if (!face) continue;
        RECT cell = PickerCellRect(index);
        DrawIconEx(dc, client.left + cell.left, client.top + cell.top, face, kPickerCell, kPickerCell, 0, white,
                   DI_NORMAL);
    }

    if (hovered >= 0) {
        RECT frame = PickerCellRect(hovered);
        OffsetRect(&frame, client.left, client.top);
        FrameRect(dc, &frame, black);
        InflateRect(&frame, -1, -1);
        FrameRect(dc, &frame, black);
    }
}

HWND OpenEmoticonPicker(HWND owner) {
    if (!g_picker.window) {
        HWND wnd = CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(kEmoticonPickerTemplate), owner, PickerProc, 0);
        if (!wnd) return nullptr;
        g_picker = PickerState{};
        g_picker.window = wnd;
    } else if (GetParent(g_picker.window) != owner) {
        SetParent(g_picker.window, owner);
    }
    g_picker.owner = owner;
    return g_picker.window;
}

HWND EmoticonPickerWindow() { return g_picker.window; }

void ParkEmoticonPicker(HWND holder, HWND keeper) {
    HWND wnd = g_picker.window;
    if (!wnd || !holder || GetParent(wnd) != holder) return;
    Hide(wnd);
    SetParent(wnd, keeper);
    if (g_picker.owner == holder) g_picker.owner = nullptr;
}

void DestroyEmoticonPicker() {
    if (g_picker.window) DestroyWindow(g_picker.window);
    g_picker = PickerState{};
}

}  // namespace imkit
}  // namespace vantor
