// HookRelay: a message hook that gives modeless dialogs their keyboard navigation when
// the host's message loop does not call IsDialogMessage. Bound at run time by name
// ("HookRelay.dll"); standard calling convention; callers do not test the results.
//
// The library keeps itself loaded while any dialog is hooked, so a caller may free it
// right after installing.
#pragma once

#include <windows.h>

// 1 when the dialog is hooked (also when it already was), 0 for a window that is not one.
typedef int(WINAPI* PFN_HookRelay_InstallHook)(HWND dialog);
// 1 when the dialog was hooked and is no longer, 0 when it was not hooked.
typedef int(WINAPI* PFN_HookRelay_UninstallHook)(HWND dialog);
