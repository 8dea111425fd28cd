// Separator lines, frames and arcs in the shared pane colours, and window centring.
#include "CommonKit.h"

#include "Sync.h"
#include "VantorMessages.h"

namespace {

const wchar_t kColourFile[] = L"resource\\stagebay\\config.cfg";
const wchar_t kColourSection[] = L"rgb";

COLORREF ReadColour(const wchar_t* key) {
    COLORREF colour = RGB(0, 0, 0);
    _GetProfileRgbW(kColourSection, key, &colour, kColourFile);
    return colour;
}

// Pens of the frame helpers: made once and kept for the life of the process, so later
// edits of the colour file are not seen until the next start.
struct PenSlot {
    const wchar_t* key;
    int width;
    HPEN pen;
};

vantor::CriticalSection g_penLock;
PenSlot g_linePens[3] = {{L"frame_1", 1, nullptr}, {L"frame_2", 1, nullptr}, {L"frame_3", 1, nullptr}};
PenSlot g_arcPens[3] = {{L"frame_2", 3, nullptr}, {L"frame_1", 3, nullptr}, {L"frame_3", 3, nullptr}};

void FillPens(PenSlot (&slots)[3]) {
    vantor::Lock lock(g_penLock);
    for (PenSlot& slot : slots) {
        if (!slot.pen) slot.pen = CreatePen(PS_SOLID, slot.width, ReadColour(slot.key));
    }
}

// The frame pens go with the library when it is unloaded while the process runs (a
// plug-in that linked it may be loaded and freed many times); at process exit the system
// reclaims them.
void DeletePens(PenSlot (&slots)[3]) {
    vantor::Lock lock(g_penLock);
    for (PenSlot& slot : slots) {
        if (slot.pen) DeleteObject(slot.pen);
        slot.pen = nullptr;
    }
}

// Moves (x, y) to the quarter point of the circle for `angle`; other angles leave it.
void QuarterPoint(int angle, int cx, int cy, int radius, POINT& point) {
    switch (angle) {
        case 0:
        case 360: point = {cx + radius, cy}; break;
        case 90: point = {cx, cy - radius}; break;
        case 180: point = {cx - radius, cy}; break;
        case 270: point = {cx, cy + radius}; break;
        default: break;
    }
}

RECT WorkArea(HMONITOR monitor) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

// Start of a span of `size` centred on [low, high), kept inside [areaLow, areaHigh).
int CentredStart(LONG low, LONG high, int size, LONG areaLow, LONG areaHigh) {
    int start = (low + high) / 2 - size / 2;
    if (start < areaLow) return areaLow;
    if (start + size > areaHigh) return areaHigh - size;
    return start;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        DeletePens(g_linePens);
        DeletePens(g_arcPens);
    }
    return TRUE;
}

BOOL WINAPI DrawLine(HDC dc, int x1, int y1, int x2, int y2) {
    HPEN first = CreatePen(PS_SOLID, 1, ReadColour(L"line_1"));
    HPEN second = CreatePen(PS_SOLID, 1, ReadColour(L"line_2"));
    HGDIOBJ previous = SelectObject(dc, first);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, second);
    DeleteObject(first);
    MoveToEx(dc, x1, y1 - 1, nullptr);
    LineTo(dc, x2, y2 - 1);
    SelectObject(dc, previous);
    return DeleteObject(second);
}

void WINAPI Draw3Line(HDC dc, int x1, int y1, int x2, int y2, int direction) {
    FillPens(g_linePens);
    int step = direction == -1 ? -1 : direction == 1 ? 1 : 0;
    HGDIOBJ previous = nullptr;
    for (int i = 0; i < 3; ++i) {
        HGDIOBJ selected = SelectObject(dc, g_linePens[i].pen);
        if (i == 0) previous = selected;
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
        if (y1 == y2) {
            y1 += step;
            y2 += step;
        } else if (x1 == x2) {
            x1 += step;
            x2 += step;
        }
    }
    if (previous) SelectObject(dc, previous);
}

void WINAPI Draw3Arc(HDC dc, int startAngle, int endAngle, int cx, int cy, int radius, int direction) {
    FillPens(g_arcPens);
    POINT start = {cx, cy};
    QuarterPoint(startAngle, cx, cy, radius, start);
    POINT end = start;
    QuarterPoint(endAngle, cx, cy, radius, end);
    HGDIOBJ previous = SelectObject(dc, g_arcPens[0].pen);
    Arc(dc, cx - radius, cy - radius, cx + radius, cy + radius, start.x, start.y, end.x, end.y);
    if (previous) SelectObject(dc, previous);
}

BOOL WINAPI CenterWindow(HWND window, HWND centreOn) {
    if (!IsWindow(window)) return FALSE;
    LONG style = GetWindowLongW(window, GWL_STYLE);
    bool child = (style & WS_CHILD) != 0;
    if (!centreOn) {
        centreOn = child ? GetParent(window) : GetWindow(window, GW_OWNER);
        if (centreOn) {
            HWND asked = reinterpret_cast<HWND>(SendMessageW(centreOn, WM_QUERYCENTERWND, 0, 0));
            if (asked && IsWindow(asked)) centreOn = asked;
        }
    }

    RECT area = {}, centre = {};
    if (child) {
        HWND parent = GetParent(window);
        GetClientRect(parent, &area);
        if (centreOn) {
            GetClientRect(centreOn, &centre);
            MapWindowPoints(centreOn, parent, reinterpret_cast<POINT*>(&centre), 2);
        } else {
            centre = area;
        }
    } else {
        if (centreOn && (!IsWindowVisible(centreOn) || IsIconic(centreOn))) centreOn = nullptr;
        if (centreOn) {
            GetWindowRect(centreOn, &centre);
            area = WorkArea(MonitorFromWindow(centreOn, MONITOR_DEFAULTTONEAREST));
        } else {
            area = WorkArea(MonitorFromWindow(GetDesktopWindow(), MONITOR_DEFAULTTOPRIMARY));
            centre = area;
        }
    }

    RECT own = {};
    GetWindowRect(window, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int left = CentredStart(centre.left, centre.right, width, area.left, area.right);
    int top = CentredStart(centre.top, centre.bottom, height, area.top, area.bottom);
    return SetWindowPos(window, nullptr, left, top, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
