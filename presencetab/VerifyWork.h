// The friend-verification conversation without its windows: sending a request, answering
// one, and adding the new friend once the presence server agreed. The dialogs run these
// on their worker threads over VerifyServices, bound to the libraries (Bindings.h);
// tests bind them to fakes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ContactRecords.h"
#include "PeerAddress.h"

namespace presence {

// A group of the network-friends root, for the group lists.
struct GroupChoice {
    GroupHandle group = nullptr;
    std::string name;
};

class VerifyServices {
public:
    virtual ~VerifyServices() = default;
    // Contact book.
    virtual bool Account(FriendInfoA* own) = 0;
    virtual std::vector<GroupChoice> NetworkGroups() = 0;
    virtual bool GroupInfo(GroupHandle group, GroupInfoA* out) = 0;
    virtual bool DelBlackUser(const char* id) = 0;
    virtual FriendHandle AddFriend(const FriendInfoA& record, GroupHandle group) = 0;
    virtual bool AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) = 0;
    // Presence server: 0 when it agreed.
    virtual int SendRequestValid(const char* id, const char* message) = 0;
    virtual int SendResponseValid(const char* id, int code, const char* reason, int proxyFlag) = 0;
    virtual int MoveFriend(const char* id, const char* groupId, int proxyFlag) = 0;
    virtual int ModifyFriendInfo(FriendInfoA* record, const char* groupId) = 0;
    virtual int FriendIp(const char* id, FriendInfoA* record) = 0;
    // Client kernel: UserPublicInfo 0 on success, ServicePolicies 1 on success.
    virtual int UserPublicInfo(const char* id, FriendInfoA* record) = 0;
    virtual int ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) = 0;
    // The friend's client, directly.
    virtual bool SendAndConfirm(const PeerTarget& target, const std::string& text) = 0;
};

// The longest request text the add-friend dialog keeps, and the longest text the server
// is given (requests and refusal reasons), in characters.
enum : size_t { kRequestTextChars = 260, kServerTextChars = 258 };

// The first `keep` characters of the text.
std::wstring CutText(const std::wstring& text, size_t keep);

// The request "0001" straight to the target (its public address and port, or its local
// ones behind our router); when that fails, through the server. True when either went.
bool SendFriendRequest(VerifyServices& services, const FriendInfoA& target, const std::string& message);

// Asked on the dialog's thread while the answer worker waits: the group the requester
// goes to, null when none was chosen.
using ChooseGroup = std::function<GroupHandle()>;

// The answer to a request. Accepting first needs a group and the server's consent, then
// tells the requester "0002" "0001" and adds it to that group: the answer succeeds only
// when the requester was added. Refusing tells the requester "0000" with the reason, or
// the server when the requester cannot be reached.
bool SendAnswer(VerifyServices& services, FriendInfoA* requester, bool accept, const std::string& reason,
                const ChooseGroup& choose, WORD ownPort);

// The accepted requester into the group: the server moves it first; only then the
// black-list entry goes and the record, with its services, is filled and stored.
bool AddAcceptedFriend(VerifyServices& services, FriendInfoA* record, GroupHandle group);

// The accepter's public record and services, for the friend-added dialog.
struct FriendDetails {
    bool found = false;
    std::vector<ServicePolicyInfoA> policies;
};
FriendDetails FetchFriendDetails(VerifyServices& services, FriendInfoA* record);

// The friend-added dialog's save: the accepter into the group with its services, in the
// same order as AddAcceptedFriend. False without a group or when the server refused.
bool SaveAcceptedFriend(VerifyServices& services, FriendInfoA* record, const std::vector<ServicePolicyInfoA>& policies,
                        GroupHandle group);

}  // namespace presence
