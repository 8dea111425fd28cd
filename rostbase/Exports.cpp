// The exported call interface: the null-store rule, the A/W conversions, and forwarding
// to the store. No exception leaves a call: each runs its body through Guarded().
#include "RostBase.h"

#include <cstring>
#include <memory>
#include <new>

#include "ContactStore.h"
#include "DebugOut.h"
#include "LiveStores.h"
#include "Text.h"

using rostbase::ContactStore;

namespace {

// Runs one call's body. Running out of memory in the middle of a call (the texts and lists
// the store copies) gives the call's failure value instead of an exception in a caller
// that knows none; the store's locks are scoped, so none stays held.
template <typename R, typename Body>
R Guarded(const char* call, R failure, Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        vantor::DebugLineA("RostBase: %s ran out of memory\n", call);
    } catch (...) {
        vantor::DebugLineA("RostBase: %s failed with an exception\n", call);
    }
    return failure;
}

// A call on a store, which stays alive until the call returns: a null or unloaded store
// gives the failure value like a failed call.
template <typename R, typename Body>
R OnStore(const char* call, RostBaseHandle store, R failure, Body body) noexcept {
    if (!store) return failure;
    rostbase::HeldStore held(store);
    if (!held.get()) return failure;
    return Guarded(call, failure, [&]() -> R { return body(*held.get()); });
}

std::wstring WideKey(const char* text) { return rostbase::Widen(text); }

// Null stays null: a null key passes no filter, a null id finds nothing.
struct OptionalWide {
    explicit OptionalWide(const char* text) : present(text != nullptr), value(rostbase::Widen(text)) {}
    const wchar_t* get() const { return present ? value.c_str() : nullptr; }
    bool present;
    std::wstring value;
};

RostBaseHandle Load(const std::wstring& account) {
    auto store = std::make_unique<ContactStore>();
    store->Load(account);
    return rostbase::ListStore(std::move(store));
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
    // Set at the first entry (process attach); a failure leaves the store without a file.
    return Guarded(__func__, TRUE, [&] {
        rostbase::SetModuleDirectory(instance);
        return TRUE;
    });
}

// ---------------------------------------------------------------- lifecycle

RostBaseHandle WINAPI RostBase_LoadA(const char* account) {
    return Guarded<RostBaseHandle>(__func__, nullptr, [&] { return Load(rostbase::Widen(account)); });
}

RostBaseHandle WINAPI RostBase_LoadW(const wchar_t* account) {
    return Guarded<RostBaseHandle>(__func__, nullptr, [&] { return Load(account ? account : L""); });
}

BOOL WINAPI RostBase_Unload(RostBaseHandle store) {
    return Guarded(__func__, FALSE, [&] { return rostbase::UnlistStore(store) ? TRUE : FALSE; });
}

BOOL WINAPI RostBase_SetCurrentAccountInfoA(RostBaseHandle store, const FriendInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.SetCurrentAccount(*info); });
}

BOOL WINAPI RostBase_SetCurrentAccountInfoW(RostBaseHandle store, const FriendInfoW* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.SetCurrentAccount(*info); });
}

FriendHandle WINAPI RostBase_GetCurrentAccount(RostBaseHandle store) {
    return OnStore<FriendHandle>(__func__, store, nullptr, [](ContactStore& s) { return s.CurrentAccount(); });
}

// ---------------------------------------------------------------- queries

BOOL WINAPI RostBase_GetFriendInfoA(RostBaseHandle store, FriendHandle entry, FriendInfoA* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetFriendInfo(entry, out); });
}

BOOL WINAPI RostBase_GetFriendInfoW(RostBaseHandle store, FriendHandle entry, FriendInfoW* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetFriendInfo(entry, out); });
}

BOOL WINAPI RostBase_GetGroupInfoA(RostBaseHandle store, GroupHandle group, GroupInfoA* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetGroupInfo(group, out); });
}

BOOL WINAPI RostBase_GetGroupInfoW(RostBaseHandle store, GroupHandle group, GroupInfoW* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetGroupInfo(group, out); });
}

GroupHandle WINAPI RostBase_GetOffRootGroup(RostBaseHandle store) {
    return OnStore<GroupHandle>(__func__, store, nullptr, [](ContactStore& s) { return s.OffRoot(); });
}

