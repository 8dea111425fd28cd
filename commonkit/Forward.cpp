// Forwarders from one tab plug-in to the container and to other plug-ins by plug id.
//
// Nothing is cached: the container may unload and reload a plug-in between two calls,
// so each call asks the container for the plug-in's current module and handle.
#include "CommonKit.h"

#include "ModulePath.h"
#include "TabPlug.h"

namespace {

// A plug-in held for one call into its export `name`. The container takes the hold under
// its own lock with the module and handle it hands out, and destroys the plug-in on no
// other thread until the hold is released. The library is held too, for a call that ends
// in the plug-in unloading itself, and the container for the release. A null export when
// any step is missing.
template <typename Fn>
class HeldPlug {
public:
    HeldPlug(HMODULE container, PlugId id, const char* name) : container_(vantor::HoldModule(container)), id_(id) {
        auto hold = vantor::ProcAddress<PFN_Container_HoldPlug>(container_.get(), CONTAINER_HOLDPLUG_NAME);
        release_ = vantor::ProcAddress<PFN_Container_ReleasePlug>(container_.get(), CONTAINER_RELEASEPLUG_NAME);
        HMODULE module = nullptr;
        TabPlugHandle plug = nullptr;
        if (!hold || !release_ || !hold(id, &module, &plug)) return;
        held_ = true;
        if (!module || !plug) return;
        library_ = vantor::HoldModule(module);
        if (!library_) return;
        call = vantor::ProcAddress<Fn>(module, name);
        this->plug = plug;
    }
    ~HeldPlug() {
        library_.reset();
        if (held_) release_(id_);
    }
    HeldPlug(const HeldPlug&) = delete;
    HeldPlug& operator=(const HeldPlug&) = delete;

    Fn call = nullptr;
    TabPlugHandle plug = nullptr;

private:
    vantor::UniqueModule container_;
    PlugId id_;
    PFN_Container_ReleasePlug release_ = nullptr;
    bool held_ = false;
    vantor::UniqueModule library_;
};

// The container's export `name`, with the container held for the call.
template <typename Fn>
struct ContainerExport {
    ContainerExport(HMODULE container, const char* name)
        : held(vantor::HoldModule(container)), call(vantor::ProcAddress<Fn>(held.get(), name)) {}
    vantor::UniqueModule held;
    Fn call;
};

}  // namespace

int WINAPI _Container_LoadPlug(HMODULE container, PlugId id) {
    ContainerExport<PFN_Container_LoadPlug> load(container, CONTAINER_LOADPLUG_NAME);
    return load.call ? load.call(id) : 0;
}

int WINAPI _Container_UnloadPlug(HMODULE container, PlugId id) {
    ContainerExport<PFN_Container_UnloadPlug> unload(container, CONTAINER_UNLOADPLUG_NAME);
    return unload.call ? unload.call(id) : 0;
}

int WINAPI _Container_QueryModule(HMODULE container, PlugId id, HMODULE* module, TabPlugHandle* plug) {
    ContainerExport<PFN_Container_QueryModule> query(container, CONTAINER_QUERYMODULE_NAME);
    return query.call ? query.call(id, module, plug) : 0;
}

int WINAPI _TabPlug_Move(HMODULE container, PlugId id, int left, int top, int right, int bottom) {
    HeldPlug<PFN_TabPlug_Move> move(container, id, TABPLUG_MOVE_NAME);
    return move.call ? move.call(move.plug, left, top, right, bottom) : 0;
}

int WINAPI _TabPlug_Show(HMODULE container, PlugId id, int show) {
    HeldPlug<PFN_TabPlug_Show> showPlug(container, id, TABPLUG_SHOW_NAME);
    return showPlug.call ? showPlug.call(showPlug.plug, show ? 1 : 0) : 0;
}

int WINAPI _TabPlug_Destroy(HMODULE container, PlugId id) {
    HeldPlug<PFN_TabPlug_Destroy> destroy(container, id, TABPLUG_DESTROY_NAME);
    return destroy.call ? destroy.call(destroy.plug) : 0;
}

void WINAPI _TabPlug_DoCommand(HMODULE container, PlugId id, int command, INT_PTR parameter) {
    HeldPlug<PFN_TabPlug_DoCommand> doCommand(container, id, TABPLUG_DOCOMMAND_NAME);
    if (doCommand.call) doCommand.call(doCommand.plug, command, parameter);
}

HWND WINAPI _TabPlug_GetSafeHwnd(HMODULE container, PlugId id) {
    HeldPlug<PFN_TabPlug_GetSafeHwnd> getWindow(container, id, TABPLUG_GETSAFEHWND_NAME);
    return getWindow.call ? getWindow.call(getWindow.plug) : nullptr;
}

int WINAPI _TabPlug_AddChildTabA(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    HeldPlug<PFN_TabPlug_AddChildTabA> add(container, id, TABPLUG_ADDCHILDTABA_NAME);
    return add.call ? add.call(add.plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_AddChildTabW(HMODULE container, PlugId id, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4,
                                 INT_PTR v5, INT_PTR v6) {
    HeldPlug<PFN_TabPlug_AddChildTabW> add(container, id, TABPLUG_ADDCHILDTABW_NAME);
    return add.call ? add.call(add.plug, v1, v2, v3, v4, v5, v6) : 0;
}

int WINAPI _TabPlug_DelChildTab(HMODULE container, PlugId id) {
    HeldPlug<PFN_TabPlug_DelChildTab> del(container, id, TABPLUG_DELCHILDTAB_NAME);
    return del.call ? del.call(del.plug, id) : 0;
}

int WINAPI _TabPlug_ChangeParent(HMODULE container, PlugId id, HWND newParent) {
    HeldPlug<PFN_TabPlug_ChangeParent> change(container, id, TABPLUG_CHANGEPARENT_NAME);
    return change.call ? change.call(change.plug, newParent) : 0;
}
