// OrderHub stand-in: delivers commands to plug-ins through the container.
#include <windows.h>

#include "CommonKit.h"
#include "Handles.h"
#include "ModulePath.h"
#include "Sync.h"
#include "TabPlug.h"
#include "outside/OrderHub.h"

namespace {

// The container that attached, by its file: OrderHub may outlive it (others load OrderHub
// too), and a handle kept without a reference may come to name another module.
vantor::CriticalSection g_lock;
std::wstring g_containerFile;

// The container, with a reference held for the length of one delivery, so that the
// container cannot go away while a command is on its way. Without one attached, a loaded
// PlugHost is used.
vantor::UniqueModule HoldContainer() {
    std::wstring file;
    {
        vantor::Lock lock(g_lock);
        file = g_containerFile;
    }
    if (!file.empty()) return vantor::HoldLoadedFile(file);
    HMODULE module = nullptr;
    if (GetModuleHandleExW(0, L"PlugHost.dll", &module)) return vantor::UniqueModule(module);
    return vantor::UniqueModule();
}

}  // namespace

extern "C" {

int WINAPI OrderHub_Attach(HMODULE container) {
    std::wstring file = vantor::ModuleFile(container);
    vantor::Lock lock(g_lock);
    g_containerFile = file;
    return 1;
}

// The command runs with the target held by the container (CommonKit's forwarder): an
// unload of it on another thread waits until the command has returned.
void WINAPI OrderHub_Action(PlugId target, int command, INT_PTR parameter) {
    vantor::UniqueModule container = HoldContainer();
    if (container) _TabPlug_DoCommand(container.get(), target, command, parameter);
}

// 1001 comes before an action to a plug-in that may be configured to load on first use:
// load it now, so that the action that follows finds it.
void WINAPI OrderHub_Command(int command, PlugId target) {
    if (command != ORDERHUB_PREPARE_TARGET) return;
    vantor::UniqueModule container = HoldContainer();
    if (container) _Container_LoadPlug(container.get(), target);
}

}  // extern "C"
