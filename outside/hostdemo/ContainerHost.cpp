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
    // The pane owner is made with the container: the service panes tell it when they close.
    if (auto make = vantor::ProcAddress<PFN_Container_LoadPlug>(module_, CONTAINER_LOADPLUG_NAME)) make(PLUG_PANE_OWNER);
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

bool ContainerHost::OpenBoard(const wchar_t* board, const wchar_t* column) const {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module_, CONTAINER_QUERYMODULE_NAME);
    HMODULE pane = nullptr;
    TabPlugHandle handle = nullptr;
    if (!query || !query(PLUG_BOARD_PANE, &pane, &handle) || !pane || !handle) return false;
    auto command = vantor::ProcAddress<PFN_TabPlug_DoCommand>(pane, TABPLUG_DOCOMMAND_NAME);
    if (!command) return false;
    // Pane command 3 takes the board, the column and a third text.
    struct BoardCommand {
        const wchar_t* board;
        const wchar_t* column;
        const wchar_t* extra;
    } open = {board, column, nullptr};
    command(handle, 3, reinterpret_cast<INT_PTR>(&open));
    return true;
}

HWND ContainerHost::PlugWindow(PlugId id) const {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module_, CONTAINER_QUERYMODULE_NAME);
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
    if (!query || !query(id, &module, &handle) || !module || !handle) return nullptr;
    auto get = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(module, TABPLUG_GETSAFEHWND_NAME);
    return get ? get(handle) : nullptr;
}

void ContainerHost::SetInfoPaneWidth(int width) const {
    HWND info = PlugWindow(PLUG_INFO_PANE);
    HWND home = PlugWindow(PLUG_BOARD_PANE);
    if (!info || !home) return;
    RECT r;
    GetWindowRect(info, &r);
    SetWindowPos(info, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(home, &r);
    SendMessageW(home, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right, r.bottom));
}

bool ContainerHost::Command(PlugId plug, int command, INT_PTR parameter) const {
    auto query = vantor::ProcAddress<PFN_Container_QueryModule>(module_, CONTAINER_QUERYMODULE_NAME);
    HMODULE module = nullptr;
    TabPlugHandle handle = nullptr;
    if (!query || !query(plug, &module, &handle) || !module || !handle) return false;
    auto doCommand = vantor::ProcAddress<PFN_TabPlug_DoCommand>(module, TABPLUG_DOCOMMAND_NAME);
    if (!doCommand) return false;
    doCommand(handle, command, parameter);
    return true;
}

void ContainerHost::Unload() {
    if (!module_) return;
    if (auto unload = vantor::ProcAddress<PFN_Container_Unload>(module_, CONTAINER_UNLOAD_NAME)) unload();
    FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace hostdemo
