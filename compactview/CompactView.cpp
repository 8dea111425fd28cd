// CompactView.dll: the compact view as a tab plug-in, a pop-up owned by the given window.
#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "CompactViewWindow.h"
#include "PaneWindow.h"
#include "TabPlug.h"

using compactview::CompactViewWindow;

namespace {
HINSTANCE g_instance = nullptr;
CompactViewWindow* View(TabPlugHandle plug) { return static_cast<CompactViewWindow*>(plug); }
}  // namespace

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    CompactViewWindow* view = new CompactViewWindow(container, context, reserved);
    if (!view->Create(g_instance, parent)) {
        delete view;
        return nullptr;
    }
    return view;
}

// The object goes with its window (WM_DESTROY).
int WINAPI TabPlug_Destroy(TabPlugHandle plug) { return plug && DestroyWindow(View(plug)->window()) ? 1 : 0; }

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return vantor::MovePaneWindow(plug ? View(plug)->window() : nullptr, left, top, right, bottom);
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) {
    return vantor::ShowPaneWindow(plug ? View(plug)->window() : nullptr, show);
}

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR) {
    if (plug && command == 1) View(plug)->LayOutPane();
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return plug ? View(plug)->window() : nullptr; }

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 1; }
int WINAPI TabPlug_ChangeParent(TabPlugHandle, HWND) { return 1; }
int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    return TRUE;
}
