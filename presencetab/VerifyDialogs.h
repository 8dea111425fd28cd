// The five dialogs of the friend-verification conversation: the answer to a request
// (accept into a group or refuse with a reason), the refusal notice, the friend-added
// dialog (choose a group and save), the modal group chooser and the add-friend dialog.
// The conversation itself runs in VerifyWork on the dialogs' worker threads.
#pragma once

#include <string>
#include <vector>

#include "ContactRecords.h"
#include "PresenceDialog.h"
#include "VerifyWork.h"
#include "outside/GlassKit.h"
#include "outside/KnobKit.h"

namespace presence {

enum DialogKind { kAnswerDialog = 1, kFriendAddedDialog = 2, kRefusalDialog = 3 };

// The groups of the network-friends root into a drop-down list, item data the group,
// the first one selected.
void FillGroupList(HWND list, const std::vector<GroupChoice>& groups);
// The selected entry's group; null without a selection.
GroupHandle SelectedGroup(HWND list);

class GroupChooser : public PresenceDialog {
public:
    GroupChooser(const std::string& nickname, std::vector<GroupChoice> groups);
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    // The entry selected when the dialog went.
    GroupHandle Result() const { return result_; }

private:
    std::string nickname_;
    std::vector<GroupChoice> groups_;
    GroupHandle result_ = nullptr;
    CKnobKit ok_;
};

class AnswerDialog : public PresenceDialog {
public:
    AnswerDialog(PresencePlug* plug, const FriendInfoA& requester, const std::string& message);
    ~AnswerDialog() override;
    int Kind() const override { return kAnswerDialog; }
    std::string PeerId() const override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;

protected:
    void EndThreads() override;

private:
    static void FetchAddress(PresenceDialog* self);
    static void Answer(PresenceDialog* self);
    GroupHandle AskGroup();
    // False when the window went during the choice (the object is gone).
    bool ChooseGroup();
    void Finished(bool ok);

    FriendInfoA requester_;
    std::string message_;
    std::string reason_;
    bool accept_ = false;
    HANDLE addressThread_ = nullptr;
    HANDLE worker_ = nullptr;
    HANDLE choiceMade_ = nullptr;
    GroupHandle chosen_ = nullptr;
    GroupChooser* chooser_ = nullptr;
    CKnobKit refuse_, accept_knob_, close_;
    CGlassKit reasonBox_;
};

class RefusalDialog : public PresenceDialog {
public:
    RefusalDialog(PresencePlug* plug, const FriendInfoA& refuser, const std::string& reason);
    int Kind() const override { return kRefusalDialog; }
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;

private:
    FriendInfoA refuser_;
    std::string reason_;
    CKnobKit again_, ok_, close_;
};

class FriendAddedDialog : public PresenceDialog {
public:
    FriendAddedDialog(PresencePlug* plug, const FriendInfoA& accepter);
    ~FriendAddedDialog() override;
    int Kind() const override { return kFriendAddedDialog; }
    std::string PeerId() const override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;

protected:
    void EndThreads() override;

private:
    static void FetchInfo(PresenceDialog* self);
    static void Save(PresenceDialog* self);

    FriendInfoA accepter_;
    FriendInfoA fetched_;
    FriendDetails details_;
    GroupHandle group_ = nullptr;
    HANDLE infoThread_ = nullptr;
    HANDLE saver_ = nullptr;
    CKnobKit ok_, close_;
};

class AddFriendDialog : public PresenceDialog {
public:
    AddFriendDialog(PresencePlug* plug, const FriendInfoA& target);
    ~AddFriendDialog() override;

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT notifyCode, UINT controlId, HWND control) override;
    bool OnDrawItem(LPDRAWITEMSTRUCT item) override;
    void LoadCustomSkin() override;
    void OnDraw(HDC dc) override;

protected:
    void EndThreads() override;

private:
    static void FetchAddress(PresenceDialog* self);
    static void Send(PresenceDialog* self);

    FriendInfoA target_;
    std::string message_;
    HANDLE addressThread_ = nullptr;
    HANDLE worker_ = nullptr;
    CKnobKit send_, cancel_;
};

}  // namespace presence
