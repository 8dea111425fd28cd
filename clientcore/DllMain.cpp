#include <windows.h>

#include "ZumLibrary.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // zumbase stays loaded while ClientCore is. At process exit (reserved not null) other
    // modules may already be gone and the loader lock is held: leave it to the system.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) clientcore::Zum().Release();
    return TRUE;
}
