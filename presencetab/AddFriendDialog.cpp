// The add-friend dialog (template 103): a request with a message, straight to the
// friend's client or through the presence server.
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

AddFriendDialog::AddFriendDialog(PresencePlug* plug, const FriendInfoA& target)
    : PresenceDialog(plug, IDD_ADD_FRIEND), target_(target) {}

AddFriendDialog::~AddFriendDialog() = default;

bool AddFriendDialog::OnInitDialog() {
    PresenceDialog::OnInitDialog();
    SetItemTextA(IDC_PEER_ID, target_.id);
    SetItemTextA(IDC_PEER_NICK, target_.nickname);
    SubclassKnobs(m_hWnd, {{&send_, IDC_SEND}, {&cancel_, IDC_CANCEL}});
    ApplyKnobSkin({&send_, &cancel_});
    addressThread_ = StartDialogThread(FetchAddress, this);
    SetForegroundWindow(m_hWnd);
    return true;
}

void AddFriendDialog::OnDestroy() {
    UnsubclassKnobs({&send_, &cancel_});
    PresenceDialog::OnDestroy();
}

INT_PTR AddFriendDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PDM_ADDRESS_ENDED:
        if (!closing_) Join(&addressThread_);
        return 1;
    case PDM_WORK_ENDED:
        if (closing_ || !Join(&worker_)) return 1;
        EnableItems({IDC_SEND, IDC_CANCEL}, true);
        if (wParam == 1) {
            CloseNow();
        } else {
            ErrorBox(L"发送验证请求信息失败，请重试！");
        }
        return 1;
    default:
        return PresenceDialog::DialogProc(message, wParam, lParam);
    }
}

void AddFriendDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (controlId == IDC_REQUEST_TEXT && notifyCode == EN_CHANGE) {
        std::wstring text = ItemText(IDC_REQUEST_TEXT);
        std::wstring cut = CutText(text, kRequestTextChars);
        if (cut.size() < text.size()) {
            SetDlgItemTextW(m_hWnd, IDC_REQUEST_TEXT, cut.c_str());
            SendMessageW(Item(IDC_REQUEST_TEXT), EM_SETSEL, cut.size(), cut.size());
        }
        return;
    }
    if (notifyCode != BN_CLICKED) return;
    if (controlId == IDC_SEND) {
        // The request goes where the server last saw the friend.
        if (!Join(&addressThread_) || worker_ || closing_) return;
        message_ = vantor::WideToAnsi(CutText(ItemText(IDC_REQUEST_TEXT), kRequestTextChars));
        plug_->NoteAsked(vantor::FieldText(target_.id));
        worker_ = StartDialogThread(Send, this);
        if (worker_) EnableItems({IDC_SEND, IDC_CANCEL}, false);
    } else if (controlId == IDC_CANCEL) {
        CloseNow();
    }
}

void AddFriendDialog::FetchAddress(PresenceDialog* dialog) {
    AddFriendDialog* self = static_cast<AddFriendDialog*>(dialog);
    FriendInfoA found = self->target_;
    {
        LibraryServer server;
        if (server.FriendIp(found.id, &found) == 0) self->target_.status = found.status;
    }
    PostMessageW(self->m_hWnd, PDM_ADDRESS_ENDED, 0, 0);
}

void AddFriendDialog::Send(PresenceDialog* dialog) {
    AddFriendDialog* self = static_cast<AddFriendDialog*>(dialog);
    bool ok;
    {
        LibraryVerify services(self->plug_->Book(), self->plug_->Peers());
        ok = SendFriendRequest(services, self->target_, self->message_);
    }
    PostMessageW(self->m_hWnd, PDM_WORK_ENDED, ok ? 1 : 0, 0);
}

void AddFriendDialog::EndThreads() {
    Join(&addressThread_);
    Join(&worker_);
}

bool AddFriendDialog::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawKnob(item, {&send_, &cancel_}); }

void AddFriendDialog::LoadCustomSkin() { ApplyKnobSkin({&send_, &cancel_}); }

void AddFriendDialog::OnDraw(HDC dc) { DrawSmallIcon(dc, IDC_ICON_PLACE); }

}  // namespace presence
