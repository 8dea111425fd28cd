// SignUp's exports: services without a sign-up page are applied for at once, the others
// through the modal sign-up window.
#define SIGNUP_BUILD
#include "SignUp.h"

#include "ContactRecords.h"
#include "ModulePath.h"
#include "SignUpDialog.h"
#include "SignUpLogic.h"

extern "C" int WINAPI DoRegister(int serviceType, HostContext context, HMODULE container, HWND parent) {
    if (signup::HasSignUpPage(serviceType)) {
        signup::SignUpDialog dialog(serviceType, context, container);
        return dialog.Run(reinterpret_cast<HINSTANCE>(vantor::ThisModule()), parent);
    }
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    auto apply = vantor::ProcAddress<signup::ApplyServiceFn>(core, "Cco_ApplyServiceA");
    if (!apply) {
        if (core) FreeLibrary(core);
        return SIGNUP_FAILED;
    }
    ServicePolicyInfoA record = {};
    int result = apply(serviceType, nullptr, &record);
    FreeLibrary(core);
    if (result == 0) return SIGNUP_APPLIED;
    MessageBoxW(nullptr, L"服务注册失败，请重试！", L"注册服务", MB_OK | MB_ICONERROR);
    return SIGNUP_FAILED;
}

// Every open window ends, the last opened first: a window opened over another runs its
// modal loop inside the other's, so the outer one can only end after it.
extern "C" void WINAPI SignUp_DestroyWnd(void) {
    std::vector<HWND> windows = signup::OpenSignUpWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (IsWindow(*it)) SendMessageW(*it, WM_SYSCOMMAND, SC_CLOSE, SIGNUP_FAILED);
    }
}
