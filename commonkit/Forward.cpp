// Forwarders from one tab plug-in to the container and to other plug-ins by plug id.
//
// Nothing is cached: the container may unload and reload a plug-in between two calls,
// so each call asks the container for the plug-in's current module and handle.
#include "CommonKit.h"

#include "ModulePath.h"
#include "TabPlug.h"

namespace {

// The plug-in's export `name` and its handle, or a null export when any step is missing.
template <typename Fn>
Fn FindPlugExport(HMODULE container, PlugId id, const char* name, TabPlugHandle* plug) {
    HMODULE module = nullptr;
    *plug = nullptr;
    if (!_Container_QueryModule(container, id, &module, plug)) return nullptr;
    if (!module || !*plug) return nullptr;
    return vantor::ProcAddress<Fn>(module, name);
}

}  // namespace

int WINAPI _Container_LoadPlug(HMODULE container, PlugId id) {
    auto load = vantor::ProcAddress<PFN_Container_LoadPlug>(container, CONTAINER_LOADPLUG_NAME);
    return load ? load(id) : 0;
}

int WINAPI _Container_UnloadPlug(HMODULE container, PlugId id) {
    auto unload = vantor::ProcAddress<PFN_Container_UnloadPlug>(container, CONTAINER_UNLOADPLUG_NAME);
    return unload ? unload(id) : 0;
}

int WINAPI _Container_QueryModule(HMODULE container, PlugId id, HMODULE* module, TabPlugHandle* plug) {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container, CONTAINER_QUERYMODULE_NAME);
    return query ? query(id, module, plug) : 0;
}

int WINAPI _TabPlug_Move(HMODULE container, PlugId id, int left, int top, int right, int bottom) {
    TabPlugHandle plug;
    auto move = FindPlugExport<PFN_TabPlug_Move>(container, id, TABPLUG_MOVE_NAME, &plug);
    return move ? move(plug, left, top, right, bottom) : 0;
}

int WINAPI _TabPlug_Show(HMODULE container, PlugId id, int show) {
    TabPlugHandle plug;
    auto showPlug = FindPlugExport<PFN_TabPlug_Show>(container, id, TABPLUG_SHOW_NAME, &plug);
    return showPlug ? showPlug(plug, show ? 1 : 0) : 0;
}

int WINAPI _TabPlug_Destroy(HMODULE container, PlugId id) {
    TabPlugHandle plug;
    auto destroy = FindPlugExport<PFN_TabPlug_Destroy>(container, id, TABPLUG_DESTROY_NAME, &plug);
    return destroy ? destroy(plug) : 0;
}

void WINAPI _TabPlug_DoCommand(HMODULE container, PlugId id, int command, INT_PTR parameter) {
    TabPlugHandle plug;
    auto doCommand = FindPlugExport<PFN_TabPlug_DoCommand>(container, id, TABPLUG_DOCOMMAND_NAME, &plug);
    if (doCommand) doCommand(plug, command, parameter);
}

HWND WINAPI _TabPlug_GetSafeHwnd(HMODULE container, PlugId id) {
    TabPlugHandle plug;
    auto getWindow = FindPlugExport<PFN_TabPlug_GetSafeHwnd>(container, id, TABPLUG_GETSAFEHWND_NAME, &plug);
    return getWindow ? getWindow(plug) : nullptr;
}

int WINAPI _TabPlug_AddChildTabA(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    TabPlugHandle plug;
    auto add = FindPlugExport<PFN_TabPlug_AddChildTabA>(container, id, TABPLUG_ADDCHILDTABA_NAME, &plug);
    return add ? add(plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_AddChildTabW(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    TabPlugHandle plug;
    auto add = FindPlugExport<PFN_TabPlug_AddChildTabW>(container, id, TABPLUG_ADDCHILDTABW_NAME, &plug);
    return add ? add(plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_DelChildTab(HMODULE container, PlugId id) {
    TabPlugHandle plug;
    auto del = FindPlugExport<PFN_TabPlug_DelChildTab>(container, id, TABPLUG_DELCHILDTAB_NAME, &plug);
    return del ? del(plug, id) : 0;
}

int WINAPI _TabPlug_ChangeParent(HMODULE container, PlugId id, HWND newParent) {
    TabPlugHandle plug;
    auto change = FindPlugExport<PFN_TabPlug_ChangeParent>(container, id, TABPLUG_CHANGEPARENT_NAME, &plug);
    return change ? change(plug, newParent) : 0;
}
