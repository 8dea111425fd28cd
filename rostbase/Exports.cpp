// The exported call interface: the null-store rule, the A/W conversions, and forwarding
// to the store.
#include "RostBase.h"

#include <cstring>
#include <new>

#include "ContactStore.h"
#include "Text.h"

using rostbase::ContactStore;

namespace {

ContactStore* S(RostBaseHandle h) { return ContactStore::From(h); }

std::wstring WideKey(const char* text) { return rostbase::Widen(text); }

// Null stays null: a null key passes no filter, a null id finds nothing.
struct OptionalWide {
    explicit OptionalWide(const char* text) : present(text != nullptr), value(rostbase::Widen(text)) {}
    const wchar_t* get() const { return present ? value.c_str() : nullptr; }
    bool present;
    std::wstring value;
};

RostBaseHandle Load(const std::wstring& account) {
    ContactStore* store = new (std::nothrow) ContactStore;
    if (!store) return nullptr;
    store->Load(account);
    return store->Handle();
}

template <typename Rec>
rostbase::FriendData FriendFrom(const Rec& info) {
    rostbase::FriendData data;
    rostbase::FromRecord(info, &data);
    return data;
}

template <typename Rec>
rostbase::ContactGroup GroupFrom(const Rec& info) {
    rostbase::ContactGroup group;
    rostbase::FromRecord(info, &group);
    return group;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID) {
    rostbase::SetModuleDirectory(instance);
    return TRUE;
}

// ---------------------------------------------------------------- lifecycle

RostBaseHandle WINAPI RostBase_LoadA(const char* account) { return Load(rostbase::Widen(account)); }
RostBaseHandle WINAPI RostBase_LoadW(const wchar_t* account) { return Load(account ? account : L""); }

BOOL WINAPI RostBase_Unload(RostBaseHandle store) {
    if (!store) return FALSE;
    delete S(store);
    return TRUE;
}

BOOL WINAPI RostBase_SetCurrentAccountInfoA(RostBaseHandle store, const FriendInfoA* info) {
    return store && info ? S(store)->SetCurrentAccount(*info) : FALSE;
}

BOOL WINAPI RostBase_SetCurrentAccountInfoW(RostBaseHandle store, const FriendInfoW* info) {
    return store && info ? S(store)->SetCurrentAccount(*info) : FALSE;
}

FriendHandle WINAPI RostBase_GetCurrentAccount(RostBaseHandle store) {
    return store ? S(store)->CurrentAccount() : nullptr;
}

// ---------------------------------------------------------------- queries

BOOL WINAPI RostBase_GetFriendInfoA(RostBaseHandle store, FriendHandle entry, FriendInfoA* out) {
    return store ? S(store)->GetFriendInfo(entry, out) : FALSE;
}

BOOL WINAPI RostBase_GetFriendInfoW(RostBaseHandle store, FriendHandle entry, FriendInfoW* out) {
    return store ? S(store)->GetFriendInfo(entry, out) : FALSE;
}

BOOL WINAPI RostBase_GetGroupInfoA(RostBaseHandle store, GroupHandle group, GroupInfoA* out) {
    return store ? S(store)->GetGroupInfo(group, out) : FALSE;
}

BOOL WINAPI RostBase_GetGroupInfoW(RostBaseHandle store, GroupHandle group, GroupInfoW* out) {
    return store ? S(store)->GetGroupInfo(group, out) : FALSE;
}

GroupHandle WINAPI RostBase_GetOffRootGroup(RostBaseHandle store) { return store ? S(store)->OffRoot() : nullptr; }
GroupHandle WINAPI RostBase_GetOnRootGroup(RostBaseHandle store) { return store ? S(store)->OnRoot() : nullptr; }

BOOL WINAPI RostBase_EnumGroup(RostBaseHandle store, DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    return store ? S(store)->EnumGroup(rootMask, proc, user) : FALSE;
}

BOOL WINAPI RostBase_EnumFriendsA(RostBaseHandle store, FriendEnumProc proc, DWORD mask, const char* key,
                                  UINT_PTR user) {
    if (!store) return FALSE;
    OptionalWide wideKey(key);
    return S(store)->EnumFriends(proc, mask, wideKey.get(), user);
}

BOOL WINAPI RostBase_EnumFriendsW(RostBaseHandle store, FriendEnumProc proc, DWORD mask, const wchar_t* key,
                                  UINT_PTR user) {
    return store ? S(store)->EnumFriends(proc, mask, key, user) : FALSE;
}

BOOL WINAPI RostBase_EnumGroupFriends(RostBaseHandle store, GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    return store ? S(store)->EnumGroupFriends(group, proc, user) : FALSE;
}

BOOL WINAPI RostBase_EnumBlackList(RostBaseHandle store, FriendEnumProc proc, UINT_PTR user) {
    return store ? S(store)->EnumBlackList(proc, user) : FALSE;
}

BOOL WINAPI RostBase_IsUserInBlackListA(RostBaseHandle store, const char* id) {
    return store && id ? S(store)->IsUserInBlackList(WideKey(id).c_str()) : FALSE;
}

BOOL WINAPI RostBase_IsUserInBlackListW(RostBaseHandle store, const wchar_t* id) {
    return store ? S(store)->IsUserInBlackList(id) : FALSE;
}

BOOL WINAPI RostBase_IsCodeInBlackListUserA(RostBaseHandle store, DWORD mask, const char* key) {
    if (!store) return FALSE;
    OptionalWide wideKey(key);
    return S(store)->IsCodeInBlackListUser(mask, wideKey.get());
}

BOOL WINAPI RostBase_IsCodeInBlackListUserW(RostBaseHandle store, DWORD mask, const wchar_t* key) {
    return store ? S(store)->IsCodeInBlackListUser(mask, key) : FALSE;
}

FriendHandle WINAPI RostBase_IsUserInFriendsA(RostBaseHandle store, const char* id, GroupHandle* group) {
    return store && id ? S(store)->IsUserInFriends(WideKey(id).c_str(), group) : nullptr;
}

FriendHandle WINAPI RostBase_IsUserInFriendsW(RostBaseHandle store, const wchar_t* id, GroupHandle* group) {
    return store ? S(store)->IsUserInFriends(id, group) : nullptr;
}

BOOL WINAPI RostBase_StatFriends(RostBaseHandle store, GroupHandle group, DWORD* total, DWORD* online) {
    return store ? S(store)->StatFriends(group, total, online) : FALSE;
}

DWORD WINAPI RostBase_GetOnlineCount(RostBaseHandle store, DWORD* second) {
    return store ? S(store)->GetOnlineCount(second) : 0;
}

// These read only the group, but the store's lock guards it against other threads, so
// a null store answers 0 like every other call.
BOOL WINAPI RostBase_IsGroupNameExistsA(RostBaseHandle store, GroupHandle parent, const char* name) {
    return store && name ? S(store)->IsGroupNameExists(parent, WideKey(name)) : FALSE;
}

BOOL WINAPI RostBase_IsGroupNameExistsW(RostBaseHandle store, GroupHandle parent, const wchar_t* name) {
    return store && name ? S(store)->IsGroupNameExists(parent, name) : FALSE;
}

// ---------------------------------------------------------------- changes

FriendHandle WINAPI RostBase_AddFriendA(RostBaseHandle store, const FriendInfoA* info, GroupHandle group) {
    return store && info ? S(store)->AddFriend(FriendFrom(*info), group) : nullptr;
}

FriendHandle WINAPI RostBase_AddFriendW(RostBaseHandle store, const FriendInfoW* info, GroupHandle group) {
    return store && info ? S(store)->AddFriend(FriendFrom(*info), group) : nullptr;
}

BOOL WINAPI RostBase_DelFriend(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return store ? S(store)->DelFriend(entry, group) : FALSE;
}

BOOL WINAPI RostBase_ChangeFriendGroup(RostBaseHandle store, FriendHandle entry, GroupHandle oldGroup,
                                       GroupHandle newGroup) {
    return store ? S(store)->ChangeFriendGroup(entry, oldGroup, newGroup) : FALSE;
}

BOOL WINAPI RostBase_PreventUser(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return store ? S(store)->PreventUser(entry, group) : FALSE;
}

BOOL WINAPI RostBase_DelUserFromBlackList(RostBaseHandle store, FriendHandle entry) {
    return store ? S(store)->DelUserFromBlackList(entry) : FALSE;
}

BOOL WINAPI RostBase_DelBlackUserA(RostBaseHandle store, const char* id) {
    return store && id ? S(store)->DelBlackUser(WideKey(id).c_str()) : FALSE;
}

BOOL WINAPI RostBase_DelBlackUserW(RostBaseHandle store, const wchar_t* id) {
    return store ? S(store)->DelBlackUser(id) : FALSE;
}

BOOL WINAPI RostBase_AddGroupA(RostBaseHandle store, const GroupInfoA* info, GroupHandle parent) {
    return store && info ? S(store)->AddGroup(GroupFrom(*info), parent) : FALSE;
}

BOOL WINAPI RostBase_AddGroupW(RostBaseHandle store, const GroupInfoW* info, GroupHandle parent) {
    return store && info ? S(store)->AddGroup(GroupFrom(*info), parent) : FALSE;
}

BOOL WINAPI RostBase_DelGroup(RostBaseHandle store, GroupHandle group, GroupHandle parent) {
    return store ? S(store)->DelGroup(group, parent) : FALSE;
}

BOOL WINAPI RostBase_AddStranger(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return store ? S(store)->AddStranger(entry, group) : FALSE;
}

BOOL WINAPI RostBase_ModifyFriendA(RostBaseHandle store, FriendHandle entry, const FriendInfoA* info) {
    if (!store || !info) return FALSE;
    std::string id = vantor::FieldText(info->id);
    return S(store)->ModifyFriend(entry, FriendFrom(*info), &id);
}

BOOL WINAPI RostBase_ModifyFriendW(RostBaseHandle store, FriendHandle entry, const FriendInfoW* info) {
    return store && info ? S(store)->ModifyFriend(entry, FriendFrom(*info), nullptr) : FALSE;
}

BOOL WINAPI RostBase_ModifyGroupA(RostBaseHandle store, GroupHandle group, const GroupInfoA* info) {
    if (!store || !info) return FALSE;
    std::string id = vantor::FieldText(info->id);
    return S(store)->ModifyGroup(group, GroupFrom(*info), &id);
}

BOOL WINAPI RostBase_ModifyGroupW(RostBaseHandle store, GroupHandle group, const GroupInfoW* info) {
    return store && info ? S(store)->ModifyGroup(group, GroupFrom(*info), nullptr) : FALSE;
}

BOOL WINAPI RostBase_RegisterEventModule(RostBaseHandle store, HMODULE module, UINT_PTR user) {
    return store ? S(store)->RegisterEventModule(module, user) : FALSE;
}

BOOL WINAPI RostBase_UnregisterEventModule(RostBaseHandle store, HMODULE module) {
    return store ? S(store)->UnregisterEventModule(module) : FALSE;
}

BOOL WINAPI RostBase_UpdateFriendStatus(RostBaseHandle store, FriendHandle entry, const FriendStatus* status,
                                        DWORD notify) {
    return store && status ? S(store)->UpdateFriendStatus(entry, *status, notify) : FALSE;
}

BOOL WINAPI RostBase_UpdateSelfStatus(RostBaseHandle store, const FriendStatus* status) {
    return store && status ? S(store)->UpdateSelfStatus(status) : FALSE;
}

BOOL WINAPI RostBase_RefreshFriendStatus(RostBaseHandle store, DWORD flags) {
    return store ? S(store)->RefreshFriendStatus(flags) : FALSE;
}

BOOL WINAPI RostBase_SetOnlineCount(RostBaseHandle store, DWORD first, DWORD second) {
    return store ? S(store)->SetOnlineCount(first, second) : FALSE;
}

// ---------------------------------------------------------------- service policies

BOOL WINAPI RostBase_AddServicePolicyA(RostBaseHandle store, FriendHandle entry, const ServicePolicyInfoA* records,
                                       DWORD count, DWORD save) {
    return store ? S(store)->AddServicePolicies(entry, records, count, save) : FALSE;
}

BOOL WINAPI RostBase_AddServicePolicyW(RostBaseHandle store, FriendHandle entry, const ServicePolicyInfoW* records,
                                       DWORD count, DWORD save) {
    return store ? S(store)->AddServicePolicies(entry, records, count, save) : FALSE;
}

BOOL WINAPI RostBase_QueryFriendServicePolicyA(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                               ServicePolicyInfoA* out) {
    return store ? S(store)->QueryPolicy(entry, policyId, out) : FALSE;
}

BOOL WINAPI RostBase_QueryFriendServicePolicyW(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                               ServicePolicyInfoW* out) {
    return store ? S(store)->QueryPolicy(entry, policyId, out) : FALSE;
}

BOOL WINAPI RostBase_GetFriendServicePolicysA(RostBaseHandle store, FriendHandle entry, ServicePolicyInfoA* records,
                                              DWORD* count) {
    return store ? S(store)->GetPolicies(entry, records, count) : FALSE;
}

BOOL WINAPI RostBase_GetFriendServicePolicysW(RostBaseHandle store, FriendHandle entry, ServicePolicyInfoW* records,
                                              DWORD* count) {
    return store ? S(store)->GetPolicies(entry, records, count) : FALSE;
}

BOOL WINAPI RostBase_UpdateServicePolicyDataA(RostBaseHandle store, DWORD policyId, const ServicePolicyInfoA* info) {
    return store && info ? S(store)->UpdatePolicyData(policyId, *info) : FALSE;
}

BOOL WINAPI RostBase_UpdateServicePolicyDataW(RostBaseHandle store, DWORD policyId, const ServicePolicyInfoW* info) {
    return store && info ? S(store)->UpdatePolicyData(policyId, *info) : FALSE;
}

BOOL WINAPI RostBase_AppendServiceBoardA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* info) {
    return store && info ? S(store)->AppendBoard(entry, *info) : FALSE;
}

