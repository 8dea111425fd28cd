// A tab manager that records every call and parents the plug-ins in a window named "deck".
#include <windows.h>

#include "TabPlug.h"
#include "Trace.h"
#include "outside/TabDeck.h"

using plugtest::Trace;

namespace {
HMODULE g_self = nullptr;
}

extern "C" {

TabDeckHandle WINAPI TabDeck_Create(HWND parent, HMODULE container, HostContext context) {
    Trace(g_self, "Create parent=%s container=%s ctx=%llu", plugtest::WindowName(parent).c_str(),
          plugtest::ModuleName(container).c_str(), static_cast<unsigned long long>(context));
    if (plugtest::Behaviour(g_self, "CreateNull", 0)) return nullptr;
    return CreateWindowExA(0, "STATIC", "deck", WS_CHILD | WS_VISIBLE, 0, 0, 400, 300, parent, nullptr, g_self,
                           nullptr);
}

HWND WINAPI TabDeck_GetWnd(TabDeckHandle deck) { return static_cast<HWND>(deck); }

int WINAPI TabDeck_AddTabA(TabDeckHandle deck, PlugId id, const char* tip, const char* normal, const char* hover,
                           const char* select, const char* disable) {
    Trace(g_self, "AddTab %d tip=%s n=%s h=%s s=%s d=%s", id, tip, normal, hover, select, disable);
    return 1;
}

void WINAPI TabPlug_DoCommand(TabPlugHandle deck, int command, INT_PTR parameter) {
    Trace(g_self, "DoCommand %d param=%p", command, reinterpret_cast<void*>(parameter));
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    return TRUE;
}
