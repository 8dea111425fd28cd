// The tab plug-in entries of a native pane that only reach its window: moving, showing and
// handing out the window, and the child-tab and skin entries such a pane accepts without
// doing anything. A pane includes this header in exactly one source file, after
// TabPlug.h with TABPLUG_DECLARE_EXPORTS and after defining
//   HWND PaneTabWindow(TabPlugHandle plug)   the pane's window; null for a null plug
// and defines TabPlug_Create, TabPlug_Destroy and TabPlug_DoCommand itself.
#pragma once

#include <windows.h>

#include "PaneWindow.h"
#include "TabPlug.h"

HWND PaneTabWindow(TabPlugHandle plug);

extern "C" {

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return vantor::MovePaneWindow(PaneTabWindow(plug), left, top, right, bottom);
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) { return vantor::ShowPaneWindow(PaneTabWindow(plug), show); }

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return PaneTabWindow(plug); }

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 1; }
int WINAPI TabPlug_ChangeParent(TabPlugHandle, HWND) { return 1; }
int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

}  // extern "C"
