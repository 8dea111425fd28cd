#include "VerifyWork.h"

#include "PeerRecords.h"
#include "Text.h"

namespace presence {

namespace {

std::vector<ServicePolicyInfoA> Policies(VerifyServices& services, const char* id) {
    UINT count = 0;
    if (services.ServicePolicies(id, nullptr, &count) != 1 || count == 0) return {};
    std::vector<ServicePolicyInfoA> records(count);
    for (ServicePolicyInfoA& r : records) r = ServicePolicyInfoA{};
    UINT filled = count;
    if (services.ServicePolicies(id, records.data(), &filled) != 1) return {};
    if (filled < count) records.resize(filled);
    return records;
}

// The server's move, then the local changes; false when there is nothing to add to or
// the server said no.
bool StoreInGroup(VerifyServices& services, FriendInfoA* record, const std::vector<ServicePolicyInfoA>& policies,
                  GroupHandle group, bool fetchPublicInfo) {
    if (!group) return false;
    GroupInfoA info = {};
    if (!services.GroupInfo(group, &info)) return false;
    std::string id = vantor::FieldText(record->id);
    std::string groupId = vantor::FieldText(info.id);
    if (services.MoveFriend(id.c_str(), groupId.c_str(), 0) != 0) return false;
    services.DelBlackUser(id.c_str());
    std::vector<ServicePolicyInfoA> fetched;
    const std::vector<ServicePolicyInfoA>* kept = &policies;
    if (fetchPublicInfo) {
        if (services.UserPublicInfo(id.c_str(), record) != 0) return false;
        vantor::CopyField(record->id, id.c_str());
        fetched = Policies(services, id.c_str());
        kept = &fetched;
    }
    services.ModifyFriendInfo(record, groupId.c_str());
    FriendHandle entry = services.AddFriend(*record, group);
    if (!entry) return false;
    if (!kept->empty()) services.AddServicePolicies(entry, kept->data(), static_cast<DWORD>(kept->size()));
    return true;
}

}  // namespace

std::wstring CutText(const std::wstring& text, size_t keep) {
    if (text.size() <= keep) return text;
    return text.substr(0, vantor::WholeCharsPrefix(text.c_str(), text.size(), keep));
}

bool SendFriendRequest(VerifyServices& services, const FriendInfoA& target, const std::string& message) {
    FriendInfoA own = {};
    if (services.Account(&own)) {
        PeerTarget to = ChoosePeerTarget(own.status, target.status, PortRule::FriendPort, 0);
        if (services.SendAndConfirm(to, RequestText(own, target, message))) return true;
    }
    std::string id = vantor::FieldText(target.id);
    std::string cut = message.substr(0, vantor::WholeCharsPrefix(message.c_str(), message.size(), kServerTextChars));
    return services.SendRequestValid(id.c_str(), cut.c_str()) == 0;
}

bool SendAnswer(VerifyServices& services, FriendInfoA* requester, bool accept, const std::string& reason,
                const ChooseGroup& choose, WORD ownPort) {
    std::string id = vantor::FieldText(requester->id);
    GroupHandle group = nullptr;
    if (accept) {
        group = choose ? choose() : nullptr;
        if (!group) return false;
        if (services.SendResponseValid(id.c_str(), 0, reason.c_str(), 1) != 0) return false;
    }
    FriendInfoA own = {};
    bool sent = false;
    if (services.Account(&own)) {
        PeerTarget to = ChoosePeerTarget(own.status, requester->status, PortRule::OwnPort, ownPort);
        sent = services.SendAndConfirm(to, ResponseText(own, *requester, accept, reason));
    }
    if (accept) return AddAcceptedFriend(services, requester, group);
    if (sent) return true;
    return services.SendResponseValid(id.c_str(), 1, reason.c_str(), 1) == 0;
}

bool AddAcceptedFriend(VerifyServices& services, FriendInfoA* record, GroupHandle group) {
    return StoreInGroup(services, record, {}, group, true);
}

FriendDetails FetchFriendDetails(VerifyServices& services, FriendInfoA* record) {
    FriendDetails details;
    std::string id = vantor::FieldText(record->id);
    FriendInfoA fetched = *record;
    if (services.UserPublicInfo(id.c_str(), &fetched) == 0) {
        vantor::CopyField(fetched.id, id.c_str());
        *record = fetched;
        details.found = true;
    }
    details.policies = Policies(services, id.c_str());
    return details;
}

bool SaveAcceptedFriend(VerifyServices& services, FriendInfoA* record, const std::vector<ServicePolicyInfoA>& policies,
                        GroupHandle group) {
    return StoreInGroup(services, record, policies, group, false);
}

}  // namespace presence
