// CommonKit: the helpers that the panes share.
//
// - Profile readers: INI values from a file named relative to the program folder (the
//   folder of the running EXE), with "error" standing for "not set".
// - The program folder itself.
// - Forwarders from a tab plug-in to the container and, by plug id, to any other tab
//   plug-in, given the container module handle that TabPlug_Create received.
// - Separator lines, frames and arcs in the colours of "resource\stagebay\config.cfg",
//   and window centring.
//
// Every export uses the standard Windows calling convention. Link the import library
// (libCommonKit.dll.a) or bind the exports by name from "<program folder>\CommonKit.dll".
#pragma once

#include <windows.h>

#include "VantorTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- Profile readers -------------------------------------------------------------
// `file` is relative to the program folder, without a leading backslash, for example
// "config\uiprof.cfg". A missing file, a missing key, an empty value, the value "error"
// (exactly; "Error" is a value) and a path longer than MAX_PATH - 1 characters all read
// as not set. Section and key must be given.

// 1 when a value was read; else 0. The buffer always receives what was read, cut to
// `chars` - 1 characters: the value, or "error" when the key or the file is missing.
int WINAPI _GetProfileStringA(LPCSTR section, LPCSTR key, LPSTR out, DWORD chars, LPCSTR file);
int WINAPI _GetProfileStringW(LPCWSTR section, LPCWSTR key, LPWSTR out, DWORD chars, LPCWSTR file);

// 1 and the value stored as a decimal number read like atol ("12abc" is 12, "abc" is 0);
// 0 when not set, leaving *value as it was.
int WINAPI _GetProfileIntA(LPCSTR section, LPCSTR key, int* value, LPCSTR file);
int WINAPI _GetProfileIntW(LPCWSTR section, LPCWSTR key, int* value, LPCWSTR file);

// 1 and a colour stored from "red,green,blue" (empty pieces skipped, missing parts 0,
// further pieces ignored, each part cut to 8 bits); 0 when not set, leaving *colour.
int WINAPI _GetProfileRgbA(LPCSTR section, LPCSTR key, COLORREF* colour, LPCSTR file);
int WINAPI _GetProfileRgbW(LPCWSTR section, LPCWSTR key, COLORREF* colour, LPCWSTR file);

// 1 and the program folder with its trailing backslash; 0 and nothing written when it
// needs more than `chars` characters with its terminator.
int WINAPI _GetModuleDirA(LPSTR out, DWORD chars);
int WINAPI _GetModuleDirW(LPWSTR out, DWORD chars);

// ---- Container and plug-in forwarders -----------------------------------------------
// `container` is the container module handle. Each call looks up its target anew and
// answers 0 when anything on the way is missing: the container export, the plug-in, its
// module or handle, or the plug-in's export. A plug-in's call runs with the plug-in held
// by the container: another thread's unload of it waits until the call has returned, and
// one that another thread is making or destroying answers 0.

int WINAPI _Container_LoadPlug(HMODULE container, PlugId id);
int WINAPI _Container_UnloadPlug(HMODULE container, PlugId id);
int WINAPI _Container_QueryModule(HMODULE container, PlugId id, HMODULE* module, TabPlugHandle* plug);

int WINAPI _TabPlug_Move(HMODULE container, PlugId id, int left, int top, int right, int bottom);
// Any nonzero `show` reaches the plug-in as 1.
int WINAPI _TabPlug_Show(HMODULE container, PlugId id, int show);
// Destroys the plug-in's object but leaves the container's record of it; a plug-in is
// unloaded through _Container_UnloadPlug, and one destroyed here must not be addressed again.
int WINAPI _TabPlug_Destroy(HMODULE container, PlugId id);
void WINAPI _TabPlug_DoCommand(HMODULE container, PlugId id, int command, INT_PTR parameter);
HWND WINAPI _TabPlug_GetSafeHwnd(HMODULE container, PlugId id);
int WINAPI _TabPlug_AddChildTabA(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6);
int WINAPI _TabPlug_AddChildTabW(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6);
// The plug id itself goes to the plug-in as the child id.
int WINAPI _TabPlug_DelChildTab(HMODULE container, PlugId id);
int WINAPI _TabPlug_ChangeParent(HMODULE container, PlugId id, HWND newParent);

// ---- Drawing and centring -------------------------------------------------------------
// Colours come from "resource\stagebay\config.cfg" [rgb]; a missing key is black.

// Line in `line_1` from (x1, y1) to (x2, y2) and one pixel above it in `line_2`.
// Nonzero when the last pen was released.
BOOL WINAPI DrawLine(HDC dc, int x1, int y1, int x2, int y2);
// Three lines in `frame_1`, `frame_2`, `frame_3`; with direction -1 each next line of a
// horizontal (vertical) line lies one pixel up (left), with 1 down (right), else in place.
// The pens are read once per process.
void WINAPI Draw3Line(HDC dc, int x1, int y1, int x2, int y2, int direction);
// One arc, 3 pixels wide in `frame_2`, on the circle around (cx, cy) from the start to the
// end angle, each 0, 90, 180, 270 or 360 degrees, in the context's arc direction.
// `direction` is not used. The pens are read once per process.
void WINAPI Draw3Arc(HDC dc, int startAngle, int endAngle, int cx, int cy, int radius, int direction);
// Centres `window` over `centreOn`; without one over its parent or owner, which is first
// asked with WM_QUERYCENTERWND for a window to centre on instead. A top-level window stays
// within the work area. Answers the result of the final move.
BOOL WINAPI CenterWindow(HWND window, HWND centreOn);

#ifdef __cplusplus
}
#endif
