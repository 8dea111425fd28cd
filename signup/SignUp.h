// SignUp.dll: applies for a service of the current account. Most services are applied for
// at once; services 6 and 17 first show their sign-up page in a modal skinned window that
// asks the user for a grade. Bound by name ("DoRegister", "SignUp_DestroyWnd").
#pragma once

#include <windows.h>

#include "VantorTypes.h"

// Results of DoRegister.
enum : int {
    SIGNUP_FAILED = 0,      // refused, not possible, or ended from outside
    SIGNUP_APPLIED = 1,
    SIGNUP_USER_CLOSED = 2, // services 6 and 17 only
};

typedef int(WINAPI* PFN_DoRegister)(int serviceType, HostContext context, HMODULE container, HWND parent);
// Ends every open sign-up window with SIGNUP_FAILED; nothing when none is open. An apply
// that is under way in a window is finished first.
typedef void(WINAPI* PFN_SignUp_DestroyWnd)(void);

#ifdef SIGNUP_BUILD
extern "C" {
int WINAPI DoRegister(int serviceType, HostContext context, HMODULE container, HWND parent);
void WINAPI SignUp_DestroyWnd(void);
}
#endif
