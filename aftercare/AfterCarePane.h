// The after-sale pane's window: a topmost skinned window with the service-19 page, the
// page's apply requests, and a keyboard hook for the window's thread that lets the page
// have Tab and Delete before the dialog's own keys.
#pragma once

#include <windows.h>

#include <string>

#include "ContactRecords.h"
#include "PageFrame.h"
#include "VantorTypes.h"

namespace aftercare {

enum : UINT {
    UM_AFTERCARE_APPLIED = 3025,
    UM_AFTERCARE_FAILED = 3026,
};

class AfterCarePane : public pagebridge::PageFrame {
public:
    AfterCarePane(HMODULE container, HostContext context, INT_PTR reserved);
    ~AfterCarePane() override;

    // Makes the window (on the desktop); false when it could not be made, the object is then
    // the caller's to free. Otherwise the window frees the object when it goes.
    bool Open();

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnClose() override;
    void OnDestroy() override;
    void OnNcDestroy() override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;

    void OnDocumentComplete(IDispatch* frame, VARIANT* url) override;
    using CWebCustomEventCallback::OnHandleWevCustomEventA;
    using CWebCustomEventCallback::OnHandleWevCustomEventW;
    void OnHandleWevCustomEventA(int id, const char* a1) override;
    void OnHandleWevCustomEventW(int id, const wchar_t* a1) override;

private:
    static LRESULT CALLBACK KeyboardHook(int code, WPARAM wParam, LPARAM lParam);
    void ReadPolicy();
    void Layout();
    void Apply(const std::string& form);
    void OnApplied();
    void OnFailed();
    void NotifyOwner();
    std::wstring Caption() const;

    INT_PTR reserved_;
    HostContext context_;
    HMODULE container_;
    ServicePolicyInfoA policy_;
    bool applied_ = false;
    std::string lastMessage_;
};

}  // namespace aftercare
