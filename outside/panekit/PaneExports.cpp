// The tab plug-in exports of a stand-in pane, compiled into each stand-in library; the
// library gives its pane through panekit::MakePane.
#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "PaneKit.h"

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR) {
    panekit::Pane* pane = panekit::MakePane();
    if (!pane->Create(parent, container, context)) {
        delete pane;
        return nullptr;
    }
    pane->Refresh();
    return pane;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) { return panekit::DestroyPane(plug); }

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return panekit::MovePane(plug, left, top, right, bottom);
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) { return panekit::ShowPane(plug, show); }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter) {
    panekit::CommandPane(plug, command, parameter);
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return panekit::PaneWindow(plug); }

int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && !reserved) panekit::UnregisterPaneClass(instance);
    return TRUE;
}
