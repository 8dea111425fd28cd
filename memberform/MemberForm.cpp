// MemberForm.dll: the member-information form as a tab plug-in, a pop-up on the desktop.
#include <windows.h>

#include <cstdio>

#define TABPLUG_DECLARE_EXPORTS
#include "MemberFormDialog.h"
#include "PaneWindow.h"
#include "TabPlug.h"

using memberform::MemberFormDialog;

namespace {
HINSTANCE g_instance = nullptr;
MemberFormDialog* Form(TabPlugHandle plug) { return static_cast<MemberFormDialog*>(plug); }
}  // namespace

extern "C" {

TabPlugHandle WINAPI TabPlug_Create(HWND, HMODULE container, HostContext context, INT_PTR reserved) {
    MemberFormDialog* form = new MemberFormDialog(container, context, reserved);
    if (!form->Create(g_instance)) {
        OutputDebugStringW(L"创建memberform插件失败\n");
        delete form;
        return nullptr;
    }
    return form;
}

// The object goes with its window (WM_DESTROY).
int WINAPI TabPlug_Destroy(TabPlugHandle plug) { return plug && DestroyWindow(Form(plug)->window()) ? 1 : 0; }

int WINAPI TabPlug_Move(TabPlugHandle plug, int left, int top, int right, int bottom) {
    return vantor::MovePaneWindow(plug ? Form(plug)->window() : nullptr, left, top, right, bottom);
}

int WINAPI TabPlug_Show(TabPlugHandle plug, int show) {
    return vantor::ShowPaneWindow(plug ? Form(plug)->window() : nullptr, show);
}

void WINAPI TabPlug_DoCommand(TabPlugHandle, int, INT_PTR) {}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle plug) { return plug ? Form(plug)->window() : nullptr; }

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }

int WINAPI TabPlug_DelChildTab(TabPlugHandle plug, INT_PTR) {
    MessageBoxW(plug ? Form(plug)->window() : nullptr, L"_DelChildTab", L"MemberForm", MB_OK);
    return 1;
}

int WINAPI TabPlug_ChangeParent(TabPlugHandle plug, HWND) {
    MessageBoxW(plug ? Form(plug)->window() : nullptr, L"_ChangeParent", L"MemberForm", MB_OK);
    return 1;
}

int WINAPI SwitchSkin(TabPlugHandle plug) { return plug ? 1 : 0; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        char line[1024];
        snprintf(line, sizeof line, "memberform module's instance handle is 0x%08llx\n",
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(instance)));
        OutputDebugStringA(line);
    }
    return TRUE;
}
