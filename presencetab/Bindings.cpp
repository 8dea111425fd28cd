#include "Bindings.h"

#include "ModulePath.h"
#include "Text.h"

namespace presence {

namespace {

const int kMissing = -1;

template <typename Fn>
Fn Export(const vantor::UniqueModule& module, const char* name) {
    return vantor::ProcAddress<Fn>(module.get(), name);
}

#define LEDGER(name) Export<PFN_RostLedger_##name>(ledger_, "RostLedger_" #name)
#define KEEPER(name) Export<PFN_RostKeeper_##name>(keeper_, "RostKeeper_" #name)
#define PRESENCE(name) Export<decltype(&::PS_Cco_##name)>(module_, "PS_Cco_" #name)
#define KERNEL(name) Export<decltype(&::Cco_##name)>(module_, "Cco_" #name)

struct FriendWalk {
    const std::function<bool(FriendHandle)>* visit;
};

BOOL CALLBACK VisitFriend(FriendHandle entry, GroupHandle, UINT_PTR user) {
    return (*reinterpret_cast<FriendWalk*>(user)->visit)(entry) ? TRUE : FALSE;
}

int __stdcall VisitRecord(FriendInfoA record, UINT_PTR context) {
    return (*reinterpret_cast<const std::function<bool(const FriendInfoA&)>*>(context))(record) ? 1 : 0;
}

}  // namespace

LibraryBook::LibraryBook(HostContext book)
    : book_(book),
      ledger_(vantor::LoadProgramLibrary(L"RostLedger.dll")),
      keeper_(vantor::LoadProgramLibrary(L"RostKeeper.dll")) {}

FriendHandle LibraryBook::CurrentAccount() {
    auto fn = LEDGER(GetCurrentAccount);
    return fn ? fn(book_) : nullptr;
}

bool LibraryBook::FriendInfo(FriendHandle entry, FriendInfoA* out) {
    auto fn = LEDGER(GetFriendInfoA);
    return fn && entry && fn(book_, entry, out);
}

FriendHandle LibraryBook::FindFriend(const char* id, GroupHandle* group) {
    auto fn = LEDGER(IsUserInFriendsA);
    return fn ? fn(book_, id, group) : nullptr;
}

void LibraryBook::EachOnlineFriend(const std::function<bool(FriendHandle)>& visit) {
    auto fn = LEDGER(EnumFriendsA);
    FriendWalk walk{&visit};
    if (fn) fn(book_, VisitFriend, FRIEND_MATCH_NOT_STATUS, "0", reinterpret_cast<UINT_PTR>(&walk));
}

bool LibraryBook::UpdateFriendStatus(FriendHandle entry, const FriendStatus& status, DWORD flag) {
    auto fn = KEEPER(UpdateFriendStatus);
    return fn && fn(book_, entry, &status, flag);
}

bool LibraryBook::RefreshFriendStatus(DWORD flags) {
    auto fn = KEEPER(RefreshFriendStatus);
    return fn && fn(book_, flags);
}

bool LibraryBook::ModifyFriend(FriendHandle entry, const FriendInfoA& info) {
    auto fn = KEEPER(ModifyFriendA);
    return fn && fn(book_, entry, &info);
}

bool LibraryBook::AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) {
    auto fn = KEEPER(AddServicePolicyA);
    return fn && fn(book_, entry, records, count, 1);
}

bool LibraryBook::UpdateSelfStatus(const FriendStatus& status) {
    auto fn = KEEPER(UpdateSelfStatus);
    return fn && fn(book_, &status);
}

bool LibraryBook::DelFriend(FriendHandle entry, GroupHandle group) {
    auto fn = KEEPER(DelFriend);
    return fn && fn(book_, entry, group);
}

bool LibraryBook::SetOnlineCount(DWORD count) {
    auto fn = Export<PFN_RostKeeper_SetOnlineCount>(keeper_, MAKEINTRESOURCEA(ROSTKEEPER_SET_ONLINE_COUNT_ORDINAL));
    return fn && fn(book_, count, 0);
}

PFN_RostLedger_QueryFriendServicePolicyA LibraryBook::QueryPolicyExport() const {
    return LEDGER(QueryFriendServicePolicyA);
}

LibraryServer::LibraryServer() : module_(vantor::LoadProgramLibrary(L"PresenceCore.dll")) {}

int LibraryServer::OnlineFriends(const std::function<bool(const FriendInfoA&)>& visit) {
    auto fn = PRESENCE(GetOnlineFriendsA);
    return fn ? fn(VisitRecord, reinterpret_cast<UINT_PTR>(&visit)) : kMissing;
}

int LibraryServer::UpdateStatus(int type, const char* value, const char* friendIds, int proxyFlag) {
    auto fn = PRESENCE(UpdateStatusA);
    return fn ? fn(type, value, friendIds, proxyFlag) : kMissing;
}

int LibraryServer::FriendIp(const char* id, FriendInfoA* record) {
    auto fn = PRESENCE(GetFriendIpA);
    return fn ? fn(id, record) : kMissing;
}

int LibraryServer::OnlineCount(LONG* count) {
    auto fn = PRESENCE(GetOnlineCount);
    return fn ? fn(count) : kMissing;
}