GroupHandle WINAPI RostBase_GetOnRootGroup(RostBaseHandle store) {
    return OnStore<GroupHandle>(__func__, store, nullptr, [](ContactStore& s) { return s.OnRoot(); });
}

BOOL WINAPI RostBase_EnumGroup(RostBaseHandle store, DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.EnumGroup(rootMask, proc, user); });
}

BOOL WINAPI RostBase_EnumFriendsA(RostBaseHandle store, FriendEnumProc proc, DWORD mask, const char* key,
                                  UINT_PTR user) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.EnumFriends(proc, mask, OptionalWide(key).get(), user); });
}

BOOL WINAPI RostBase_EnumFriendsW(RostBaseHandle store, FriendEnumProc proc, DWORD mask, const wchar_t* key,
                                  UINT_PTR user) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.EnumFriends(proc, mask, key, user); });
}

BOOL WINAPI RostBase_EnumGroupFriends(RostBaseHandle store, GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.EnumGroupFriends(group, proc, user); });
}

BOOL WINAPI RostBase_EnumBlackList(RostBaseHandle store, FriendEnumProc proc, UINT_PTR user) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.EnumBlackList(proc, user); });
}

BOOL WINAPI RostBase_IsUserInBlackListA(RostBaseHandle store, const char* id) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return id && s.IsUserInBlackList(WideKey(id).c_str()); });
}

BOOL WINAPI RostBase_IsUserInBlackListW(RostBaseHandle store, const wchar_t* id) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.IsUserInBlackList(id); });
}

BOOL WINAPI RostBase_IsCodeInBlackListUserA(RostBaseHandle store, DWORD mask, const char* key) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.IsCodeInBlackListUser(mask, OptionalWide(key).get()); });
}

BOOL WINAPI RostBase_IsCodeInBlackListUserW(RostBaseHandle store, DWORD mask, const wchar_t* key) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.IsCodeInBlackListUser(mask, key); });
}

FriendHandle WINAPI RostBase_IsUserInFriendsA(RostBaseHandle store, const char* id, GroupHandle* group) {
    return OnStore<FriendHandle>(__func__, store, nullptr, [&](ContactStore& s) {
        return id ? s.IsUserInFriends(WideKey(id).c_str(), group) : nullptr;
    });
}

FriendHandle WINAPI RostBase_IsUserInFriendsW(RostBaseHandle store, const wchar_t* id, GroupHandle* group) {
    return OnStore<FriendHandle>(__func__, store, nullptr, [&](ContactStore& s) { return s.IsUserInFriends(id, group); });
}

BOOL WINAPI RostBase_StatFriends(RostBaseHandle store, GroupHandle group, DWORD* total, DWORD* online) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.StatFriends(group, total, online); });
}

DWORD WINAPI RostBase_GetOnlineCount(RostBaseHandle store, DWORD* second) {
    return OnStore<DWORD>(__func__, store, 0, [&](ContactStore& s) { return s.GetOnlineCount(second); });
}

// These read only the group, but the store's lock guards it against other threads, so
// a null store answers 0 like every other call.
BOOL WINAPI RostBase_IsGroupNameExistsA(RostBaseHandle store, GroupHandle parent, const char* name) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return name && s.IsGroupNameExists(parent, WideKey(name)); });
}

BOOL WINAPI RostBase_IsGroupNameExistsW(RostBaseHandle store, GroupHandle parent, const wchar_t* name) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return name && s.IsGroupNameExists(parent, name); });
}

// ---------------------------------------------------------------- changes

FriendHandle WINAPI RostBase_AddFriendA(RostBaseHandle store, const FriendInfoA* info, GroupHandle group) {
    return OnStore<FriendHandle>(__func__, store, nullptr, [&](ContactStore& s) {
        return info ? s.AddFriend(FriendFrom(*info), group) : nullptr;
    });
}

FriendHandle WINAPI RostBase_AddFriendW(RostBaseHandle store, const FriendInfoW* info, GroupHandle group) {
    return OnStore<FriendHandle>(__func__, store, nullptr, [&](ContactStore& s) {
        return info ? s.AddFriend(FriendFrom(*info), group) : nullptr;
    });
}

BOOL WINAPI RostBase_DelFriend(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.DelFriend(entry, group); });
}

BOOL WINAPI RostBase_ChangeFriendGroup(RostBaseHandle store, FriendHandle entry, GroupHandle oldGroup,
                                       GroupHandle newGroup) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.ChangeFriendGroup(entry, oldGroup, newGroup); });
}

