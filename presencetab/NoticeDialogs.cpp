// The requester's side of an answer: the refusal notice (template 106) and the
// friend-added dialog (105).
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

// --- refusal notice

RefusalDialog::RefusalDialog(PresencePlug* plug, const FriendInfoA& refuser, const std::string& reason)
    : PresenceDialog(plug, IDD_REFUSAL), refuser_(refuser), reason_(reason) {}

bool RefusalDialog::OnInitDialog() {
    PresenceDialog::OnInitDialog();
    SetItemTextA(IDC_PEER_ID, refuser_.id);
    SetItemTextA(IDC_PEER_NICK, refuser_.nickname);
    SetItemTextA(IDC_REASON, reason_.c_str());
    SubclassKnobs(m_hWnd, {{&again_, IDC_ADD_AGAIN}, {&ok_, IDC_OK}, {&close_, IDC_CLOSE}});
    ApplyKnobSkin({&again_, &ok_, &close_});
    return true;
}

void RefusalDialog::OnDestroy() {
    UnsubclassKnobs({&again_, &ok_, &close_});
    PresenceDialog::OnDestroy();
}

void RefusalDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != BN_CLICKED) return;
    if (controlId == IDC_OK || controlId == IDC_CLOSE) {
        CloseNow();
    } else if (controlId == IDC_ADD_AGAIN && plug_) {
        FriendInfoA again = refuser_;
        plug_->DoCommand(PresCmd_AddFriendA, reinterpret_cast<INT_PTR>(&again));
    }
}

bool RefusalDialog::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawKnob(item, {&again_, &ok_, &close_}); }

void RefusalDialog::LoadCustomSkin() { ApplyKnobSkin({&again_, &ok_, &close_}); }

void RefusalDialog::OnDraw(HDC dc) { DrawSmallIcon(dc, IDC_ICON_PLACE); }

// --- friend-added dialog

FriendAddedDialog::FriendAddedDialog(PresencePlug* plug, const FriendInfoA& accepter)
    : PresenceDialog(plug, IDD_FRIEND_ADDED), accepter_(accepter), fetched_(accepter) {}

FriendAddedDialog::~FriendAddedDialog() = default;

std::string FriendAddedDialog::PeerId() const { return vantor::FieldText(accepter_.id); }

bool FriendAddedDialog::OnInitDialog() {
    PresenceDialog::OnInitDialog();
    SetItemTextA(IDC_PEER_ID, accepter_.id);
    SetItemTextA(IDC_PEER_NICK, accepter_.nickname);
    {
        LibraryVerify services(plug_->Book(), plug_->Peers());
        FillGroupList(Item(IDC_GROUPS), services.NetworkGroups());
    }
    SubclassKnobs(m_hWnd, {{&ok_, IDC_OK}, {&close_, IDC_CLOSE}});
    ApplyKnobSkin({&ok_, &close_});
    infoThread_ = StartDialogThread(FetchInfo, this);
    return true;
}

void FriendAddedDialog::OnDestroy() {
    UnsubclassKnobs({&ok_, &close_});
    PresenceDialog::OnDestroy();
}

INT_PTR FriendAddedDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PDM_INFO_ENDED:
        if (!closing_) Join(&infoThread_);
        return 1;
    case PDM_SAVE_ENDED:
        if (closing_ || !Join(&saver_)) return 1;
        EnableItems({IDC_OK, IDC_CLOSE}, true);
        if (wParam == 1) {
            CloseNow();
        } else {
            ErrorBox(L"保存好友信息失败，请重试！");
        }
        return 1;
    default:
        return PresenceDialog::DialogProc(message, wParam, lParam);
    }
}

void FriendAddedDialog::OnCommand(UINT notifyCode, UINT controlId, HWND) {
    if (notifyCode != BN_CLICKED || (controlId != IDC_OK && controlId != IDC_CLOSE)) return;
    // Both buttons save: the server has linked the two users already.
    if (saver_) return;
    if (!Join(&infoThread_) || closing_ || saver_) return;
    group_ = SelectedGroup(Item(IDC_GROUPS));
    saver_ = StartDialogThread(Save, this);
    if (saver_) EnableItems({IDC_OK, IDC_CLOSE}, false);
}

void FriendAddedDialog::FetchInfo(PresenceDialog* dialog) {
    FriendAddedDialog* self = static_cast<FriendAddedDialog*>(dialog);
    {
        LibraryVerify services(self->plug_->Book(), self->plug_->Peers());
        self->details_ = FetchFriendDetails(services, &self->fetched_);
    }
    PostMessageW(self->m_hWnd, PDM_INFO_ENDED, 0, 0);
}

void FriendAddedDialog::Save(PresenceDialog* dialog) {
    FriendAddedDialog* self = static_cast<FriendAddedDialog*>(dialog);
    bool ok;
    {
        LibraryVerify services(self->plug_->Book(), self->plug_->Peers());
        FriendInfoA record = self->details_.found ? self->fetched_ : self->accepter_;
        ok = SaveAcceptedFriend(services, &record, self->details_.policies, self->group_);
    }
    PostMessageW(self->m_hWnd, PDM_SAVE_ENDED, ok ? 1 : 0, 0);
}

void FriendAddedDialog::EndThreads() {
    Join(&infoThread_);
    Join(&saver_);
}

bool FriendAddedDialog::OnDrawItem(LPDRAWITEMSTRUCT item) { return DrawKnob(item, {&ok_, &close_}); }

void FriendAddedDialog::LoadCustomSkin() { ApplyKnobSkin({&ok_, &close_}); }

void FriendAddedDialog::OnDraw(HDC dc) { DrawSmallIcon(dc, IDC_ICON_PLACE); }

}  // namespace presence
