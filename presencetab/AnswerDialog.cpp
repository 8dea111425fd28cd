// The answer to a friend request (template 104) and the group chooser it runs (101).
#include <winsock2.h>

#include "VerifyDialogs.h"

#include "Bindings.h"
#include "DialogIds.h"
#include "KnobSkin.h"
#include "PresencePlug.h"
#include "Text.h"

namespace presence {

using vantor::imkit::ApplyKnobSkin;
using vantor::imkit::DrawKnob;
using vantor::imkit::SubclassKnobs;
using vantor::imkit::UnsubclassKnobs;

void FillGroupList(HWND list, const std::vector<GroupChoice>& groups) {
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const GroupChoice& g : groups) {
        std::wstring name = vantor::AnsiToWide(g.name);
        LRESULT at = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (at >= 0) SendMessageW(list, CB_SETITEMDATA, at, reinterpret_cast<LPARAM>(g.group));
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

GroupHandle SelectedGroup(HWND list) {
    LRESULT at = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) return nullptr;
    LRESULT data = SendMessageW(list, CB_GETITEMDATA, at, 0);
    if (data == CB_ERR) return nullptr;
    return reinterpret_cast<GroupHandle>(data);
}

// --- group chooser

GroupChooser::GroupChooser(const std::string& nickname, std::vector<GroupChoice> groups)
    : PresenceDialog(nullptr, IDD_GROUP_CHOOSER, SKINFRAME_BUTTON_CLOSE), nickname_(nickname), groups_(std::move(groups)) {}

bool GroupChooser::OnInitDialog() {
    PresenceDialog::OnInitDialog();
    std::wstring prompt = L"您想把 " + vantor::AnsiToWide(nickname_) + L" 加入到哪个组：";
    SetDlgItemTextW(m_hWnd, IDC_PROMPT, prompt.c_str());
    FillGroupList(Item(IDC_GROUPS), groups_);
    SubclassKnobs(m_hWnd, {{&ok_, IDC_OK}});
    ApplyKnobSkin({&ok_});
    return true;
}

void GroupChooser::OnDestroy() {
    result_ = SelectedGroup(Item(IDC_GROUPS));
    UnsubclassKnobs({&ok_});
    PresenceDialog::OnDestroy();
}

void GroupChooser::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (controlId == IDC_OK && notifyCode == BN_CLICKED) EndDialog(m_hWnd, 1);
}

bool GroupChooser::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawKnob(item, {&ok_}); }

void GroupChooser::LoadCustomSkin() { ApplyKnobSkin({&ok_}); }

// --- answer dialog

AnswerDialog::AnswerDialog(PresencePlug* plug, const FriendInfoA& requester, const std::string& message)
    : PresenceDialog(plug, IDD_ANSWER), requester_(requester), message_(message) {
    choiceMade_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

AnswerDialog::~AnswerDialog() {
    if (choiceMade_) CloseHandle(choiceMade_);
}

std::string AnswerDialog::PeerId() const { return vantor::FieldText(requester_.id); }

bool AnswerDialog::OnInitDialog() {
    PresenceDialog::OnInitDialog();
    SetItemTextA(IDC_PEER_ID, requester_.id);
    SetItemTextA(IDC_PEER_NICK, requester_.nickname);
    SetItemTextA(IDC_REQUEST_MESSAGE, message_.c_str());
    SendMessageW(Item(IDC_REASON), EM_SETREADONLY, TRUE, 0);
    SubclassKnobs(m_hWnd, {{&refuse_, IDC_REFUSE}, {&accept_knob_, IDC_ACCEPT}, {&close_, IDC_CLOSE}});
    ApplyKnobSkin({&refuse_, &accept_knob_, &close_});
    reasonBox_.SubclassWnd(Item(IDC_REASON_BOX));
    reasonBox_.SetBtnStyle(GLASSKIT_STYLE_CHECK);
    if (requester_.status.publicIp == 0 || !requester_.nickname[0]) {
        addressThread_ = StartDialogThread(FetchAddress, this);
    }
    SetForegroundWindow(m_hWnd);
    return true;
}

void AnswerDialog::OnDestroy() {
    if (reasonBox_.IsSubclass()) reasonBox_.UnsubclassWnd();
    UnsubclassKnobs({&refuse_, &accept_knob_, &close_});
    PresenceDialog::OnDestroy();
}

INT_PTR AnswerDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PDM_ADDRESS_ENDED:
        // While the worker runs it waits on the thread itself; it is joined after it.
        if (!closing_ && !worker_) {
            Join(&addressThread_);
            SetItemTextA(IDC_PEER_NICK, requester_.nickname);
        }
        return 1;
    case PDM_CHOOSE_GROUP:
        if (closing_) {
            chosen_ = nullptr;
            SetEvent(choiceMade_);
        } else if (ChooseGroup()) {
            SetEvent(choiceMade_);
        }
        return 1;
    case PDM_WORK_ENDED:
        if (!closing_) Finished(wParam == 1);
        return 1;
    default:
        return PresenceDialog::DialogProc(message, wParam, lParam);
    }
}

