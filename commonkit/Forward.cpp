// Forwarders from one tab plug-in to the container and to other plug-ins by plug id.
//
// Nothing is cached: the container may unload and reload a plug-in between two calls,
// so each call asks the container for the plug-in's current module and handle.
#include "CommonKit.h"

#include "ModulePath.h"
#include "TabPlug.h"

namespace {

// A plug-in's export `name` with its handle, and its library held until the call returns:
// the container may unload the plug-in on another thread, or the call itself may end in
// the plug-in being unloaded. A null export when any step is missing.
template <typename Fn>
struct PlugExport {
    vantor::UniqueModule held;
    Fn call = nullptr;
    TabPlugHandle plug = nullptr;
};

template <typename Fn>
PlugExport<Fn> FindPlugExport(HMODULE container, PlugId id, const char* name) {
    PlugExport<Fn> found;
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    if (!_Container_QueryModule(container, id, &module, &plug) || !module || !plug) return found;
    found.held = vantor::HoldModule(module);
    if (!found.held) return found;
    found.call = vantor::ProcAddress<Fn>(module, name);
    found.plug = plug;
    return found;
}

// The container's export `name`, with the container held for the call.
template <typename Fn>
PlugExport<Fn> FindContainerExport(HMODULE container, const char* name) {
    PlugExport<Fn> found;
    found.held = vantor::HoldModule(container);
    found.call = vantor::ProcAddress<Fn>(found.held.get(), name);
    return found;
}

}  // namespace

int WINAPI _Container_LoadPlug(HMODULE container, PlugId id) {
    auto load = FindContainerExport<PFN_Container_LoadPlug>(container, CONTAINER_LOADPLUG_NAME);
    return load.call ? load.call(id) : 0;
}

int WINAPI _Container_UnloadPlug(HMODULE container, PlugId id) {
    auto unload = FindContainerExport<PFN_Container_UnloadPlug>(container, CONTAINER_UNLOADPLUG_NAME);
    return unload.call ? unload.call(id) : 0;
}

int WINAPI _Container_QueryModule(HMODULE container, PlugId id, HMODULE* module, TabPlugHandle* plug) {
    auto query = FindContainerExport<PFN_Container_QueryModule>(container, CONTAINER_QUERYMODULE_NAME);
    return query.call ? query.call(id, module, plug) : 0;
}

int WINAPI _TabPlug_Move(HMODULE container, PlugId id, int left, int top, int right, int bottom) {
    auto move = FindPlugExport<PFN_TabPlug_Move>(container, id, TABPLUG_MOVE_NAME);
    return move.call ? move.call(move.plug, left, top, right, bottom) : 0;
}

int WINAPI _TabPlug_Show(HMODULE container, PlugId id, int show) {
    auto showPlug = FindPlugExport<PFN_TabPlug_Show>(container, id, TABPLUG_SHOW_NAME);
    return showPlug.call ? showPlug.call(showPlug.plug, show ? 1 : 0) : 0;
}

int WINAPI _TabPlug_Destroy(HMODULE container, PlugId id) {
    auto destroy = FindPlugExport<PFN_TabPlug_Destroy>(container, id, TABPLUG_DESTROY_NAME);
    return destroy.call ? destroy.call(destroy.plug) : 0;
}

void WINAPI _TabPlug_DoCommand(HMODULE container, PlugId id, int command, INT_PTR parameter) {
    auto doCommand = FindPlugExport<PFN_TabPlug_DoCommand>(container, id, TABPLUG_DOCOMMAND_NAME);
    if (doCommand.call) doCommand.call(doCommand.plug, command, parameter);
}

HWND WINAPI _TabPlug_GetSafeHwnd(HMODULE container, PlugId id) {
    auto getWindow = FindPlugExport<PFN_TabPlug_GetSafeHwnd>(container, id, TABPLUG_GETSAFEHWND_NAME);
    return getWindow.call ? getWindow.call(getWindow.plug) : nullptr;
}

int WINAPI _TabPlug_AddChildTabA(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    auto add = FindPlugExport<PFN_TabPlug_AddChildTabA>(container, id, TABPLUG_ADDCHILDTABA_NAME);
    return add.call ? add.call(add.plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_AddChildTabW(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    auto add = FindPlugExport<PFN_TabPlug_AddChildTabW>(container, id, TABPLUG_ADDCHILDTABW_NAME);
    return add.call ? add.call(add.plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_DelChildTab(HMODULE container, PlugId id) {
    auto del = FindPlugExport<PFN_TabPlug_DelChildTab>(container, id, TABPLUG_DELCHILDTAB_NAME);
    return del.call ? del.call(del.plug, id) : 0;
}

int WINAPI _TabPlug_ChangeParent(HMODULE container, PlugId id, HWND newParent) {
    auto change = FindPlugExport<PFN_TabPlug_ChangeParent>(container, id, TABPLUG_CHANGEPARENT_NAME);
    return change.call ? change.call(change.plug, newParent) : 0;
}
