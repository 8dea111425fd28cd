// setting.dll: the settings pane as a tab plug-in; its window is a dialog of its own on
// the desktop, not a child of the tab manager.
#include <windows.h>

#define TABPLUG_DECLARE_EXPORTS
#include "SettingsDialog.h"
#include "TabPlug.h"

HINSTANCE g_settingInstance = nullptr;

using setting::SettingsDialog;

namespace {
SettingsDialog* Dialog(TabPlugHandle plug) { return static_cast<SettingsDialog*>(plug); }
}  // namespace

HWND PaneTabWindow(TabPlugHandle plug) { return plug ? Dialog(plug)->GetSafeHwnd() : nullptr; }

#include "PaneTabExports.h"

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND, HMODULE container, HostContext context, INT_PTR reserved) {
    SettingsDialog* dialog = new SettingsDialog(container, context, reserved);
    if (!dialog->CreateOnDesktop()) {
        delete dialog;
        return nullptr;
    }
    return dialog;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    if (!plug) return 0;
    if (!DestroyWindow(Dialog(plug)->GetSafeHwnd())) return 0;
    delete Dialog(plug);
    return 1;
}

void WINAPI TabPlug_DoCommand(TabPlugHandle, int, INT_PTR) {}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_settingInstance = instance;
    return TRUE;
}
