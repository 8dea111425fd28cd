// The strip's exports and its panel: a child dialog that lays out its buttons on every size
// message and passes their clicks up to its own parent.
#include "ButtonStrip.h"

#include "LiveSet.h"
#include "ModulePath.h"
#include "StripButton.h"
#include "StripGrid.h"
#include "StripIds.h"

struct ButtonStripRecord {
    HWND panel;
    int count;
    int cellWidth;
    int cellHeight;
};

namespace {

const wchar_t kStripProperty[] = L"this";
const int kDefaultCell = 150;

vantor::LiveSet<ButtonStripRecord> g_strips;

ButtonStripRecord* StripOf(HWND panel) { return static_cast<ButtonStripRecord*>(GetPropW(panel, kStripProperty)); }

// The panel's children in window order take the grid's cells row by row; children beyond
// the grid keep their place.
void LayOutButtons(HWND panel, const ButtonStripRecord& strip) {
    RECT client = {};
    GetClientRect(panel, &client);
    buttonstrip::Grid grid =
        buttonstrip::LayOut(client.right, client.bottom, strip.cellWidth, strip.cellHeight, strip.count);
    int index = 0;
    for (HWND child = GetWindow(panel, GW_CHILD); child && index < grid.Cells();
         child = GetWindow(child, GW_HWNDNEXT), ++index) {
        RECT rect = grid.ButtonRect(index);
        MoveWindow(child, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    }
    // The panel never paints its background, so the places that buttons left are repainted
    // by the parent, whose background shows through the panel.
    RECT area = client;
    MapWindowPoints(panel, GetParent(panel), reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(GetParent(panel), &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void AskForLayout(HWND panel) { PostMessageW(panel, WM_SIZE, SIZE_RESTORED, 0); }

INT_PTR CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* strip = reinterpret_cast<ButtonStripRecord*>(lParam);
            strip->panel = panel;
            SetPropW(panel, kStripProperty, strip);
            return TRUE;
        }
        case WM_SIZE:
            if (ButtonStripRecord* strip = StripOf(panel)) LayOutButtons(panel, *strip);
            return TRUE;
        case WM_ERASEBKGND:
            // The parent's background shows through between the buttons.
            SetWindowLongPtrW(panel, DWLP_MSGRESULT, 1);
            return TRUE;
        case WM_COMMAND:
            if (wParam < 0x10000) SendMessageW(GetParent(panel), WM_COMMAND, wParam, lParam);
            return TRUE;
        case WM_DESTROY:
            // A panel destroyed with its parent leaves the strip without a window, so a later
            // Destroy never reaches a window that reuses the handle.
            if (ButtonStripRecord* strip = static_cast<ButtonStripRecord*>(RemovePropW(panel, kStripProperty)))
                strip->panel = nullptr;
            return TRUE;
        default:
            return FALSE;
    }
}

ButtonStripRecord* LiveStrip(HBUTTONSTRIP strip) { return g_strips.Contains(strip) ? strip : nullptr; }

}  // namespace

extern "C" HBUTTONSTRIP WINAPI Create(HWND parent, int left, int top, int right, int bottom) {
    auto* strip = new ButtonStripRecord{nullptr, 0, kDefaultCell, kDefaultCell};
    HWND panel = CreateDialogParamW(vantor::ThisModule(), MAKEINTRESOURCEW(IDD_STRIP_PANEL), parent, PanelProc,
                                    reinterpret_cast<LPARAM>(strip));
    if (!panel) {
        delete strip;
        return nullptr;
    }
    g_strips.Add(strip);
    MoveWindow(panel, left, top, right - left, bottom - top, FALSE);
    ShowWindow(panel, SW_SHOW);
    return strip;
}

extern "C" BOOL WINAPI Destroy(HBUTTONSTRIP handle) {
    ButtonStripRecord* strip = LiveStrip(handle);
    if (!strip) return FALSE;
    if (strip->panel && !DestroyWindow(strip->panel)) return FALSE;
    g_strips.Remove(strip);
    delete strip;
    return TRUE;
}

extern "C" BOOL WINAPI Move(HBUTTONSTRIP handle, int, int, int, int) {
    ButtonStripRecord* strip = LiveStrip(handle);
    if (!strip || !strip->panel) return FALSE;
    RECT client = {};
    GetClientRect(strip->panel, &client);
    SendMessageW(strip->panel, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    return TRUE;
}

extern "C" BOOL WINAPI AddButton(HBUTTONSTRIP handle, LPCWSTR picturePath, int id) {
    ButtonStripRecord* strip = LiveStrip(handle);
    if (!strip || !strip->panel) return FALSE;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(GetParent(strip->panel), GWLP_HINSTANCE));
    HWND button = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0, strip->panel,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!button) return FALSE;
    ++strip->count;
    buttonstrip::AdoptButton(button);
    SendMessageW(button, WM_STRIP_SETIMAGE, reinterpret_cast<WPARAM>(picturePath), 0);
    AskForLayout(strip->panel);
    return TRUE;
}

extern "C" BOOL WINAPI ResizeButton(HBUTTONSTRIP handle, int cellWidth, int cellHeight) {
    ButtonStripRecord* strip = LiveStrip(handle);
    // A cell below one pixel would divide the panel by zero.
    if (!strip || !strip->panel || cellWidth < 1 || cellHeight < 1) return FALSE;
    strip->cellWidth = cellWidth;
    strip->cellHeight = cellHeight;
    AskForLayout(strip->panel);
    return TRUE;
}
