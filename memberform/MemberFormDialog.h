// The member-registration form for the after-sale service (service 19): filled from the
// current account, sent as the parameters of an application for the service.
#pragma once

#include <windows.h>

#include "ContactRecords.h"
#include "EditHint.h"
#include "MemberFormText.h"
#include "GifPlayer.h"
#include "PaneWindow.h"
#include "VantorTypes.h"
#include "outside/KnobKit.h"
#include "outside/PictKit.h"

namespace memberform {

class MemberFormDialog {
public:
    MemberFormDialog(HMODULE container, HostContext context, INT_PTR reserved);
    virtual ~MemberFormDialog();
    MemberFormDialog(const MemberFormDialog&) = delete;
    MemberFormDialog& operator=(const MemberFormDialog&) = delete;

    bool Create(HINSTANCE module);
    HWND window() const { return window_; }

private:
    friend class vantor::LinkedDialog<MemberFormDialog>;
    void OnLinked(HWND window) { window_ = window; }
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Initialise();
    void FillFromAccount();
    void PlaceBesideNoticePane();
    void AddExplanations();
    void FillLists();
    void FillCities();
    void Submit();
    MemberFields ReadFields() const;
    std::string Text(int id) const;
    // The picture a key of the form's settings names under "resource\memberform\"; empty
    // when the key is not set.
    std::wstring ResourcePath(const wchar_t* section, const wchar_t* key) const;

    ServicePolicyInfoA policy_;
    HWND window_ = nullptr;
    HMODULE container_;
    HostContext context_;
    INT_PTR reserved_;
    FriendHandle account_ = nullptr;
    EditHint hints_[5];
    GifPlayer picture_;
    PictKit background_;
    CKnobKit send_;
    CityMap cities_;
};

}  // namespace memberform
