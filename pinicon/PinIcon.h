// PinIcon: the host program's icon in the notification area, with its context menu, and
// the same icon on every window that the program's user-interface thread makes afterwards.
//
// Load "<program folder>\PinIcon.dll" and bind the exports by name (the typedefs below);
// every export uses the standard Windows calling convention.
#pragma once

#include <windows.h>
#include <shellapi.h>

// The shell sends this to the tray's owner window; lParam carries the mouse message.
// The owner hands wParam and lParam on to HandleMessage.
#define WM_PINICON_NOTIFY (WM_USER + 500)

// A tray: the shell's notification-icon record in its first form (88 bytes on 32-bit
// Windows), owned by the library. Only message and icon are flagged, so there is no tip.
struct PinIconTray {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};
typedef struct PinIconTray* HPINTRAY;

#ifdef __cplusplus
extern "C" {
#endif

// Puts `icon` into the notification area for `owner`; `menu`'s second popup (index 1) is
// the tray menu. The icon and the menu belong to the library from then on. Null when the
// shell refused the icon (the caller keeps icon and menu then).
HPINTRAY WINAPI CreateTray(HWND owner, HICON icon, HMENU menu);
// For each WM_PINICON_NOTIFY: a right-button release shows the tray menu at the cursor and
// answers 0 once it has closed; a double click sends the owner the tray menu's first
// command and answers -1; anything else answers -1.
LRESULT WINAPI HandleMessage(HPINTRAY tray, WPARAM wParam, LPARAM lParam);
// Removes the icon, destroys the menu and the icon and frees the tray: 1; 0 for an unknown
// tray or when the shell refused (the tray is kept then).
BOOL WINAPI DeleteTray(HPINTRAY tray);

typedef HPINTRAY(WINAPI* CreateTrayProc)(HWND, HICON, HMENU);
typedef LRESULT(WINAPI* HandleMessageProc)(HPINTRAY, WPARAM, LPARAM);
typedef BOOL(WINAPI* DeleteTrayProc)(HPINTRAY);

#ifdef __cplusplus
}
#endif
