// A tab plug-in that only records what it is called with. Built twice: with every
// export, and without the window query, child tabs and re-parenting, as some plug-ins are.
#define TABPLUG_DECLARE_EXPORTS
#include <cstring>

#include "FakeHosts.h"
#include "TabPlug.h"

namespace {

PlugCall g_last = {};

int Record(const char* name, TabPlugHandle plug, INT_PTR a0 = 0, INT_PTR a1 = 0, INT_PTR a2 = 0, INT_PTR a3 = 0,
           INT_PTR a4 = 0, INT_PTR a5 = 0) {
    int calls = g_last.calls + 1;
    g_last = PlugCall{};
    std::strncpy(g_last.name, name, sizeof g_last.name - 1);
    g_last.plug = plug;
    INT_PTR args[6] = {a0, a1, a2, a3, a4, a5};
    std::memcpy(g_last.args, args, sizeof args);
    g_last.calls = calls;
    return 1;
}

}  // namespace

extern "C" {

void WINAPI TestPlug_LastCall(PlugCall* out) { *out = g_last; }

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    Record("Create", nullptr, reinterpret_cast<INT_PTR>(parent), reinterpret_cast<INT_PTR>(container),
           static_cast<INT_PTR>(context), reserved);
    return nullptr;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) { return Record("Destroy", plug); }

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return Record("Move", plug, left, top, right, bottom);
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) { return Record("Show", plug, show); }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter) {
    Record("DoCommand", plug, command, parameter);
    // Command 99 unloads the plug-in while it runs, as its container may on another thread.
    if (command == 99) {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&TabPlug_DoCommand), &self);
        FreeLibrary(self);
    }
}

int WINAPI SwitchSkin(TabPlugHandle plug) { return Record("SwitchSkin", plug); }

#ifndef TESTPLUG_FEW_EXPORTS
// Answers a window made from the handle, so the caller can tell the handle arrived.
HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) {
    Record("GetSafeHwnd", plug);
    return reinterpret_cast<HWND>(reinterpret_cast<INT_PTR>(plug) + 1);
}

int WINAPI TabPlug_AddChildTabA(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5,
                                INT_PTR v6) {
    return Record("AddChildTabA", plug, v1, v2, v3, v4, v5, v6);
}

int WINAPI TabPlug_AddChildTabW(TabPlugHandle plug, INT_PTR v1, INT_PTR v2, INT_PTR v3, INT_PTR v4, INT_PTR v5,
                                INT_PTR v6) {
    Record("AddChildTabW", plug, v1, v2, v3, v4, v5, v6);
    return 2;
}

int WINAPI TabPlug_DelChildTab(TabPlugHandle plug, INT_PTR childId) { return Record("DelChildTab", plug, childId); }

int WINAPI TabPlug_ChangeParent(TabPlugHandle plug, HWND newParent) {
    Record("ChangeParent", plug, reinterpret_cast<INT_PTR>(newParent));
    return 3;
}
#endif

}  // extern "C"
