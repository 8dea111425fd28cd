// AfterCare's exports: the short-form tab plug-in over the after-sale pane.
#include "AfterCare.h"

#include "AfterCarePane.h"

HWND ShortTabPlugWindow(TabPlugHandle plug) {
    return plug ? static_cast<aftercare::AfterCarePane*>(plug)->GetSafeHwnd() : nullptr;
}

#include "ShortTabPlug.h"

// The pane lives on the desktop: the parent the container offers is not used.
extern "C" TabPlugHandle WINAPI TabPlug_Create(HWND, HMODULE container, HostContext context, INT_PTR reserved) {
    auto* pane = new aftercare::AfterCarePane(container, context, reserved);
    if (!pane->Open()) {
        delete pane;
        return nullptr;
    }
    return pane;
}
