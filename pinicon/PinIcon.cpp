// The notification-area icon: the trays handed out, their menus, and the window hook that
// gives each new window of the owner's thread the icon of the latest tray still alive.
#include "PinIcon.h"

#include "DebugOut.h"
#include "LiveSet.h"
#include "ModulePath.h"
#include "Sync.h"
#include "TrayRecord.h"

namespace {

using pinicon::Tray;
using pinicon::TrayOf;

const wchar_t kMenuProperty[] = L"tray_menu_handle";
const int kTrayPopup = 1;

vantor::LiveSet<PinIconTray> g_trays;

// One hook for the process, put in with the first tray and taken out with the last. The
// lock also keeps a tray from being freed while the hook reads its icon.
vantor::CriticalSection g_hookLock;
HHOOK g_hook = nullptr;

HICON LatestIcon() {
    vantor::Lock lock(g_hookLock);
    PinIconTray* latest = g_trays.Latest();
    return latest ? latest->hIcon : nullptr;
}

LRESULT CALLBACK NewWindowHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_CREATE || call->message == WM_INITDIALOG) {
            if (HICON icon = LatestIcon()) {
                SendMessageW(call->hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
                SendMessageW(call->hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The hook watches the owner's thread only (the program's user-interface thread): a
// desktop-wide hook would hand this icon to the windows of every other program too.
void HookOwnerThread(HWND owner) {
    vantor::Lock lock(g_hookLock);
    if (g_hook) return;
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(owner, &process);
    if (!thread || process != GetCurrentProcessId()) return;
    g_hook = SetWindowsHookExW(WH_CALLWNDPROC, NewWindowHook, vantor::ThisModule(), thread);
    if (!g_hook) vantor::DebugLine(L"PinIcon: no window hook (error %lu)\n", GetLastError());
}

Tray* LiveTray(HPINTRAY handle) { return g_trays.Contains(handle) ? TrayOf(handle) : nullptr; }

HMENU TrayPopup(const Tray& tray) { return tray.menu ? GetSubMenu(tray.menu, kTrayPopup) : nullptr; }

void ShowTrayMenu(const Tray& tray, HMENU popup) {
    HWND owner = tray.record.hWnd;
    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the owner in front and a message after the menu, a click outside the menu
    // does not close it.
    SetForegroundWindow(owner);
    TrackPopupMenu(popup, TPM_LEFTBUTTON, cursor.x, cursor.y, 0, owner, nullptr);
    PostMessageW(owner, WM_NULL, 0, 0);
}

}  // namespace

extern "C" HPINTRAY WINAPI CreateTray(HWND owner, HICON icon, HMENU menu) {
    if (!IsWindow(owner)) return nullptr;
    Tray* tray = new Tray{};
    PinIconTray& record = tray->record;
    record.cbSize = sizeof(record);
    record.hWnd = owner;
    record.uID = 0;
    record.uFlags = NIF_MESSAGE | NIF_ICON;
    record.uCallbackMessage = WM_PINICON_NOTIFY;
    record.hIcon = icon;
    tray->menu = menu;
    if (!pinicon::TellShell(NIM_ADD, record)) {
        vantor::DebugLine(L"PinIcon: the shell refused the icon\n");
        delete tray;
        return nullptr;
    }
    SetPropW(owner, kMenuProperty, menu);
    g_trays.Add(&record);
    HookOwnerThread(owner);
    return &record;
}

extern "C" LRESULT WINAPI HandleMessage(HPINTRAY handle, WPARAM, LPARAM lParam) {
    Tray* tray = LiveTray(handle);
    if (!tray) return -1;
    HMENU popup = TrayPopup(*tray);
    switch (LOWORD(lParam)) {
        case WM_RBUTTONUP:
            if (!popup) return -1;
            ShowTrayMenu(*tray, popup);
            return 0;
        case WM_LBUTTONDBLCLK:
            if (popup) {
                UINT command = GetMenuItemID(popup, 0);
                if (command != static_cast<UINT>(-1)) SendMessageW(tray->record.hWnd, WM_COMMAND, command, 0);
            }
            return -1;
        default:
            return -1;
    }
}

extern "C" BOOL WINAPI DeleteTray(HPINTRAY handle) {
    Tray* tray = LiveTray(handle);
    if (!tray) return FALSE;
    // The icon goes first: should the shell refuse, the tray stays whole, hook included.
    if (!pinicon::TellShell(NIM_DELETE, tray->record)) return FALSE;
    {
        vantor::Lock lock(g_hookLock);
        g_trays.Remove(handle);
        if (g_trays.Empty() && g_hook) {
            UnhookWindowsHookEx(g_hook);
            g_hook = nullptr;
        }
    }
    HWND owner = tray->record.hWnd;
    if (IsWindow(owner) && GetPropW(owner, kMenuProperty) == tray->menu) RemovePropW(owner, kMenuProperty);
    if (tray->menu) DestroyMenu(tray->menu);
    if (tray->record.hIcon) DestroyIcon(tray->record.hIcon);
    delete tray;
    return TRUE;
}
