// RostKeeper stand-in: changes to the contact book, forwarded to the signed-in account's
// store, which writes the contact file and announces each change to registered modules.
#include <windows.h>

#include "FacadeStore.h"
#include "outside/RostKeeper.h"

using facade::Forward;

extern "C" {

FriendHandle WINAPI RostKeeper_AddFriendA(HostContext book, const FriendInfoA* info, GroupHandle group) {
    return Forward<FriendHandle>(book, "RostBase_AddFriendA", info, group);
}

FriendHandle WINAPI RostKeeper_AddFriendW(HostContext book, const FriendInfoW* info, GroupHandle group) {
    return Forward<FriendHandle>(book, "RostBase_AddFriendW", info, group);
}

BOOL WINAPI RostKeeper_AddGroupA(HostContext book, const GroupInfoA* info, GroupHandle parent) {
    return Forward<BOOL>(book, "RostBase_AddGroupA", info, parent);
}

BOOL WINAPI RostKeeper_AddGroupW(HostContext book, const GroupInfoW* info, GroupHandle parent) {
    return Forward<BOOL>(book, "RostBase_AddGroupW", info, parent);
}

BOOL WINAPI RostKeeper_ModifyFriendA(HostContext book, FriendHandle entry, const FriendInfoA* info) {
    return Forward<BOOL>(book, "RostBase_ModifyFriendA", entry, info);
}

BOOL WINAPI RostKeeper_ModifyGroupA(HostContext book, GroupHandle group, const GroupInfoA* info) {
    return Forward<BOOL>(book, "RostBase_ModifyGroupA", group, info);
}

BOOL WINAPI RostKeeper_ModifyGroupW(HostContext book, GroupHandle group, const GroupInfoW* info) {
    return Forward<BOOL>(book, "RostBase_ModifyGroupW", group, info);
}

BOOL WINAPI RostKeeper_DelFriend(HostContext book, FriendHandle entry, GroupHandle group) {
    return Forward<BOOL>(book, "RostBase_DelFriend", entry, group);
}

BOOL WINAPI RostKeeper_DelGroup(HostContext book, GroupHandle group, GroupHandle parent) {
    return Forward<BOOL>(book, "RostBase_DelGroup", group, parent);
}

BOOL WINAPI RostKeeper_DelBlackUserA(HostContext book, const char* id) {
    return Forward<BOOL>(book, "RostBase_DelBlackUserA", id);
}

BOOL WINAPI RostKeeper_DelBlackUserW(HostContext book, const wchar_t* id) {
    return Forward<BOOL>(book, "RostBase_DelBlackUserW", id);
}

BOOL WINAPI RostKeeper_ChangeFriendGroup(HostContext book, FriendHandle entry, GroupHandle oldGroup,
                                         GroupHandle newGroup) {
    return Forward<BOOL>(book, "RostBase_ChangeFriendGroup", entry, oldGroup, newGroup);
}

BOOL WINAPI RostKeeper_PreventUser(HostContext book, FriendHandle entry, GroupHandle group) {
    return Forward<BOOL>(book, "RostBase_PreventUser", entry, group);
}

BOOL WINAPI RostKeeper_AddServicePolicyA(HostContext book, FriendHandle entry, const ServicePolicyInfoA* records,
                                         DWORD count, DWORD save) {
    return Forward<BOOL>(book, "RostBase_AddServicePolicyA", entry, records, count, save);
}

BOOL WINAPI RostKeeper_AddServicePolicyW(HostContext book, FriendHandle entry, const ServicePolicyInfoW* records,
                                         DWORD count, DWORD save) {
    return Forward<BOOL>(book, "RostBase_AddServicePolicyW", entry, records, count, save);
}

BOOL WINAPI RostKeeper_UpdateFriendStatus(HostContext book, FriendHandle entry, const FriendStatus* status,
                                          DWORD notify) {
    return Forward<BOOL>(book, "RostBase_UpdateFriendStatus", entry, status, notify);
}

BOOL WINAPI RostKeeper_UpdateSelfStatus(HostContext book, const FriendStatus* status) {
    return Forward<BOOL>(book, "RostBase_UpdateSelfStatus", status);
}

BOOL WINAPI RostKeeper_RefreshFriendStatus(HostContext book, DWORD flags) {
    return Forward<BOOL>(book, "RostBase_RefreshFriendStatus", flags);
}

BOOL WINAPI RostKeeper_UpdateServicePolicyDataA(HostContext book, DWORD policyId, const ServicePolicyInfoA* info) {
    return Forward<BOOL>(book, "RostBase_UpdateServicePolicyDataA", policyId, info);
}

BOOL WINAPI RostKeeper_SetOnlineCount(HostContext book, DWORD first, DWORD second) {
    return Forward<BOOL>(book, "RostBase_SetOnlineCount", first, second);
}

BOOL WINAPI RostKeeper_RegisterEventModule(HostContext book, HMODULE module, UINT_PTR user) {
    return Forward<BOOL>(book, "RostBase_RegisterEventModule", module, user);
}

BOOL WINAPI RostKeeper_UnregisterEventModule(HostContext book, HMODULE module) {
    return Forward<BOOL>(book, "RostBase_UnregisterEventModule", module);
}

}  // extern "C"
