// CompactView.dll: the compact view as a tab plug-in, a pop-up owned by the given window.
#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "CompactViewWindow.h"
#include "TabPlug.h"

using compactview::CompactViewWindow;

namespace {
HINSTANCE g_instance = nullptr;
CompactViewWindow* View(TabPlugHandle plug) { return static_cast<CompactViewWindow*>(plug); }
}  // namespace

HWND PaneTabWindow(TabPlugHandle plug) { return plug ? View(plug)->window() : nullptr; }

#include "PaneTabExports.h"

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    CompactViewWindow* view = new CompactViewWindow(container, context, reserved);
    if (!view->Create(g_instance, parent)) {
        delete view;
        return nullptr;
    }
    return view;
}

// The object goes with its window (WM_DESTROY).
int WINAPI TabPlug_Destroy(TabPlugHandle plug) { return plug && DestroyWindow(View(plug)->window()) ? 1 : 0; }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR) {
    if (plug && command == 1) View(plug)->LayOutPane();
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    return TRUE;
}
