// ButtonStrip: a child panel that lays out picture buttons in an even grid and hands their
// clicks to its parent as WM_COMMAND with the button's id.
//
// Load "<program folder>\ButtonStrip.dll" and bind the exports by name (the typedefs
// below); every export uses the standard Windows calling convention.
#pragma once

#include <windows.h>

// Sent to a strip button: wParam is the UTF-16 path of its picture, lParam 0.
#define WM_STRIP_SETIMAGE (WM_USER + 1)

typedef struct ButtonStripRecord* HBUTTONSTRIP;

#ifdef __cplusplus
extern "C" {
#endif

// A visible panel, child of parent, over the rectangle; null when it cannot be made.
HBUTTONSTRIP WINAPI Create(HWND parent, int left, int top, int right, int bottom);
// Destroys the panel with its buttons and frees the strip: 1; 0 for an unknown strip or
// when the panel could not be destroyed (the strip is kept then).
BOOL WINAPI Destroy(HBUTTONSTRIP strip);
// Lays the buttons out again in the panel's current size (the rectangle is not applied):
// 1; 0 for an unknown strip.
BOOL WINAPI Move(HBUTTONSTRIP strip, int left, int top, int right, int bottom);
// A button showing the picture file, sending `id`: 1 when it was made, else 0.
BOOL WINAPI AddButton(HBUTTONSTRIP strip, LPCWSTR picturePath, int id);
// The wanted cell size (each at least 1) for the next layout: 1; else 0 and nothing changes.
BOOL WINAPI ResizeButton(HBUTTONSTRIP strip, int cellWidth, int cellHeight);

typedef HBUTTONSTRIP(WINAPI* ButtonStripCreateProc)(HWND, int, int, int, int);
typedef BOOL(WINAPI* ButtonStripDestroyProc)(HBUTTONSTRIP);
typedef BOOL(WINAPI* ButtonStripMoveProc)(HBUTTONSTRIP, int, int, int, int);
typedef BOOL(WINAPI* ButtonStripAddButtonProc)(HBUTTONSTRIP, LPCWSTR, int);
typedef BOOL(WINAPI* ButtonStripResizeButtonProc)(HBUTTONSTRIP, int, int);

#ifdef __cplusplus
}
#endif