BOOL WINAPI RostBase_AppendServiceBoardW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* info) {
    return store && info ? S(store)->AppendBoard(entry, *info) : FALSE;
}

BOOL WINAPI RostBase_GetFriendServiceBoardsA(RostBaseHandle store, FriendHandle entry, ServiceBoardInfoA* records,
                                             DWORD* count) {
    return store ? S(store)->GetBoards(entry, records, count) : FALSE;
}

BOOL WINAPI RostBase_GetFriendServiceBoardsW(RostBaseHandle store, FriendHandle entry, ServiceBoardInfoW* records,
                                             DWORD* count) {
    return store ? S(store)->GetBoards(entry, records, count) : FALSE;
}

BOOL WINAPI RostBase_UpdateFriendBoardA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* info) {
    return store && info ? S(store)->UpdateBoard(entry, *info) : FALSE;
}

BOOL WINAPI RostBase_UpdateFriendBoardW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* info) {
    return store && info ? S(store)->UpdateBoard(entry, *info) : FALSE;
}

// The caller's buffer holds SERVICE_BOARD_ID_CHARS characters: a longer id is cut to fit.
BOOL WINAPI RostBase_GetServiceBoardIdA(const ServiceBoardInfoA* info, char* out) {
    if (!info || !out) return FALSE;
    size_t length = vantor::BoundedLength(info->locator, sizeof(info->locator));
    const char* dash = nullptr;
    for (size_t i = 0; i < length; ++i) {
        // A trail byte of cp936 is never 0x2D, but skip it all the same.
        if (IsDBCSLeadByte(static_cast<BYTE>(info->locator[i])) && i + 1 < length) {
            ++i;
            continue;
        }
        if (info->locator[i] == '-') dash = info->locator + i;
    }
    if (!dash) return FALSE;
    vantor::CopyField(out, SERVICE_BOARD_ID_CHARS, dash + 1, false);
    return TRUE;
}