BOOL WINAPI RostBase_PreventUser(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.PreventUser(entry, group); });
}

BOOL WINAPI RostBase_DelUserFromBlackList(RostBaseHandle store, FriendHandle entry) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.DelUserFromBlackList(entry); });
}

BOOL WINAPI RostBase_DelBlackUserA(RostBaseHandle store, const char* id) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return id && s.DelBlackUser(WideKey(id).c_str()); });
}

BOOL WINAPI RostBase_DelBlackUserW(RostBaseHandle store, const wchar_t* id) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.DelBlackUser(id); });
}

BOOL WINAPI RostBase_AddGroupA(RostBaseHandle store, const GroupInfoA* info, GroupHandle parent) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.AddGroup(GroupFrom(*info), parent); });
}

BOOL WINAPI RostBase_AddGroupW(RostBaseHandle store, const GroupInfoW* info, GroupHandle parent) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.AddGroup(GroupFrom(*info), parent); });
}

BOOL WINAPI RostBase_DelGroup(RostBaseHandle store, GroupHandle group, GroupHandle parent) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.DelGroup(group, parent); });
}

BOOL WINAPI RostBase_AddStranger(RostBaseHandle store, FriendHandle entry, GroupHandle group) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.AddStranger(entry, group); });
}

BOOL WINAPI RostBase_ModifyFriendA(RostBaseHandle store, FriendHandle entry, const FriendInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) {
        if (!info) return FALSE;
        std::string id = vantor::FieldText(info->id);
        return s.ModifyFriend(entry, FriendFrom(*info), &id);
    });
}

BOOL WINAPI RostBase_ModifyFriendW(RostBaseHandle store, FriendHandle entry, const FriendInfoW* info) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return info && s.ModifyFriend(entry, FriendFrom(*info), nullptr); });
}

BOOL WINAPI RostBase_ModifyGroupA(RostBaseHandle store, GroupHandle group, const GroupInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) {
        if (!info) return FALSE;
        std::string id = vantor::FieldText(info->id);
        return s.ModifyGroup(group, GroupFrom(*info), &id);
    });
}

BOOL WINAPI RostBase_ModifyGroupW(RostBaseHandle store, GroupHandle group, const GroupInfoW* info) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return info && s.ModifyGroup(group, GroupFrom(*info), nullptr); });
}

BOOL WINAPI RostBase_RegisterEventModule(RostBaseHandle store, HMODULE module, UINT_PTR user) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.RegisterEventModule(module, user); });
}

BOOL WINAPI RostBase_UnregisterEventModule(RostBaseHandle store, HMODULE module) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.UnregisterEventModule(module); });
}

BOOL WINAPI RostBase_UpdateFriendStatus(RostBaseHandle store, FriendHandle entry, const FriendStatus* status,
                                        DWORD notify) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return status && s.UpdateFriendStatus(entry, *status, notify); });
}

BOOL WINAPI RostBase_UpdateSelfStatus(RostBaseHandle store, const FriendStatus* status) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return status && s.UpdateSelfStatus(status); });
}

BOOL WINAPI RostBase_RefreshFriendStatus(RostBaseHandle store, DWORD flags) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.RefreshFriendStatus(flags); });
}

BOOL WINAPI RostBase_SetOnlineCount(RostBaseHandle store, DWORD first, DWORD second) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.SetOnlineCount(first, second); });
}

// ---------------------------------------------------------------- service policies

BOOL WINAPI RostBase_AddServicePolicyA(RostBaseHandle store, FriendHandle entry, const ServicePolicyInfoA* records,
                                       DWORD count, DWORD save) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.AddServicePolicies(entry, records, count, save); });
}

BOOL WINAPI RostBase_AddServicePolicyW(RostBaseHandle store, FriendHandle entry, const ServicePolicyInfoW* records,
                                       DWORD count, DWORD save) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.AddServicePolicies(entry, records, count, save); });
}

BOOL WINAPI RostBase_QueryFriendServicePolicyA(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                               ServicePolicyInfoA* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.QueryPolicy(entry, policyId, out); });
}

BOOL WINAPI RostBase_QueryFriendServicePolicyW(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                               ServicePolicyInfoW* out) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.QueryPolicy(entry, policyId, out); });
}

