#include "ContainerHost.h"

#include "ModulePath.h"

namespace hostdemo {

bool ContainerHost::Load(const std::wstring& folder, HostContext context, HWND parent) {
    Unload();
    std::wstring path = folder + L"PlugHost.dll";
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    HMODULE module = LoadLibraryW(path.c_str());
    auto load = vantor::ProcAddress<PFN_Container_Load>(module, CONTAINER_LOAD_NAME);
    auto unload = vantor::ProcAddress<PFN_Container_Unload>(module, CONTAINER_UNLOAD_NAME);
    if (!load || !unload) {
        if (module) FreeLibrary(module);
        return false;
    }
    module_ = module;
    load(context, parent);
    return true;
}

bool ContainerHost::HasTabs() const {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module_, CONTAINER_QUERYMODULE_NAME);
    HMODULE deck = nullptr;
    TabPlugHandle handle = nullptr;
    return query && query(PLUG_TABDECK, &deck, &handle) && deck && handle;
}

void ContainerHost::Fit(int width, int height) const {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module_, CONTAINER_QUERYMODULE_NAME);
    HMODULE deck = nullptr;
    TabPlugHandle handle = nullptr;
    if (!query || !query(PLUG_TABDECK, &deck, &handle) || !deck || !handle) return;
    // The tab manager answers the tab plug-in calls with its own handle.
    if (auto move = vantor::ProcAddress<PFN_TabPlug_Move>(deck, TABPLUG_MOVE_NAME)) move(handle, 0, 0, width, height);
}

void ContainerHost::Unload() {
    if (!module_) return;
    if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(module_, CONTAINER_UNLOAD_NAME)) unload();
    FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace hostdemo
