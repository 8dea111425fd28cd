// PresenceTab's plug-in exports: a tab plug-in that shows no tab, only keeps the user
// present. The container creates it for the online service.
#include "PresencePlug.h"

#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"

using presence::PresencePlug;

namespace {

PresencePlug* PlugOf(TabPlugHandle handle) { return static_cast<PresencePlug*>(handle); }

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) PresencePlug::SetResourceModule(instance);
    return TRUE;
}

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR) {
    return PresencePlug::Create(parent, container, context);
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    if (!plug) return 0;
    PresencePlug::Destroy(PlugOf(plug));
    return 1;
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return plug ? PlugOf(plug)->Window() : nullptr; }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter) {
    if (plug) PlugOf(plug)->DoCommand(command, parameter);
}

// The tab shows nothing, so placing and showing leave the hidden window alone.
int WINAPI TabPlug_Move(TabPlugHandle, int, int, int, int) { return 1; }

int WINAPI TabPlug_Show(TabPlugHandle, int) { return 1; }

// No child tabs and no parent to change.
int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 0; }

int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 0; }

int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 0; }

int WINAPI TabPlug_ChangeParent(TabPlugHandle, HWND) { return 0; }

// Nothing is skinned: the answer only says whether the handle was one.
int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

}  // extern "C"
