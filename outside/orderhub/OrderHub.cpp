// OrderHub stand-in: delivers commands to plug-ins through the container.
#include <windows.h>

#include "Handles.h"
#include "ModulePath.h"
#include "TabPlug.h"
#include "outside/OrderHub.h"

namespace {

HMODULE g_container = nullptr;

// The container, with a reference held for the length of one delivery, so that the
// container cannot go away while a command is on its way. The module handed over by the
// container is checked to still be loaded; without one, a loaded PlugHost is used.
vantor::UniqueModule HoldContainer() {
    HMODULE module = nullptr;
    HMODULE remembered = g_container;
    if (remembered &&
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(remembered), &module) &&
        module == remembered) {
        return vantor::UniqueModule(module);
    }
    if (module) FreeLibrary(module);
    module = nullptr;
    if (GetModuleHandleExW(0, L"PlugHost.dll", &module)) return vantor::UniqueModule(module);
    return vantor::UniqueModule();
}

}  // namespace

extern "C" {

int WINAPI OrderHub_Attach(HMODULE container) {
    g_container = container;
    return 1;
}

void WINAPI OrderHub_Action(PlugId target, int command, INT_PTR parameter) {
    vantor::UniqueModule container = HoldContainer();
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(container.get(), CONTAINER_QUERYMODULE_NAME);
    if (!query) return;
    HMODULE module = nullptr;
    TabPlugHandle plug = nullptr;
    if (!query(target, &module, &plug) || !module || !plug) return;
    // The target's library stays mapped until its command returns, even when the command
    // ends in the target being unloaded.
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(module), &held)) return;
    vantor::UniqueModule keep(held);
    if (held != module) return;
    auto doCommand = vantor::ProcAddress<PFN_TabPlug_DoCommand>(module, TABPLUG_DOCOMMAND_NAME);
    if (doCommand) doCommand(plug, command, parameter);
}

// 1001 comes before an action to a plug-in that may be configured to load on first use:
// load it now, so that the action that follows finds it.
void WINAPI OrderHub_Command(int command, PlugId target) {
    if (command != ORDERHUB_PREPARE_TARGET) return;
    vantor::UniqueModule container = HoldContainer();
    auto loadPlug = vantor::ProcAddress<PFN_Container_LoadPlug>(container.get(), CONTAINER_LOADPLUG_NAME);
    if (loadPlug) loadPlug(target);
}

}  // extern "C"