BOOL WINAPI RostBase_GetFriendServicePolicysA(RostBaseHandle store, FriendHandle entry, ServicePolicyInfoA* records,
                                              DWORD* count) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetPolicies(entry, records, count); });
}

BOOL WINAPI RostBase_GetFriendServicePolicysW(RostBaseHandle store, FriendHandle entry, ServicePolicyInfoW* records,
                                              DWORD* count) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetPolicies(entry, records, count); });
}

BOOL WINAPI RostBase_UpdateServicePolicyDataA(RostBaseHandle store, DWORD policyId, const ServicePolicyInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.UpdatePolicyData(policyId, *info); });
}

BOOL WINAPI RostBase_UpdateServicePolicyDataW(RostBaseHandle store, DWORD policyId, const ServicePolicyInfoW* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.UpdatePolicyData(policyId, *info); });
}

BOOL WINAPI RostBase_AppendServiceBoardA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.AppendBoard(entry, *info); });
}

BOOL WINAPI RostBase_AppendServiceBoardW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.AppendBoard(entry, *info); });
}

BOOL WINAPI RostBase_GetFriendServiceBoardsA(RostBaseHandle store, FriendHandle entry, ServiceBoardInfoA* records,
                                             DWORD* count) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetBoards(entry, records, count); });
}

BOOL WINAPI RostBase_GetFriendServiceBoardsW(RostBaseHandle store, FriendHandle entry, ServiceBoardInfoW* records,
                                             DWORD* count) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return s.GetBoards(entry, records, count); });
}

BOOL WINAPI RostBase_UpdateFriendBoardA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.UpdateBoard(entry, *info); });
}

BOOL WINAPI RostBase_UpdateFriendBoardW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.UpdateBoard(entry, *info); });
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
    // The id ends where the field does, terminated or not.
    return Guarded(__func__, FALSE, [&] {
        std::string id(dash + 1, info->locator + length);
        vantor::CopyField(out, SERVICE_BOARD_ID_CHARS, id.c_str(), false);
        return TRUE;
    });
}

BOOL WINAPI RostBase_GetServiceBoardIdW(const ServiceBoardInfoW* info, wchar_t* out) {
    if (!info || !out) return FALSE;
    return Guarded(__func__, FALSE, [&] {
        std::wstring id;
        if (!rostbase::BoardIdOf(vantor::FieldText(info->locator), &id)) return FALSE;
        std::memcpy(out, id.c_str(), (id.size() + 1) * sizeof(wchar_t));
        return TRUE;
    });
}

BOOL WINAPI RostBase_AppendServiceSubjectA(RostBaseHandle store, FriendHandle entry, const char* boardId,
                                           const ServiceSubjectInfoA* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) {
        return info && boardId && s.AppendSubject(entry, WideKey(boardId).c_str(), *info);
    });
}

BOOL WINAPI RostBase_AppendServiceSubjectW(RostBaseHandle store, FriendHandle entry, const wchar_t* boardId,
                                           const ServiceSubjectInfoW* info) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) { return info && s.AppendSubject(entry, boardId, *info); });
}

BOOL WINAPI RostBase_GetFriendServiceSubjectsA(RostBaseHandle store, FriendHandle entry, const char* boardId,
                                               ServiceSubjectInfoA* records, DWORD* count) {
    return OnStore(__func__, store, FALSE, [&](ContactStore& s) {
        return boardId && s.GetSubjects(entry, WideKey(boardId).c_str(), records, count);
    });
}

BOOL WINAPI RostBase_GetFriendServiceSubjectsW(RostBaseHandle store, FriendHandle entry, const wchar_t* boardId,
                                               ServiceSubjectInfoW* records, DWORD* count) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return s.GetSubjects(entry, boardId, records, count); });
}

BOOL WINAPI RostBase_UpdateFriendSubjectA(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoA* board,
                                          const ServiceSubjectInfoA* subject) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return board && subject && s.UpdateSubject(entry, *board, *subject); });
}

BOOL WINAPI RostBase_UpdateFriendSubjectW(RostBaseHandle store, FriendHandle entry, const ServiceBoardInfoW* board,
                                          const ServiceSubjectInfoW* subject) {
    return OnStore(__func__, store, FALSE,
                   [&](ContactStore& s) { return board && subject && s.UpdateSubject(entry, *board, *subject); });
}
