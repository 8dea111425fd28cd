// Contact dialogs that report themselves idle from inside their own call and keep
// running their own code afterwards, as a dialog does from its last window message.
#include <windows.h>

#include "Trace.h"
#include "outside/CoreFront.h"

using plugtest::Trace;

namespace {
HMODULE g_self = nullptr;
HMODULE g_facade = nullptr;
volatile LONG g_uses = 0;
}

extern "C" {

int WINAPI SetFacadeModule(HMODULE facade) {
    g_facade = facade;
    Trace(g_self, "SetFacadeModule %s", plugtest::ModuleName(facade).c_str());
    return 1;
}

int WINAPI RostDialogs_Run(void) {
    InterlockedIncrement(&g_uses);
    int work = 0;
    if (InterlockedDecrement(&g_uses) == 0) {
        auto release = reinterpret_cast<PFN_Facade_FreeModule>(
            reinterpret_cast<void*>(GetProcAddress(g_facade, "Facade_FreeModule")));
        if (release) work = release(g_self);
    }
    // Still inside this library after reporting idle.
    Trace(g_self, "Run after release %d", work);
    return 7;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = instance;
    if (reason == DLL_PROCESS_DETACH) Trace(g_self, "Unloaded");
    return TRUE;
}
