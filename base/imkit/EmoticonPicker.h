// The emoticon picker: one borderless grid of the 30 faces per process, dropped down by
// the chat windows. The choice goes to the owner as WM_EMOTICON_CHOSEN (index, icon).
//
// The window is made from dialog template 102 of the module that links this library:
// that module's resource script includes EmoticonPicker.rc.
#pragma once

#include <windows.h>

#include <functional>

namespace vantor {
namespace imkit {

constexpr UINT WM_EMOTICON_CHOSEN = WM_USER + 2003;
constexpr int kEmoticonPickerTemplate = 102;
constexpr int kPickerWidth = 311;
constexpr int kPickerHeight = 94;

// Grid geometry in client coordinates: 10 x 3 cells of 30 pixels at a 31-pixel pitch,
// inside a 1-pixel border.
constexpr int kPickerColumns = 10;
constexpr int kPickerRows = 3;
constexpr int kPickerPitch = 31;
constexpr int kPickerCell = 30;

// The cell under the point, or -1 (border, grid lines, outside).
int PickerCellAt(POINT point);
// The cell's 30 x 30 rectangle; empty for an index outside the grid.
RECT PickerCellRect(int index);
// The whole picture: border, grid, faces, and the 2-pixel frame of the hovered cell.
void PaintPicker(HDC dc, const RECT& client, int hovered, const std::function<HICON(int)>& icon);

// Makes the picker on first use, or re-parents it, so that `owner` is its parent and
// the window told of the choice. Null when the window cannot be made. The caller places,
// shows and focuses it.
HWND OpenEmoticonPicker(HWND owner);
// The picker's window, or null before the first open.
HWND EmoticonPickerWindow();
// A window that goes away while it holds the picker hands it to `keeper` (hidden), so the
// picker is not destroyed with it. Nothing happens when `holder` is not its parent.
void ParkEmoticonPicker(HWND holder, HWND keeper);
// Destroys the picker; the linking module does this before it unloads.
void DestroyEmoticonPicker();

}  // namespace imkit
}  // namespace vantor
