// The modal delete confirmations: DeleteConfirmDialog for a friend or a black-list entry
// (template 112), GroupDeleteDialog for a group (113). After "确定" the deletion runs on a
// worker; only an accepted deletion ends the dialog.
#pragma once

#include "ContactDialog.h"
#include "Deletion.h"
#include "Module.h"

namespace rostdialogs {

class ConfirmDialog : public ContactDialog {
public:
    ConfirmDialog(UINT templateId, DeleteTarget target, OpenTable& table);
    ~ConfirmDialog() override;

    // Raises the open confirmation of the same id, or runs this one modal.
    void Run();

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;

protected:
    virtual const wchar_t* Title() const = 0;
    DeleteTarget::Kind TargetKind() const { return target_.kind; }

private:
    static void Work(void* self);
    void Forget();

    DeleteTarget target_;
    OpenTable& table_;
    HANDLE worker_ = nullptr;
    CKnobKit ok_;
    CKnobKit cancel_;
};

class DeleteConfirmDialog : public ConfirmDialog {
public:
    explicit DeleteConfirmDialog(DeleteTarget target);

protected:
    const wchar_t* Title() const override;
};

class GroupDeleteDialog : public ConfirmDialog {
public:
    explicit GroupDeleteDialog(DeleteTarget target);

protected:
    const wchar_t* Title() const override { return L"删除组"; }
};

}  // namespace rostdialogs
