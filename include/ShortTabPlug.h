// The short form of the tab plug-in interface, shared by the service panes: a pane that is
// one window. The entries that only reach that window are defined here; a pane includes
// this header in exactly one source file, after defining
//   HWND ShortTabPlugWindow(TabPlugHandle plug)   the pane's window, or null
// and defines TabPlug_Create itself. Destroying the window frees the pane. The .def exports
// TabPlug_ChangeParent as a second name of TabPlug_DelChildTab: one entry that does nothing.
#pragma once

#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"

HWND ShortTabPlugWindow(TabPlugHandle plug);

extern "C" {

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    HWND window = ShortTabPlugWindow(plug);
    return window && DestroyWindow(window) ? 1 : 0;
}

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return MoveWindow(ShortTabPlugWindow(plug), left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) {
    ShowWindow(ShortTabPlugWindow(plug), show ? SW_SHOW : SW_HIDE);
    return 1;
}

void WINAPI TabPlug_DoCommand(TabPlugHandle, int, INT_PTR) {}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return ShortTabPlugWindow(plug); }

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }

int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }

int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 1; }

int WINAPI SwitchSkin(TabPlugHandle) { return 1; }

}  // extern "C"