bool AnswerDialog::ChooseGroup() {
    std::vector<GroupChoice> groups;
    {
        LibraryVerify services(plug_->Book(), plug_->Peers());
        groups = services.NetworkGroups();
    }
    GroupChooser chooser(vantor::FieldText(requester_.nickname), std::move(groups));
    chooser_ = &chooser;
    bool alive = RunNested([&] { chooser.RunModal(m_hWnd); });
    if (!alive) return false;
    chooser_ = nullptr;
    chosen_ = closing_ ? nullptr : chooser.Result();
    return true;
}

void AnswerDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != BN_CLICKED) return;
    switch (controlId) {
    case IDC_REASON_BOX: {
        bool ticked = SendMessageW(Item(IDC_REASON_BOX), BM_GETCHECK, 0, 0) == BST_CHECKED;
        SendMessageW(Item(IDC_REASON), EM_SETREADONLY, ticked ? FALSE : TRUE, 0);
        break;
    }
    case IDC_REFUSE:
    case IDC_ACCEPT:
        if (worker_) return;
        accept_ = controlId == IDC_ACCEPT;
        // The reason goes as typed, whether the box unlocked it or not.
        reason_ = vantor::WideToAnsi(CutText(ItemText(IDC_REASON), kServerTextChars));
        worker_ = StartDialogThread(Answer, this);
        if (worker_) EnableItems({IDC_REFUSE, IDC_ACCEPT, IDC_CLOSE}, false);
        break;
    case IDC_CLOSE: CloseNow(); break;
    default: break;
    }
}

// Where the requester is and, when the request came without one, its nickname.
void AnswerDialog::FetchAddress(PresenceDialog* dialog) {
    AnswerDialog* self = static_cast<AnswerDialog*>(dialog);
    FriendInfoA found = self->requester_;
    if (found.status.publicIp == 0) {
        LibraryServer server;
        if (server.FriendIp(found.id, &found) == 0) self->requester_.status = found.status;
    }
    if (!found.nickname[0]) {
        LibraryKernel kernel;
        if (kernel.UserPublicInfo(found.id, &found) == 0)
            vantor::CopyField(self->requester_.nickname, found.nickname);
    }
    PostMessageW(self->m_hWnd, PDM_ADDRESS_ENDED, 0, 0);
}

void AnswerDialog::Answer(PresenceDialog* dialog) {
    AnswerDialog* self = static_cast<AnswerDialog*>(dialog);
    bool ok;
    {
        if (self->addressThread_) WaitForSingleObject(self->addressThread_, INFINITE);
        LibraryVerify services(self->plug_->Book(), self->plug_->Peers());
        ok = SendAnswer(services, &self->requester_, self->accept_, self->reason_, [self] { return self->AskGroup(); },
                        self->plug_->LocalPort());
    }
    PostMessageW(self->m_hWnd, PDM_WORK_ENDED, ok ? 1 : 0, 0);
}

// On the worker: the dialog's thread runs the chooser, this one waits for its answer.
GroupHandle AnswerDialog::AskGroup() {
    chosen_ = nullptr;
    if (!PostMessageW(m_hWnd, PDM_CHOOSE_GROUP, 0, 0)) return nullptr;
    WaitForSingleObject(choiceMade_, INFINITE);
    return chosen_;
}

void AnswerDialog::Finished(bool ok) {
    if (!Join(&worker_) || !Join(&addressThread_)) return;
    if (ok) {
        CloseNow();
        return;
    }
    ErrorBox(L"发送反馈信息失败，请重试！");
    EnableItems({IDC_REFUSE, IDC_ACCEPT, IDC_CLOSE}, true);
}

void AnswerDialog::EndThreads() {
    // A chooser still open ends without a choice, which ends the worker.
    if (chooser_ && chooser_->Window()) EndDialog(chooser_->Window(), 0);
    chosen_ = nullptr;
    SetEvent(choiceMade_);
    Join(&worker_);
    Join(&addressThread_);
}

bool AnswerDialog::OnDrawItem(LPDRAWITEMSTRUCT item) {
    if (reasonBox_.IsSubclass() && item->hwndItem == reasonBox_.GetSafeHwnd()) return reasonBox_.DrawItem(item);
    return DrawKnob(item, {&refuse_, &accept_knob_, &close_});
}

void AnswerDialog::LoadCustomSkin() { ApplyKnobSkin({&refuse_, &accept_knob_, &close_}); }

void AnswerDialog::OnDraw(HDC dc) { DrawSmallIcon(dc, IDC_ICON_PLACE); }

}  // namespace presence
