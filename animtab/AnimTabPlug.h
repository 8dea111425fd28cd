// The animated tab's plug-in object (its TabPlugHandle).
#pragma once

#include <windows.h>

#include "VantorTypes.h"

namespace animtab {

class FlashHost;

struct AnimTabPlug {
    HWND wnd = nullptr;
    HostContext context = 0;
    INT_PTR reserved = 0;
    FlashHost* host = nullptr;
    HMODULE container = nullptr;
    bool startedOle = false;  // this plug-in initialised OLE on its thread, and undoes it
};

}  // namespace animtab
