// The contact book as the contact-list pane reads it. The pane reaches the real book
// only through RostLedger (LedgerBook); tests give the model a book of their own.
#pragma once

#include <windows.h>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace rostview {

class ContactBook {
public:
    virtual ~ContactBook() = default;

    // Record reads: false (and the record untouched) when nothing was read.
    virtual bool FriendA(FriendHandle entry, FriendInfoA* out) = 0;
    virtual bool FriendW(FriendHandle entry, FriendInfoW* out) = 0;
    virtual bool GroupA(GroupHandle group, GroupInfoA* out) = 0;
    virtual bool GroupW(GroupHandle group, GroupInfoW* out) = 0;
    virtual FriendHandle CurrentAccount() = 0;
    // Whether the contact has the service policy; its record in *out when it has.
    virtual bool Policy(FriendHandle entry, DWORD policyId, ServicePolicyInfoA* out) = 0;

    // The walks of the load; false when the walk was stopped or could not be made.
    virtual bool CanWalk() const = 0;
    virtual bool EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user) = 0;
    virtual bool EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) = 0;
    // False when the book offers no black list walk.
    virtual bool EnumBlackList(FriendEnumProc proc, UINT_PTR user) = 0;

    // Whether the contact has the policy with status 1 (in use).
    bool PolicyInUse(FriendHandle entry, DWORD policyId);
};

// RostLedger.dll from the program folder, loaded at the object's first call and held for
// its lifetime: one object per call, or one for a whole load or sort so the library is
// loaded once for it (and not at all when nothing is read).
class LedgerBook : public ContactBook {
public:
    explicit LedgerBook(HostContext book);
    ~LedgerBook() override;
    LedgerBook(const LedgerBook&) = delete;
    LedgerBook& operator=(const LedgerBook&) = delete;

    bool Loaded() const { return Module() != nullptr; }

    bool FriendA(FriendHandle entry, FriendInfoA* out) override;
    bool FriendW(FriendHandle entry, FriendInfoW* out) override;
    bool GroupA(GroupHandle group, GroupInfoA* out) override;
    bool GroupW(GroupHandle group, GroupInfoW* out) override;
    FriendHandle CurrentAccount() override;
    bool Policy(FriendHandle entry, DWORD policyId, ServicePolicyInfoA* out) override;
    bool CanWalk() const override;
    bool EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user) override;
    bool EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) override;
    bool EnumBlackList(FriendEnumProc proc, UINT_PTR user) override;
    bool GroupNameExists(GroupHandle parent, const char* name);

private:
    // The exports the pane calls, each looked up at its first use only.
    enum Call { FRIEND_A, FRIEND_W, GROUP_A, GROUP_W, ACCOUNT, POLICY, ENUM_GROUP, ENUM_FRIENDS, ENUM_BLACK,
                NAME_EXISTS, CALL_COUNT };
    template <typename Fn> Fn Export(Call call) const;
    HMODULE Module() const;

    HostContext book_;
    mutable HMODULE module_ = nullptr;
    mutable bool loadTried_ = false;
    mutable FARPROC exports_[CALL_COUNT] = {};
    mutable bool looked_[CALL_COUNT] = {};
};

// RostKeeper.dll from the program folder for one registration call; false when the
// library or the export is missing.
bool RegisterWithKeeper(HostContext book, HMODULE module, UINT_PTR user);
bool UnregisterFromKeeper(HostContext book, HMODULE module);

}  // namespace rostview
