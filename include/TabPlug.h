// The tab plug-in interface: what every tab library exports, and how hosts call it.
//
// Every export uses the standard Windows calling convention with undecorated names
// (exports come from a .def file). Values that carry a pointer or a handle are
// pointer-sized; on i686 they stay 32 bits wide, so the shipping ABI is unchanged.
//
// The rectangle of TabPlug_Move travels as four separate integers: a RECT passed by
// value is not four integers on x86_64, and every caller passes four values.
//
// Hosts bind these exports at run time by name. A plug-in includes this header with
// TABPLUG_DECLARE_EXPORTS defined to have its definitions checked against the pointer
// types below. PlugHost and the contact dialogs export a SwitchSkin without arguments,
// so they must not define TABPLUG_DECLARE_EXPORTS.
#pragma once

#include <windows.h>

#include "VantorTypes.h"

// The per-plug-in exports.
typedef TabPlugHandle(WINAPI* PFN_TabPlug_Create)(HWND parent, HMODULE container, HostContext context,
                                                   INT_PTR reserved);
typedef int(WINAPI* PFN_TabPlug_Destroy)(TabPlugHandle plug);
typedef int(WINAPI* PFN_TabPlug_Move)(TabPlugHandle plug, int left, int top, int right, int bottom);
typedef int(WINAPI* PFN_TabPlug_Show)(TabPlugHandle plug, int show);
typedef void(WINAPI* PFN_TabPlug_DoCommand)(TabPlugHandle plug, int command, INT_PTR parameter);
typedef HWND(WINAPI* PFN_TabPlug_GetSafeHwnd)(TabPlugHandle plug);
typedef int(WINAPI* PFN_TabPlug_AddChildTabA)(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                               INT_PTR v5, INT_PTR v6);
typedef int(WINAPI* PFN_TabPlug_AddChildTabW)(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                               INT_PTR v5, INT_PTR v6);
typedef int(WINAPI* PFN_TabPlug_DelChildTab)(TabPlugHandle plug, INT_PTR childId);
typedef int(WINAPI* PFN_TabPlug_ChangeParent)(TabPlugHandle plug, HWND newParent);

// SwitchSkin comes in two forms. Tab plug-ins take their handle; PlugHost and the
// contact dialogs take nothing. Calling a library with the other form unbalances the
// i686 stack, so a caller must know which kind of library it holds.
typedef int(WINAPI* PFN_SwitchSkin)(TabPlugHandle plug);
typedef int(WINAPI* PFN_SwitchSkinNoArgs)(void);

// Export names, as looked up with GetProcAddress.
#define TABPLUG_CREATE_NAME "TabPlug_Create"
#define TABPLUG_DESTROY_NAME "TabPlug_Destroy"
#define TABPLUG_MOVE_NAME "TabPlug_Move"
#define TABPLUG_SHOW_NAME "TabPlug_Show"
#define TABPLUG_DOCOMMAND_NAME "TabPlug_DoCommand"
#define TABPLUG_GETSAFEHWND_NAME "TabPlug_GetSafeHwnd"
#define TABPLUG_ADDCHILDTABA_NAME "TabPlug_AddChildTabA"
#define TABPLUG_ADDCHILDTABW_NAME "TabPlug_AddChildTabW"
#define TABPLUG_DELCHILDTAB_NAME "TabPlug_DelChildTab"
#define TABPLUG_CHANGEPARENT_NAME "TabPlug_ChangeParent"
#define TABPLUG_SWITCHSKIN_NAME "SwitchSkin"

#ifdef TABPLUG_DECLARE_EXPORTS
extern "C" {
TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved);
int WINAPI TabPlug_Destroy(TabPlugHandle plug);
int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom);
int WINAPI TabPlug_Show(TabPlugHandle plug, int show);
void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter);
HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug);
int WINAPI TabPlug_AddChildTabA(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5,
                                INT_PTR v6);
int WINAPI TabPlug_AddChildTabW(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5,
                                INT_PTR v6);
int WINAPI TabPlug_DelChildTab(TabPlugHandle plug, INT_PTR childId);
int WINAPI TabPlug_ChangeParent(TabPlugHandle plug, HWND newParent);
int WINAPI SwitchSkin(TabPlugHandle plug);
}
#endif

// PlugHost's exports (PlugHost.dll), bound by name by the host and by CommonKit.
typedef void(WINAPI* PFN_Container_Load)(HostContext context, HWND parent);
typedef void(WINAPI* PFN_Container_Unload)(void);
typedef int(WINAPI* PFN_Container_QueryModule)(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut);
typedef int(WINAPI* PFN_Container_LoadPlug)(PlugId id);
typedef int(WINAPI* PFN_Container_UnloadPlug)(PlugId id);
// A plug-in held for one call into it (CommonKit's forwarders): 1 with its module and
// handle when it is made and no other thread is making or destroying it; until the
// matching release from the same thread, no other thread destroys it.
typedef int(WINAPI* PFN_Container_HoldPlug)(PlugId id, HMODULE* moduleOut, TabPlugHandle* plugOut);
typedef void(WINAPI* PFN_Container_ReleasePlug)(PlugId id);

#define CONTAINER_LOAD_NAME "Container_Load"
#define CONTAINER_UNLOAD_NAME "Container_Unload"
#define CONTAINER_QUERYMODULE_NAME "Container_QueryModule"
#define CONTAINER_LOADPLUG_NAME "Container_LoadPlug"
#define CONTAINER_UNLOADPLUG_NAME "Container_UnloadPlug"
#define CONTAINER_HOLDPLUG_NAME "Container_HoldPlug"
#define CONTAINER_RELEASEPLUG_NAME "Container_ReleasePlug"
