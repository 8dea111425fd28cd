// What the presence tab's workers use of the world, as small interfaces: the contact
// book (RostLedger reads, RostKeeper changes), the presence server (PresenceCore), the
// client kernel (ClientCore), the peer sender and the stop and change signals. The plug-in
// binds them to the libraries (Bindings.h); tests bind them to fakes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ContactRecords.h"
#include "PeerAddress.h"

namespace presence {

class ContactBook {
public:
    virtual ~ContactBook() = default;
    virtual FriendHandle CurrentAccount() = 0;
    virtual bool FriendInfo(FriendHandle entry, FriendInfoA* out) = 0;
    // RostLedger_IsUserInFriendsA; group may be null.
    virtual FriendHandle FindFriend(const char* id, GroupHandle* group) = 0;
    // Every friend of both roots whose status is not 0, until visit answers false.
    virtual void EachOnlineFriend(const std::function<bool(FriendHandle)>& visit) = 0;
    virtual bool UpdateFriendStatus(FriendHandle entry, const FriendStatus& status, DWORD flag) = 0;
    virtual bool RefreshFriendStatus(DWORD flags) = 0;
    virtual bool ModifyFriend(FriendHandle entry, const FriendInfoA& info) = 0;
    virtual bool AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) = 0;
    virtual bool UpdateSelfStatus(const FriendStatus& status) = 0;
    virtual bool DelFriend(FriendHandle entry, GroupHandle group) = 0;

    // The current account's record; false when there is none.
    bool Account(FriendInfoA* out) {
        FriendHandle self = CurrentAccount();
        return self && FriendInfo(self, out);
    }
};

class PresenceServer {
public:
    virtual ~PresenceServer() = default;
    // PS_Cco_GetOnlineFriendsA: one record per online friend until visit answers false.
    virtual int OnlineFriends(const std::function<bool(const FriendInfoA&)>& visit) = 0;
    virtual int UpdateStatus(int type, const char* value, const char* friendIds, int proxyFlag) = 0;
    virtual int FriendIp(const char* id, FriendInfoA* record) = 0;
};

class ClientKernel {
public:
    virtual ~ClientKernel() = default;
    virtual int UserPublicInfo(const char* id, FriendInfoA* record) = 0;
    // Cco_GetServicePolicysA: 1 on success.
    virtual int ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) = 0;
};

class PeerSender {
public:
    virtual ~PeerSender() = default;
    // Connects, sends the text, waits for the 20-character reply, closes.
    virtual bool SendAndConfirm(const PeerTarget& target, const std::string& text) = 0;
};

class WorkSignals {
public:
    enum Wake { kNone, kStop, kChange };
    virtual ~WorkSignals() = default;
    // The stop signal, looked at without waiting.
    virtual bool Stopped() = 0;
    // Waits up to ms for the stop or the own-status signal; a change is consumed.
    virtual Wake WaitStopOrChange(DWORD ms) = 0;
};

}  // namespace presence
