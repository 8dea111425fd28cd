// RostBase.dll loaded the way its callers load it: by file name, each call by its name.
#pragma once

#include <windows.h>
#include <string>

#include "../RostBase.h"

#define ROST_CALLS(X)                                                                                  \
    X(LoadA) X(LoadW) X(Unload) X(SetCurrentAccountInfoA) X(SetCurrentAccountInfoW) X(GetCurrentAccount) \
    X(GetFriendInfoA) X(GetFriendInfoW) X(GetGroupInfoA) X(GetGroupInfoW) X(GetOffRootGroup)           \
    X(GetOnRootGroup) X(EnumGroup) X(EnumFriendsA) X(EnumFriendsW) X(EnumGroupFriends) X(EnumBlackList) \
    X(IsUserInBlackListA) X(IsUserInBlackListW) X(IsCodeInBlackListUserA) X(IsCodeInBlackListUserW)    \
    X(IsUserInFriendsA) X(IsUserInFriendsW) X(StatFriends) X(GetOnlineCount) X(IsGroupNameExistsA)     \
    X(IsGroupNameExistsW) X(AddFriendA) X(AddFriendW) X(DelFriend) X(ChangeFriendGroup) X(PreventUser) \
    X(DelUserFromBlackList) X(DelBlackUserA) X(DelBlackUserW) X(AddGroupA) X(AddGroupW) X(DelGroup)    \
    X(AddStranger) X(ModifyFriendA) X(ModifyFriendW) X(ModifyGroupA) X(ModifyGroupW)                   \
    X(RegisterEventModule) X(UnregisterEventModule) X(UpdateFriendStatus) X(UpdateSelfStatus)          \
    X(RefreshFriendStatus) X(SetOnlineCount) X(AddServicePolicyA) X(AddServicePolicyW)                 \
    X(QueryFriendServicePolicyA) X(QueryFriendServicePolicyW) X(GetFriendServicePolicysA)              \
    X(GetFriendServicePolicysW) X(UpdateServicePolicyDataA) X(UpdateServicePolicyDataW)                \
    X(AppendServiceBoardA) X(AppendServiceBoardW) X(GetFriendServiceBoardsA) X(GetFriendServiceBoardsW) \
    X(UpdateFriendBoardA) X(UpdateFriendBoardW) X(GetServiceBoardIdA) X(GetServiceBoardIdW)            \
    X(AppendServiceSubjectA) X(AppendServiceSubjectW) X(GetFriendServiceSubjectsA)                     \
    X(GetFriendServiceSubjectsW) X(UpdateFriendSubjectA) X(UpdateFriendSubjectW)

struct RostApi {
#define ROST_FIELD(n) decltype(&RostBase_##n) n = nullptr;
    ROST_CALLS(ROST_FIELD)
#undef ROST_FIELD
    HMODULE module = nullptr;
    int resolved = 0;

    // The one instance, loaded from the program folder on first use.
    static RostApi& Get();
};

// Account name (relative to the program folder) of a fresh, empty folder.
std::wstring FreshAccount(const wchar_t* name);
// Full path of the contact file of an account.
std::wstring ContactFileOf(const std::wstring& account);
// The first group of the store with the id, in the walk's order; null when none.
GroupHandle GroupById(RostBaseHandle h, const wchar_t* id);
