// OrderHub, the command center: carries a command from any plug-in to the plug-in with
// a given plug id. Bound at run time by name ("OrderHub.dll"); standard calling convention.
#pragma once

#include <windows.h>

#include "../VantorTypes.h"

// Ordinal 1 (no name): the container hands over its own module handle once after loading.
typedef int(WINAPI* PFN_OrderHub_Attach)(HMODULE container);
#define ORDERHUB_ATTACH_ORDINAL 1

// Ends in the target's TabPlug_DoCommand(handle, command, parameter); target 0 is the tab
// manager. A parameter that points to the caller's record is valid only during the call.
typedef void(WINAPI* PFN_OrderHub_Action)(PlugId target, int command, INT_PTR parameter);

// Sent before an action to a plug id; command 1001 makes sure that plug-in is loaded.
typedef void(WINAPI* PFN_OrderHub_Command)(int command, PlugId target);
#define ORDERHUB_PREPARE_TARGET 1001
