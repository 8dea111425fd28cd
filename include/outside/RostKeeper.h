// RostKeeper: changes to the contact book. Bound at run time by name ("RostKeeper.dll"),
// standard calling convention. Each call is the contact store call with the same suffix,
// with the contact-book handle in place of the store handle: the change is seen by the
// next RostLedger read, written to the contact file and announced to registered modules.
// A contact book that has no store behind it answers 0 and changes nothing.
#pragma once

#include <windows.h>

#include "../ContactRecords.h"
#include "../VantorTypes.h"

typedef FriendHandle(WINAPI* PFN_RostKeeper_AddFriendA)(HostContext book, const FriendInfoA* info, GroupHandle group);
typedef FriendHandle(WINAPI* PFN_RostKeeper_AddFriendW)(HostContext book, const FriendInfoW* info, GroupHandle group);
typedef BOOL(WINAPI* PFN_RostKeeper_AddGroupA)(HostContext book, const GroupInfoA* info, GroupHandle parent);
typedef BOOL(WINAPI* PFN_RostKeeper_AddGroupW)(HostContext book, const GroupInfoW* info, GroupHandle parent);
typedef BOOL(WINAPI* PFN_RostKeeper_ModifyFriendA)(HostContext book, FriendHandle entry, const FriendInfoA* info);
typedef BOOL(WINAPI* PFN_RostKeeper_ModifyGroupA)(HostContext book, GroupHandle group, const GroupInfoA* info);
typedef BOOL(WINAPI* PFN_RostKeeper_ModifyGroupW)(HostContext book, GroupHandle group, const GroupInfoW* info);
typedef BOOL(WINAPI* PFN_RostKeeper_DelFriend)(HostContext book, FriendHandle entry, GroupHandle group);
typedef BOOL(WINAPI* PFN_RostKeeper_DelGroup)(HostContext book, GroupHandle group, GroupHandle parent);
typedef BOOL(WINAPI* PFN_RostKeeper_DelBlackUserA)(HostContext book, const char* id);
typedef BOOL(WINAPI* PFN_RostKeeper_DelBlackUserW)(HostContext book, const wchar_t* id);
typedef BOOL(WINAPI* PFN_RostKeeper_ChangeFriendGroup)(HostContext book, FriendHandle entry, GroupHandle oldGroup,
                                                       GroupHandle newGroup);
typedef BOOL(WINAPI* PFN_RostKeeper_PreventUser)(HostContext book, FriendHandle entry, GroupHandle group);
typedef BOOL(WINAPI* PFN_RostKeeper_AddServicePolicyA)(HostContext book, FriendHandle entry,
                                                       const ServicePolicyInfoA* records, DWORD count, DWORD save);
typedef BOOL(WINAPI* PFN_RostKeeper_AddServicePolicyW)(HostContext book, FriendHandle entry,
                                                       const ServicePolicyInfoW* records, DWORD count, DWORD save);
typedef BOOL(WINAPI* PFN_RostKeeper_UpdateFriendStatus)(HostContext book, FriendHandle entry,
                                                        const FriendStatus* status, DWORD notify);
typedef BOOL(WINAPI* PFN_RostKeeper_UpdateSelfStatus)(HostContext book, const FriendStatus* status);
typedef BOOL(WINAPI* PFN_RostKeeper_RefreshFriendStatus)(HostContext book, DWORD flags);
typedef BOOL(WINAPI* PFN_RostKeeper_UpdateServicePolicyDataA)(HostContext book, DWORD policyId,
                                                              const ServicePolicyInfoA* info);
// Ordinal 24 (no name): stores and announces the online count.
typedef BOOL(WINAPI* PFN_RostKeeper_SetOnlineCount)(HostContext book, DWORD first, DWORD second);
#define ROSTKEEPER_SET_ONLINE_COUNT_ORDINAL 24
// The module's AddressCallback_On* exports receive every later change, user value last.
typedef BOOL(WINAPI* PFN_RostKeeper_RegisterEventModule)(HostContext book, HMODULE module, UINT_PTR user);
typedef BOOL(WINAPI* PFN_RostKeeper_UnregisterEventModule)(HostContext book, HMODULE module);
