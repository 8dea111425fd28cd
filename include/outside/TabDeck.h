// TabDeck, the tab manager: the window whose tabs show the tab plug-ins. The container
// loads it by the file name in "config\pruv2.cfg" [UI] TabDeck; standard calling convention.
//
// As plug id 0 it also answers the tab plug-in calls TabPlug_DoCommand, TabPlug_Move,
// TabPlug_Show, TabPlug_GetSafeHwnd and SwitchSkin (handle form) with its own handle.
#pragma once

#include <windows.h>

#include "../VantorTypes.h"

typedef void* TabDeckHandle;

typedef TabDeckHandle(WINAPI* PFN_TabDeck_Create)(HWND parent, HMODULE container, HostContext context);
// The window that parents the tab plug-ins.
typedef HWND(WINAPI* PFN_TabDeck_GetWnd)(TabDeckHandle deck);
// Tool-tip and icon paths are 8-bit text; a missing icon gives a path ending in a backslash.
typedef int(WINAPI* PFN_TabDeck_AddTabA)(TabDeckHandle deck, PlugId id, const char* tooltip, const char* iconNormal,
                                         const char* iconHover, const char* iconSelect, const char* iconDisable);
// Style 0 is the full tab window; any other value is the compact style.
typedef int(WINAPI* PFN_TabDeck_ChangeStyle)(TabDeckHandle deck, int style);

// Commands the tab manager takes as target 0 of OrderHub_Action.
enum : int {
    TABDECK_CMD_OPEN_SERVICE = 2,     // parameter: pointer to three const wchar_t* texts
    TABDECK_CMD_HOME = 3,             // parameter: 0
    TABDECK_CMD_BUILTIN_BACKGROUND = 4,  // parameter: built-in background index (below 4)
    TABDECK_CMD_CUSTOM_BACKGROUND = 7,   // parameter: 8-bit file name under "resource\TabDeck\local"
};
