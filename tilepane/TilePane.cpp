// TilePane.dll: the home tile pane as a tab plug-in.
#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"
#include "TilePaneWindow.h"

using tilepane::TilePaneWindow;

namespace {

TilePaneWindow* Pane(TabPlugHandle plug) { return static_cast<TilePaneWindow*>(plug); }

// A pane closed while its sign-up runs goes once the sign-up returns, in code of this
// library: it must stay loaded even if the container frees it.
void PinThisLibrary() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&PinThisLibrary), &self);
}

}  // namespace

namespace tilepane {

int TilePaneWindow::Destroy() {
    if (signUp_) {
        auto end = reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(signUp_, "SignUp_DestroyWnd")));
        if (end) end();
    }
    if (inSignUp_ > 0) {
        ShowWindow(window_, SW_HIDE);
        closing_ = true;
        PinThisLibrary();
        return 2;
    }
    return DestroyWindow(window_) ? 1 : 0;
}

}  // namespace tilepane

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    TilePaneWindow* pane = new TilePaneWindow(container, context, reserved);
    if (!pane->CreateWindowIn(parent)) {
        delete pane;
        return nullptr;
    }
    return pane;
}

int WINAPI TabPlug_Destroy(TabPlugHandle plug) {
    if (!plug) return 0;
    int result = Pane(plug)->Destroy();
    if (result == 0) return 0;
    if (result == 1) delete Pane(plug);
    return 1;
}

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return plug && MoveWindow(Pane(plug)->window(), left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) {
    if (plug) ShowWindow(Pane(plug)->window(), show ? SW_SHOW : SW_HIDE);
    return 1;
}

int WINAPI SwitchSkin(TabPlugHandle) { return 1; }

void WINAPI TabPlug_DoCommand(TabPlugHandle plug, int command, INT_PTR parameter) {
    if (plug) Pane(plug)->RunCommand(command, parameter);
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return plug ? Pane(plug)->window() : nullptr; }

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 1; }
int WINAPI TabPlug_ChangeParent(TabPlugHandle, HWND) { return 1; }

}  // extern "C"
