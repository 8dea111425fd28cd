// The services of Services.h bound to the libraries of the program folder: each object
// loads its library when made and frees it when it goes, so a library is held for one
// operation only. A missing library or export makes each call fail quietly (0, false).
#pragma once

#include <windows.h>

#include "Handles.h"
#include "Services.h"
#include "VerifyWork.h"
#include "VantorTypes.h"
#include "outside/RostKeeper.h"
#include "outside/RostLedger.h"
#include "PresenceCore.h"
#include "ClientCore.h"

namespace presence {

class LibraryBook : public ContactBook {
public:
    explicit LibraryBook(HostContext book);

    FriendHandle CurrentAccount() override;
    bool FriendInfo(FriendHandle entry, FriendInfoA* out) override;
    FriendHandle FindFriend(const char* id, GroupHandle* group) override;
    void EachOnlineFriend(const std::function<bool(FriendHandle)>& visit) override;
    bool UpdateFriendStatus(FriendHandle entry, const FriendStatus& status, DWORD flag) override;
    bool RefreshFriendStatus(DWORD flags) override;
    bool ModifyFriend(FriendHandle entry, const FriendInfoA& info) override;
    bool AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) override;
    bool UpdateSelfStatus(const FriendStatus& status) override;
    bool DelFriend(FriendHandle entry, GroupHandle group) override;

    // RostKeeper's ordinal 24.
    bool SetOnlineCount(DWORD count);
    // Null when RostLedger lacks the export (the caller tells that case apart).
    PFN_RostLedger_QueryFriendServicePolicyA QueryPolicyExport() const;
    HostContext Handle() const { return book_; }
    HMODULE Ledger() const { return ledger_.get(); }
    HMODULE Keeper() const { return keeper_.get(); }

private:
    HostContext book_;
    vantor::UniqueModule ledger_;
    vantor::UniqueModule keeper_;
};

class LibraryServer : public PresenceServer {
public:
    LibraryServer();
    bool Loaded() const { return static_cast<bool>(module_); }
    HMODULE Module() const { return module_.get(); }

    int OnlineFriends(const std::function<bool(const FriendInfoA&)>& visit) override;
    int UpdateStatus(int type, const char* value, const char* friendIds, int proxyFlag) override;
    int FriendIp(const char* id, FriendInfoA* record) override;
    int OnlineCount(LONG* count);
    int Login(FriendInfoA* account, const char* session, const char* signOn);

private:
    vantor::UniqueModule module_;
};

class LibraryKernel : public ClientKernel {
public:
    LibraryKernel();
    HMODULE Module() const { return module_.get(); }
    int UserPublicInfo(const char* id, FriendInfoA* record) override;
    int ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) override;

private:
    vantor::UniqueModule module_;
};

// The verification workers' calls, each library loaded for the object's lifetime (one
// worker run); direct sends go through `peers`.
class LibraryVerify : public VerifyServices {
public:
    LibraryVerify(HostContext book, PeerSender& peers);

    bool Account(FriendInfoA* own) override;
    std::vector<GroupChoice> NetworkGroups() override;
    bool GroupInfo(GroupHandle group, GroupInfoA* out) override;
    bool DelBlackUser(const char* id) override;
    FriendHandle AddFriend(const FriendInfoA& record, GroupHandle group) override;
    bool AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) override;
    int SendRequestValid(const char* id, const char* message) override;
    int SendResponseValid(const char* id, int code, const char* reason, int proxyFlag) override;
    int MoveFriend(const char* id, const char* groupId, int proxyFlag) override;
    int ModifyFriendInfo(FriendInfoA* record, const char* groupId) override;
    int FriendIp(const char* id, FriendInfoA* record) override;
    int UserPublicInfo(const char* id, FriendInfoA* record) override;
    int ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) override;
    bool SendAndConfirm(const PeerTarget& target, const std::string& text) override;

private:
    LibraryBook book_;
    LibraryServer server_;
    LibraryKernel kernel_;
    PeerSender& peers_;
};

// PS_Cco_HeartBeat of the PresenceCore that the kernel keeps loaded (never loaded here);
// -1 when it is not there.
int BeatLoadedPresenceCore(int* interval);

}  // namespace presence
