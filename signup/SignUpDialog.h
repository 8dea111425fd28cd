// The modal sign-up window of services 6 and 17: the service's sign-up page, whose grade
// event starts one apply on a worker thread. The window never ends while that worker runs:
// a close asked for meanwhile is carried out once the worker is done.
#pragma once

#include <windows.h>

#include <vector>

#include "ContactRecords.h"
#include "PageFrame.h"
#include "VantorTypes.h"

namespace signup {

// Private messages of the window.
enum : UINT {
    UM_SIGNUP_APPLY = 4824,  // wParam: service type; lParam: request text, owned by the receiver
    UM_SIGNUP_DONE = 4825,
};

// The windows being shown, the first opened first (SignUp_DestroyWnd ends them all).
std::vector<HWND> OpenSignUpWindows();

class SignUpDialog : public pagebridge::PageFrame {
public:
    SignUpDialog(int serviceType, HostContext context, HMODULE container);
    ~SignUpDialog() override;

    // Runs the window; its result, after any worker has ended.
    int Run(HINSTANCE module, HWND parent);

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnClose() override;
    void OnDestroy() override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;

    void OnDocumentComplete(IDispatch* frame, VARIANT* url) override;
    using CWebCustomEventCallback::OnHandleWevCustomEventA;
    void OnHandleWevCustomEventA(int id, const char* a1) override;

private:
    static DWORD WINAPI WorkerMain(LPVOID self);
    void Work();
    void Layout();
    void OnApplyRequest(int serviceType, char* text);
    void OnApplyDone();
    void JoinWorker();

    int serviceType_;
    HostContext context_;
    HMODULE container_;
    HMODULE rostLedger_ = nullptr;
    FriendHandle account_ = nullptr;
    HANDLE worker_ = nullptr;
    char* request_ = nullptr;
    int requestType_ = 0;
    volatile LONG applied_ = 0;
    // The end asked for while the worker ran: 2 by the user, 0 from outside; -1 none.
    int pendingClose_ = -1;
};

}  // namespace signup
