// The self-service pane: a tool window with a browser on the platform's index page.
#include "HelpDesk.h"

#include "ClientCore.h"
#include "CommonKit.h"
#include "HelpDeskIds.h"
#include "HelpDeskLayout.h"
#include "ModulePath.h"
#include "Text.h"
#include "VantorMessages.h"
#include "outside/SurfView.h"

namespace {

const char kThisProperty[] = "this";
// ClientCore's Cco_GetRemoteUrlA, by the ordinal this pane was built against.
const WORD kRemoteUrlOrdinal = 30;

struct HelpDeskPane {
    HWND window = nullptr;
    HMODULE container = nullptr;
    HostContext context = 0;
    INT_PTR reserved = 0;
    CSdkSurfView* browser = nullptr;
    HMODULE core = nullptr;
};

// The pane whose window is being made: a window that fails during its creation leaves
// the pane to TabPlug_Create.
thread_local HelpDeskPane* t_creating = nullptr;

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(vantor::ThisModule()); }

HelpDeskPane* PaneOf(HWND window) { return static_cast<HelpDeskPane*>(GetPropA(window, kThisProperty)); }

// The index page's address; empty when ClientCore, its export or the address is missing.
std::string IndexPageUrl(HelpDeskPane* pane) {
    pane->core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    if (!pane->core || !GetProcAddress(pane->core, "Cco_GetRemoteUrlA")) return std::string();
    auto remoteUrl = vantor::ProcAddress<decltype(&Cco_GetRemoteUrlA)>(pane->core, MAKEINTRESOURCEA(kRemoteUrlOrdinal));
    RemoteUrlInfoA info = {};
    if (!remoteUrl || remoteUrl(REMOTE_URL_INDEX, &info) != 0) return std::string();
    return vantor::FieldText(info.url);
}

void InitPane(HWND window, HelpDeskPane* pane) {
    pane->window = window;
    SetPropA(window, kThisProperty, pane);
    InitSdkSurfView(Module());
    if (!pane->browser) CSdkSurfView::Create(Module(), &pane->browser, window, 0, nullptr);

    char caption[128] = {};
    bool configured = _GetProfileStringA("Dialog", "Caption", caption, sizeof caption, "config\\uiprof.cfg") != 0;
    SetWindowTextW(window, helpdesk::PaneCaption(configured, vantor::AnsiToWide(caption)).c_str());

    std::string url = IndexPageUrl(pane);
    if (pane->browser && !url.empty()) pane->browser->Navigate(url.c_str());

    SIZE size = helpdesk::PaneSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterWindow(window, nullptr);
    PostMessageW(window, WM_SIZE, 0, 0);
}

INT_PTR CALLBACK PaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InitPane(window, reinterpret_cast<HelpDeskPane*>(lParam));
        return TRUE;
    }
    HelpDeskPane* pane = PaneOf(window);
    if (!pane) return FALSE;
    switch (message) {
    case WM_SIZE: {
        RECT client;
        GetClientRect(window, &client);
        if (pane->browser) MoveWindow(pane->browser->m_hWnd, 0, 0, client.right, client.bottom, TRUE);
        return TRUE;
    }
    case WM_PARENTNOTIFY:
        // A page that closes its window ends the browser with it: the pane forgets it.
        if (LOWORD(wParam) == WM_DESTROY && pane->browser && reinterpret_cast<HWND>(lParam) == pane->browser->m_hWnd) {
            pane->browser = nullptr;
        }
        return FALSE;
    case WM_CLOSE: {
        // The pane's owner decides what becomes of it.
        HWND owner = _TabPlug_GetSafeHwnd(pane->container, PLUG_PANE_OWNER);
        if (owner) PostMessageW(owner, WM_COMMAND, ID_PANE_CLOSED_COMMAND, 0);
        return TRUE;
    }
    case WM_DESTROY:
        ExitSdkSurfView(Module());
        RemovePropA(window, kThisProperty);
        if (pane->core) FreeLibrary(pane->core);
        pane->core = nullptr;
        if (pane != t_creating) delete pane;
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

HWND ShortTabPlugWindow(TabPlugHandle plug) { return plug ? static_cast<HelpDeskPane*>(plug)->window : nullptr; }

#include "ShortTabPlug.h"

extern "C" TabPlugHandle WINAPI TabPlug_Create(HWND parent, HMODULE container, HostContext context, INT_PTR reserved) {
    HelpDeskPane* pane = new HelpDeskPane;
    pane->container = container;
    pane->context = context;
    pane->reserved = reserved;
    t_creating = pane;
    HWND window = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_HELPDESK), parent, PaneProc,
                                     reinterpret_cast<LPARAM>(pane));
    t_creating = nullptr;
    if (!window) {
        delete pane;
        return nullptr;
    }
    return pane;
}
