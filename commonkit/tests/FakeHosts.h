// What the test container and the test plug-ins record, shared with the tests.
#pragma once

#include <windows.h>

#include "VantorTypes.h"

// The last TabPlug_* call a test plug-in received.
struct PlugCall {
    char name[32];
    TabPlugHandle plug;
    INT_PTR args[6];
    int calls;  // how many TabPlug_* calls the library has seen
};

typedef void(WINAPI* PFN_TestPlug_LastCall)(PlugCall* out);

// The test container answers Container_QueryModule from a table that the test fills.
// `answer` is what the query returns; with `writeOutputs` 0 it leaves the outputs alone.
typedef void(WINAPI* PFN_FakeContainer_SetPlug)(PlugId id, int answer, int writeOutputs, HMODULE module,
                                                TabPlugHandle plug);
typedef void(WINAPI* PFN_FakeContainer_Reset)(void);
// The id of the last Container_LoadPlug or Container_UnloadPlug call, and how many came.
typedef int(WINAPI* PFN_FakeContainer_LastLoad)(PlugId* id);
typedef int(WINAPI* PFN_FakeContainer_LastUnload)(PlugId* id);
// How many holds of a plug-in the container answered with 1, and how many releases came.
typedef int(WINAPI* PFN_FakeContainer_Holds)(int* releases);
