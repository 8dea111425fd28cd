// LoadBar: a thin loading indicator, a child window filled from the left with a colour
// gradient up to the current percentage, with its caption in the middle.
//
// Callers load "<program folder>\LoadBar.dll" and bind the exports by name (the typedefs
// below); every export uses the standard Windows calling convention.
#pragma once

#include <windows.h>

// Sent to a bar: wParam is the new percentage, 0 to 100; the bar answers 1.
#define WM_LOADBAR_STEP (WM_USER + 1)

#ifdef __cplusplus
extern "C" {
#endif

// Registers the bar's window class for the executable; the class atom, 0 on failure.
// Calling it again while the class is registered answers the same atom.
ATOM WINAPI InitLoadBar();
// Unregisters the class; nonzero when it was unregistered (never while a bar exists).
BOOL WINAPI UninitLoadBar();
// A hidden child bar of parent over the rectangle, its gradient running from `start` on
// the left to `end` at the filled edge (Windows colour values); null on failure.
HWND WINAPI CreateLoadBar(HWND parent, int left, int top, int right, int bottom, COLORREF start, COLORREF end);
// What the bar answers to WM_LOADBAR_STEP with the percentage (0 for a window that is gone).
LRESULT WINAPI StepTo(HWND bar, int percentage);

typedef ATOM(WINAPI* InitLoadBarProc)();
typedef BOOL(WINAPI* UninitLoadBarProc)();
typedef HWND(WINAPI* CreateLoadBarProc)(HWND, int, int, int, int, COLORREF, COLORREF);
typedef LRESULT(WINAPI* StepToProc)(HWND, int);

#ifdef __cplusplus
}
#endif
