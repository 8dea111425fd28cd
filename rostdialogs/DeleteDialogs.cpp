#include "DeleteDialogs.h"

#include "DialogIds.h"
#include "DialogItems.h"
#include "PumpingJoin.h"
#include "Text.h"

namespace rostdialogs {

namespace {

const UINT kDeletionEnded = WM_USER + 1703;   // 2727, wParam 1 for success

}  // namespace

ConfirmDialog::ConfirmDialog(UINT templateId, DeleteTarget target, OpenTable& table)
    : ContactDialog(templateId, true), target_(std::move(target)), table_(table) {}

ConfirmDialog::~ConfirmDialog() {
    if (worker_) CloseHandle(worker_);
}

void ConfirmDialog::Run() {
    auto open = table_.find(target_.id);
    if (open != table_.end() && IsWindow(open->second)) {
        SetForegroundWindow(open->second);
        return;
    }
    DoModal(nullptr);
}

INT_PTR ConfirmDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kDeletionEnded) {
        if (worker_) {
            vantor::JoinPumping(worker_);
            CloseHandle(worker_);
            worker_ = nullptr;
        }
        EnableWindow(Item(IDC_DELETE_CANCEL), TRUE);
        EnableWindow(Item(IDC_DELETE_OK), TRUE);
        if (wParam == 1) {
            Forget();
            EndDialog(m_hWnd, 1);
        }
        return 1;
    }
    return ContactDialog::DialogProc(message, wParam, lParam);
}

bool ConfirmDialog::OnInitDialog() {
    ContactDialog::OnInitDialog();
    SetWindowTextW(m_hWnd, Title());
    if (templateId_ == IDD_DELETE_FRIEND && target_.kind == DeleteTarget::BlackUser)
        SetItemText(IDC_DELETE_QUESTION, L"您确定要删除该黑名单用户吗？");
    SkinButtons({{&ok_, IDC_DELETE_OK}, {&cancel_, IDC_DELETE_CANCEL}});
    ApplyButtonSkin({&ok_, &cancel_});
    table_[target_.id] = m_hWnd;
    SetWindowTextW(Item(IDC_DELETE_LABEL), vantor::AnsiToWide(DeleteLabel(target_)).c_str());
    Centre();
    return true;
}

void ConfirmDialog::OnDestroy() {
    UnskinButtons({&ok_, &cancel_});
    Forget();
}

void ConfirmDialog::Forget() {
    auto open = table_.find(target_.id);
    if (open != table_.end() && open->second == m_hWnd) table_.erase(open);
}

void ConfirmDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (controlId == IDC_DELETE_OK) {
        if (worker_) return;
        worker_ = StartWorker(Work, this);
        if (worker_) {
            EnableWindow(Item(IDC_DELETE_CANCEL), FALSE);
            EnableWindow(Item(IDC_DELETE_OK), FALSE);
        }
    } else if (controlId == IDC_DELETE_CANCEL && notifyCode == 0) {
        if (worker_) return;
        UnskinButtons({&ok_, &cancel_});
        Forget();
        EndDialog(m_hWnd, 2);
    }
}

bool ConfirmDialog::OnSysCommand(WPARAM command, LPARAM lParam) {
    if ((command & 0xFFF0) != SC_CLOSE) return ContactDialog::OnSysCommand(command, lParam);
    // A deletion under way cannot be called back: the close waits for its answer.
    if (!worker_) PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_DELETE_CANCEL, 0), 0);
    return true;
}

bool ConfirmDialog::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawButtons(item, {&ok_, &cancel_}); }

void ConfirmDialog::LoadCustomSkin() { ApplyButtonSkin({&ok_, &cancel_}); }

void ConfirmDialog::OnDraw(HDC dc) {
    if (templateId_ == IDD_DELETE_FRIEND) vantor::imkit::DrawSmallIconAt(m_hWnd, dc, Item(IDC_DELETE_ICON));
}

void ConfirmDialog::Work(void* raw) {
    auto* self = static_cast<ConfirmDialog*>(raw);
    bool ok = DeleteOnServerThenBook(LiveServices(), self->target_, self->m_hWnd);
    PostMessageW(self->m_hWnd, kDeletionEnded, ok ? 1 : 0, 0);
}

DeleteConfirmDialog::DeleteConfirmDialog(DeleteTarget target)
    : ConfirmDialog(IDD_DELETE_FRIEND, std::move(target), OpenFriendConfirmations()) {}

const wchar_t* DeleteConfirmDialog::Title() const {
    return TargetKind() == DeleteTarget::BlackUser ? L"删除黑名单" : L"删除好友";
}

GroupDeleteDialog::GroupDeleteDialog(DeleteTarget target)
    : ConfirmDialog(IDD_DELETE_GROUP, std::move(target), OpenGroupConfirmations()) {}

}  // namespace rostdialogs
