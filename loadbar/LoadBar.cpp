// The loading bar's window class and exports. Everything a bar shows is drawn when its
// background is erased, so a step (which invalidates with erasing) repaints it whole.
#include "LoadBar.h"

#include <string>

#include "BarLook.h"
#include "Handles.h"

namespace {

const wchar_t kClassName[] = L"progress_wnd_cls";
const wchar_t kDataProperty[] = L"msgcls";
const int kFontHeight = 15;

struct BarColours {
    COLORREF start;
    COLORREF end;
};

struct BarData {
    HWND window;
    int percentage;
    COLORREF start;
    COLORREF end;
    HFONT font;
};

BarData* DataOf(HWND window) { return static_cast<BarData*>(GetPropW(window, kDataProperty)); }

// The class lives under the executable, so the bar can be made by any module of the host.
HINSTANCE ClassInstance() { return GetModuleHandleW(nullptr); }

COLOR16 Channel(BYTE value) { return static_cast<COLOR16>(value << 8); }

TRIVERTEX Vertex(int x, int y, COLORREF colour) {
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = Channel(GetRValue(colour));
    vertex.Green = Channel(GetGValue(colour));
    vertex.Blue = Channel(GetBValue(colour));
    return vertex;
}

void Paint(HWND window, HDC dc, const BarData& data) {
    RECT client = {};
    GetClientRect(window, &client);
    HBRUSH background = reinterpret_cast<HBRUSH>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND));
    FillRect(dc, &client, background ? background : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    int filled = loadbar::FilledWidth(client.right - client.left, data.percentage);
    if (filled > 0) {
        TRIVERTEX ends[2] = {Vertex(client.left, client.top, data.start),
                             Vertex(client.left + filled, client.bottom, data.end)};
        GRADIENT_RECT span = {0, 1};
        GradientFill(dc, ends, 2, &span, 1, GRADIENT_FILL_RECT_H);
    }

    std::wstring caption = loadbar::Caption(data.percentage);
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, RGB(0, 0, 0));
    vantor::ScopedSelect font(dc, data.font);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

bool Attach(HWND window, const CREATESTRUCTW* create) {
    const BarColours* colours = static_cast<const BarColours*>(create->lpCreateParams);
    BarData* data = new BarData{window, 0, colours ? colours->start : RGB(0, 0, 255),
                                colours ? colours->end : RGB(0, 255, 0), nullptr};
    data->font = CreateFontW(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, nullptr);
    if (!SetPropW(window, kDataProperty, data)) {
        if (data->font) DeleteObject(data->font);
        delete data;
        return false;
    }
    return true;
}

void Detach(HWND window) {
    BarData* data = static_cast<BarData*>(RemovePropW(window, kDataProperty));
    if (!data) return;
    if (data->font) DeleteObject(data->font);
    delete data;
}

LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return Attach(window, reinterpret_cast<const CREATESTRUCTW*>(lParam)) ? 0 : -1;
        case WM_LOADBAR_STEP:
            if (BarData* data = DataOf(window)) {
                data->percentage = static_cast<int>(wParam);
                InvalidateRect(window, nullptr, TRUE);
            }
            return 1;
        case WM_ERASEBKGND:
            if (BarData* data = DataOf(window)) {
                Paint(window, reinterpret_cast<HDC>(wParam), *data);
                return 1;
            }
            break;
        case WM_DESTROY:
            Detach(window);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

extern "C" ATOM WINAPI InitLoadBar() {
    // A second call (a pane made again) finds the class still registered: that is ours.
    WNDCLASSEXW existing = {sizeof(existing)};
    ATOM atom = static_cast<ATOM>(GetClassInfoExW(ClassInstance(), kClassName, &existing));
    if (atom && existing.lpfnWndProc == BarProc) return atom;

    WNDCLASSEXW cls = {sizeof(cls)};
    cls.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = BarProc;
    cls.hInstance = ClassInstance();
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = kClassName;
    return RegisterClassExW(&cls);
}

extern "C" BOOL WINAPI UninitLoadBar() { return UnregisterClassW(kClassName, ClassInstance()); }

extern "C" HWND WINAPI CreateLoadBar(HWND parent, int left, int top, int right, int bottom, COLORREF start,
                                     COLORREF end) {
    BarColours colours = {start, end};
    return CreateWindowExW(0, kClassName, L"", WS_CHILD, left, top, right - left, bottom - top, parent, nullptr,
                           ClassInstance(), &colours);
}

extern "C" LRESULT WINAPI StepTo(HWND bar, int percentage) {
    return SendMessageW(bar, WM_LOADBAR_STEP, static_cast<WPARAM>(percentage), 0);
}
