// The animated tab's exports and its tab window.
#include <windows.h>

#include "AnimTab.h"
#include "AnimTabIds.h"
#include "AnimTabPlug.h"
#include "CommonKit.h"
#include "FlashHost.h"
#include "ModulePath.h"
#include "MoviePath.h"
#include "ServiceSettings.h"
#include "outside/MovieControl.h"

#define TABPLUG_DECLARE_EXPORTS
#include "TabPlug.h"

using animtab::AnimTabPlug;
using animtab::FlashHost;

namespace {

HINSTANCE g_instance = nullptr;
// The plug-in whose window is open: one at a time.
AnimTabPlug* g_current = nullptr;

AnimTabPlug* AsPlug(TabPlugHandle handle) { return static_cast<AnimTabPlug*>(handle); }

void CreateHost(AnimTabPlug* plug, HWND wnd) {
    plug->host = new FlashHost(plug);
    // The window class goes with this library's own instance, so that it can be let go
    // of when the host goes and never outlives the code of its procedure.
    if (!plug->host->Create(kMovieControlClsid, 0, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, wnd, g_instance)) {
        OutputDebugStringW(L"AnimTab: 影片控件未能嵌入\n");
    }
}

void DestroyHost(AnimTabPlug* plug) {
    wchar_t folder[MAX_PATH];
    if (_GetModuleDirW(folder, MAX_PATH)) animtab::ResetDisplayedMovie(folder);
    delete plug->host;  // closes the control, then destroys the host window
    plug->host = nullptr;
}

INT_PTR CALLBACK TabProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        g_current = reinterpret_cast<AnimTabPlug*>(lp);
        g_current->wnd = wnd;
        CreateHost(g_current, wnd);
        return TRUE;
    case UM_ANIM_COMMAND:
        if (g_current && g_current->host) g_current->host->LoadMovie(reinterpret_cast<const wchar_t*>(wp));
        return TRUE;
    case WM_MOVE:
    case WM_SIZE:
        if (g_current && g_current->host && g_current->host->window()) {
            RECT client;
            GetClientRect(wnd, &client);
            MoveWindow(g_current->host->window(), 0, 0, client.right, client.bottom, TRUE);
        }
        return TRUE;
    case WM_ERASEBKGND:
        SetWindowLongPtrW(wnd, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_DESTROY:
        if (g_current) {
            DestroyHost(g_current);
            g_current = nullptr;
        }
        return TRUE;
    }
    return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    if (g_current) return nullptr;  // the module carries one tab window at a time
    AnimTabPlug* plug = new AnimTabPlug;
    plug->container = container;
    plug->context = context;
    plug->reserved = reserved;
    // OLE is started here only when the thread has none; an existing one is left alone.
    HRESULT ole = OleInitialize(nullptr);
    if (ole == S_OK) plug->startedOle = true;
    else if (ole == S_FALSE) OleUninitialize();
    animtab::PrepareServiceSettings(vantor::ProgramDir(), context);
    HWND wnd = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_ANIM_TAB), parent, TabProc,
                                  reinterpret_cast<LPARAM>(plug));
    if (!wnd) {
        if (g_current == plug) g_current = nullptr;
        if (plug->startedOle) OleUninitialize();
        delete plug;
        return nullptr;
    }
    return plug;
}

int WINAPI TabPlug_Destroy(TabPlugHandle handle) {
    AnimTabPlug* plug = AsPlug(handle);
    if (!plug) return 0;
    if (plug->wnd && !DestroyWindow(plug->wnd)) return 0;
    if (plug->startedOle) OleUninitialize();
    delete plug;
    return 1;
}

int WINAPI TabPlug_Move(TabPlugHandle handle, int left, int top, int right, int bottom) {
    AnimTabPlug* plug = AsPlug(handle);
    return plug && MoveWindow(plug->wnd, left, top, right - left, bottom - top, TRUE) ? 1 : 0;
}

int WINAPI TabPlug_Show(TabPlugHandle handle, int show) {
    AnimTabPlug* plug = AsPlug(handle);
    return plug ? ShowWindow(plug->wnd, show ? SW_SHOW : SW_HIDE) : 0;
}

void WINAPI TabPlug_DoCommand(TabPlugHandle handle, int command, INT_PTR parameter) {
    AnimTabPlug* plug = AsPlug(handle);
    if (plug && command == ANIMTAB_CMD_LOAD_MOVIE) SendMessageW(plug->wnd, UM_ANIM_COMMAND, parameter, 0);
}

HWND WINAPI TabPlug_GetSafeHwnd(TabPlugHandle handle) {
    AnimTabPlug* plug = AsPlug(handle);
    return plug ? plug->wnd : nullptr;
}

int WINAPI TabPlug_AddChildTabA(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_AddChildTabW(TabPlugHandle, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR, INT_PTR) { return 1; }
int WINAPI TabPlug_DelChildTab(TabPlugHandle, INT_PTR) { return 1; }

int WINAPI TabPlug_ChangeParent(TabPlugHandle handle, HWND parent) {
    AnimTabPlug* plug = AsPlug(handle);
    if (!plug) return 0;
    HWND previous = SetParent(plug->wnd, parent);
    SendMessageW(parent, WM_SIZE, 0, 0);
    return previous ? 1 : 0;
}

int WINAPI SwitchSkin(TabPlugHandle handle) { return handle ? 1 : 0; }

}  // extern "C"