int LibraryServer::Login(FriendInfoA* account, const char* session, const char* signOn) {
    auto fn = PRESENCE(LoginA);
    return fn ? fn(account, session, signOn) : kMissing;
}

LibraryKernel::LibraryKernel() : module_(vantor::LoadProgramLibrary(L"ClientCore.dll")) {}

int LibraryKernel::UserPublicInfo(const char* id, FriendInfoA* record) {
    auto fn = KERNEL(GetUserPublicInfoA);
    return fn ? fn(id, record) : kMissing;
}

int LibraryKernel::ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) {
    auto fn = KERNEL(GetServicePolicysA);
    return fn ? fn(id, records, count) : 0;
}

namespace {

struct GroupWalk {
    std::vector<GroupHandle> groups;
};

BOOL CALLBACK VisitGroup(GroupHandle group, GroupHandle, UINT_PTR user) {
    reinterpret_cast<GroupWalk*>(user)->groups.push_back(group);
    return TRUE;
}

// The network-friends root and the groups below it.
const DWORD kNetworkRoots = 2;

}  // namespace

LibraryVerify::LibraryVerify(HostContext book, PeerSender& peers) : book_(book), peers_(peers) {}

bool LibraryVerify::Account(FriendInfoA* own) { return book_.Account(own); }

std::vector<GroupChoice> LibraryVerify::NetworkGroups() {
    std::vector<GroupChoice> out;
    auto walk = vantor::ProcAddress<PFN_RostLedger_EnumGroup>(book_.Ledger(), "RostLedger_EnumGroup");
    if (!walk) return out;
    GroupWalk found;
    walk(book_.Handle(), kNetworkRoots, VisitGroup, reinterpret_cast<UINT_PTR>(&found));
    for (GroupHandle g : found.groups) {
        GroupInfoA info = {};
        if (!GroupInfo(g, &info)) continue;
        out.push_back(GroupChoice{g, vantor::FieldText(info.name)});
    }
    return out;
}

bool LibraryVerify::GroupInfo(GroupHandle group, GroupInfoA* out) {
    auto fn = vantor::ProcAddress<PFN_RostLedger_GetGroupInfoA>(book_.Ledger(), "RostLedger_GetGroupInfoA");
    return fn && group && fn(book_.Handle(), group, out);
}

bool LibraryVerify::DelBlackUser(const char* id) {
    auto fn = vantor::ProcAddress<PFN_RostKeeper_DelBlackUserA>(book_.Keeper(), "RostKeeper_DelBlackUserA");
    return fn && fn(book_.Handle(), id);
}

FriendHandle LibraryVerify::AddFriend(const FriendInfoA& record, GroupHandle group) {
    auto fn = vantor::ProcAddress<PFN_RostKeeper_AddFriendA>(book_.Keeper(), "RostKeeper_AddFriendA");
    return fn ? fn(book_.Handle(), &record, group) : nullptr;
}

bool LibraryVerify::AddServicePolicies(FriendHandle entry, const ServicePolicyInfoA* records, DWORD count) {
    return book_.AddServicePolicies(entry, records, count);
}

#define VERIFY_PRESENCE(name) vantor::ProcAddress<decltype(&::PS_Cco_##name)>(server_.Module(), "PS_Cco_" #name)

int LibraryVerify::SendRequestValid(const char* id, const char* message) {
    auto fn = VERIFY_PRESENCE(SendRequestValidA);
    return fn ? fn(id, message) : kMissing;
}

int LibraryVerify::SendResponseValid(const char* id, int code, const char* reason, int proxyFlag) {
    auto fn = VERIFY_PRESENCE(SendResponseValidA);
    return fn ? fn(id, code, reinterpret_cast<UINT_PTR>(reason), proxyFlag) : kMissing;
}

int LibraryVerify::MoveFriend(const char* id, const char* groupId, int proxyFlag) {
    auto fn = VERIFY_PRESENCE(MoveFriendA);
    return fn ? fn(id, groupId, proxyFlag) : kMissing;
}

int LibraryVerify::ModifyFriendInfo(FriendInfoA* record, const char* groupId) {
    auto fn = VERIFY_PRESENCE(ModifyFriendInfoA);
    return fn ? fn(record, groupId) : kMissing;
}

int LibraryVerify::FriendIp(const char* id, FriendInfoA* record) { return server_.FriendIp(id, record); }

int LibraryVerify::UserPublicInfo(const char* id, FriendInfoA* record) { return kernel_.UserPublicInfo(id, record); }

int LibraryVerify::ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) {
    return kernel_.ServicePolicies(id, records, count);
}

bool LibraryVerify::SendAndConfirm(const PeerTarget& target, const std::string& text) {
    return peers_.SendAndConfirm(target, text);
}

int BeatLoadedPresenceCore(int* interval) {
    HMODULE held = nullptr;
    if (!GetModuleHandleExW(0, L"PresenceCore.dll", &held)) return kMissing;
    vantor::UniqueModule module_(held);
    auto fn = PRESENCE(HeartBeat);
    return fn ? fn(nullptr, interval) : kMissing;
}

}  // namespace presence
