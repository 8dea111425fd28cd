// FriendInfoDialog (template 101, modeless): adds a telephone friend or shows and changes
// a friend's data. The save runs on a worker; a close asked for meanwhile only hides the
// dialog, which goes when the worker has ended.
#pragma once

#include "ContactDialog.h"
#include "FriendSave.h"

namespace rostdialogs {

class FriendInfoDialog : public ContactDialog {
public:
    FriendInfoDialog(HostContext book, GroupHandle group, FriendHandle entry, bool view);
    ~FriendInfoDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    void OnNotify(WPARAM wParam, LPARAM lParam) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;

private:
    struct Job {
        FriendInfoDialog* dialog;
        FriendTarget target;
        FriendForm form;
    };
    static void Work(void* job);
    void StartSave();
    void ShowFriend();
    void LimitEdit(int id, size_t maxBytes);

    FriendTarget target_;
    HANDLE worker_ = nullptr;
    bool closeWhenDone_ = false;
    bool birthdayChanged_ = false;
    CKnobKit close_;
    CKnobKit save_;
    CKnobKit search_;
};

}  // namespace rostdialogs