BOOL WINAPI RostBase_GetServiceBoardIdW(const ServiceBoardInfoW* info, wchar_t* out) {
    if (!info || !out) return FALSE;
    std::wstring id;
    if (!rostbase::BoardIdOf(vantor::FieldText(info->locator), &id)) return FALSE;
    std::memcpy(out, id.c_str(), (id.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

BOOL WINAPI RostBase_AppendServiceSubjectA(RostBaseHandle store, FriendHandle entry, const char* boardId,
                                           const ServiceSubjectInfoA* info) {
    if (!store || !info || !boardId) return FALSE;
    return S(store)->AppendSubject(entry, WideKey(boardId).c_str(), *info);
}

BOOL WINAPI RostBase_AppendServiceSubjectW(RostBaseHandle store, FriendHandle entry, const wchar_t* boardId,
                                           const ServiceSubjectInfoW* info) {
    return store && info ? S(store)->AppendSubject(entry, boardId, *info) : FALSE;
}

BOOL WINAPI RostBase_GetFriendServiceSubjectsA(RostBaseHandle store, FriendHandle entry, const char* boardId,
                                               ServiceSubjectInfoA* records, DWORD* count) {
    if (!store || !boardId) return FALSE;
    return S(store)->GetSubjects(entry, WideKey(boardId).c_str(), records, count);
}

BOOL WINAPI RostBase_GetFriendServiceSubjectsW(RostBaseHandle store, FriendHandle entry, const wchar_t* boardId,
                                               ServiceSubjectInfoW* records, DWORD* count) {
    return store ? S(store)->GetSubjects(entry, boardId, records, count) : FALSE;
}

BOOL WINAPI RostBase_UpdateFriendSubjectA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* board,
                                          const ServiceSubjectInfoA* subject) {
    return store && board && subject ? S(store)->UpdateSubject(entry, *board, *subject) : FALSE;
}

BOOL WINAPI RostBase_UpdateFriendSubjectW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* board,
                                          const ServiceSubjectInfoW* subject) {
    return store && board && subject ? S(store)->UpdateSubject(entry, *board, *subject) : FALSE;
}
