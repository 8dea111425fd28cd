// RostBase.dll: the contact book of one signed-in account, in memory and in its contact
// file "<RostBase folder>\<account>\rostledger.xml".
//
// Every call uses __stdcall and is exported undecorated. Callers load the library by name
// and resolve each call with GetProcAddress; decltype(&RostBase_LoadA) gives the pointer
// type. A null store handle makes every call answer 0 and change nothing. Truth values are
// exactly 0 or 1. Calls may come from several threads; walk procedures and AddressCallback
// exports are called with no lock held, and may read the store.
#pragma once

#include "ContactRecords.h"
#include "AddressCallback.h"

// The .def file exports the undecorated names; nothing links RostBase statically.
#define ROSTBASE_API extern "C"

// --- store lifecycle and current account
ROSTBASE_API RostBaseHandle WINAPI RostBase_LoadA(const char* account);
ROSTBASE_API RostBaseHandle WINAPI RostBase_LoadW(const wchar_t* account);
ROSTBASE_API BOOL WINAPI RostBase_Unload(RostBaseHandle store);
ROSTBASE_API BOOL WINAPI RostBase_SetCurrentAccountInfoA(RostBaseHandle store, const FriendInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_SetCurrentAccountInfoW(RostBaseHandle store, const FriendInfoW* info);
ROSTBASE_API FriendHandle WINAPI RostBase_GetCurrentAccount(RostBaseHandle store);

// --- queries and walks (never change anything)
ROSTBASE_API BOOL WINAPI RostBase_GetFriendInfoA(RostBaseHandle store, FriendHandle entry, FriendInfoA* out);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendInfoW(RostBaseHandle store, FriendHandle entry, FriendInfoW* out);
ROSTBASE_API BOOL WINAPI RostBase_GetGroupInfoA(RostBaseHandle store, GroupHandle group, GroupInfoA* out);
ROSTBASE_API BOOL WINAPI RostBase_GetGroupInfoW(RostBaseHandle store, GroupHandle group, GroupInfoW* out);
ROSTBASE_API GroupHandle WINAPI RostBase_GetOffRootGroup(RostBaseHandle store);
ROSTBASE_API GroupHandle WINAPI RostBase_GetOnRootGroup(RostBaseHandle store);
// rootMask: 1 the telephone root's tree, 2 the network root's tree.
ROSTBASE_API BOOL WINAPI RostBase_EnumGroup(RostBaseHandle store, DWORD rootMask, GroupEnumProc proc, UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_EnumFriendsA(RostBaseHandle store, FriendEnumProc proc, DWORD mask, const char* key,
                                               UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_EnumFriendsW(RostBaseHandle store, FriendEnumProc proc, DWORD mask,
                                               const wchar_t* key, UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_EnumGroupFriends(RostBaseHandle store, GroupHandle group, FriendEnumProc proc,
                                                   UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_EnumBlackList(RostBaseHandle store, FriendEnumProc proc, UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_IsUserInBlackListA(RostBaseHandle store, const char* id);
ROSTBASE_API BOOL WINAPI RostBase_IsUserInBlackListW(RostBaseHandle store, const wchar_t* id);
ROSTBASE_API BOOL WINAPI RostBase_IsCodeInBlackListUserA(RostBaseHandle store, DWORD mask, const char* key);
ROSTBASE_API BOOL WINAPI RostBase_IsCodeInBlackListUserW(RostBaseHandle store, DWORD mask, const wchar_t* key);
ROSTBASE_API FriendHandle WINAPI RostBase_IsUserInFriendsA(RostBaseHandle store, const char* id, GroupHandle* group);
ROSTBASE_API FriendHandle WINAPI RostBase_IsUserInFriendsW(RostBaseHandle store, const wchar_t* id,
                                                           GroupHandle* group);
// Adds to *total and *online (not reset first); a null group means the network root.
ROSTBASE_API BOOL WINAPI RostBase_StatFriends(RostBaseHandle store, GroupHandle group, DWORD* total, DWORD* online);
ROSTBASE_API DWORD WINAPI RostBase_GetOnlineCount(RostBaseHandle store, DWORD* second);
ROSTBASE_API BOOL WINAPI RostBase_IsGroupNameExistsA(RostBaseHandle store, GroupHandle parent, const char* name);
ROSTBASE_API BOOL WINAPI RostBase_IsGroupNameExistsW(RostBaseHandle store, GroupHandle parent, const wchar_t* name);

// --- changes, each carried into the contact file and announced to registered modules
ROSTBASE_API FriendHandle WINAPI RostBase_AddFriendA(RostBaseHandle store, const FriendInfoA* info, GroupHandle group);
ROSTBASE_API FriendHandle WINAPI RostBase_AddFriendW(RostBaseHandle store, const FriendInfoW* info, GroupHandle group);
ROSTBASE_API BOOL WINAPI RostBase_DelFriend(RostBaseHandle store, FriendHandle entry, GroupHandle group);
ROSTBASE_API BOOL WINAPI RostBase_ChangeFriendGroup(RostBaseHandle store, FriendHandle entry, GroupHandle oldGroup,
                                                    GroupHandle newGroup);
ROSTBASE_API BOOL WINAPI RostBase_PreventUser(RostBaseHandle store, FriendHandle entry, GroupHandle group);
// The entry leaves the store but its handle stays valid until the store is unloaded.
ROSTBASE_API BOOL WINAPI RostBase_DelUserFromBlackList(RostBaseHandle store, FriendHandle entry);
ROSTBASE_API BOOL WINAPI RostBase_DelBlackUserA(RostBaseHandle store, const char* id);
ROSTBASE_API BOOL WINAPI RostBase_DelBlackUserW(RostBaseHandle store, const wchar_t* id);
ROSTBASE_API BOOL WINAPI RostBase_AddGroupA(RostBaseHandle store, const GroupInfoA* info, GroupHandle parent);
ROSTBASE_API BOOL WINAPI RostBase_AddGroupW(RostBaseHandle store, const GroupInfoW* info, GroupHandle parent);
ROSTBASE_API BOOL WINAPI RostBase_DelGroup(RostBaseHandle store, GroupHandle group, GroupHandle parent);
ROSTBASE_API BOOL WINAPI RostBase_AddStranger(RostBaseHandle store, FriendHandle entry, GroupHandle group);
ROSTBASE_API BOOL WINAPI RostBase_ModifyFriendA(RostBaseHandle store, FriendHandle entry, const FriendInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_ModifyFriendW(RostBaseHandle store, FriendHandle entry, const FriendInfoW* info);
ROSTBASE_API BOOL WINAPI RostBase_ModifyGroupA(RostBaseHandle store, GroupHandle group, const GroupInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_ModifyGroupW(RostBaseHandle store, GroupHandle group, const GroupInfoW* info);
ROSTBASE_API BOOL WINAPI RostBase_RegisterEventModule(RostBaseHandle store, HMODULE module, UINT_PTR user);
ROSTBASE_API BOOL WINAPI RostBase_UnregisterEventModule(RostBaseHandle store, HMODULE module);
ROSTBASE_API BOOL WINAPI RostBase_UpdateFriendStatus(RostBaseHandle store, FriendHandle entry,
                                                     const FriendStatus* status, DWORD notify);
ROSTBASE_API BOOL WINAPI RostBase_UpdateSelfStatus(RostBaseHandle store, const FriendStatus* status);
// flags: REFRESH_RESET_NETWORK_FRIENDS, REFRESH_NOTIFY.
ROSTBASE_API BOOL WINAPI RostBase_RefreshFriendStatus(RostBaseHandle store, DWORD flags);
ROSTBASE_API BOOL WINAPI RostBase_SetOnlineCount(RostBaseHandle store, DWORD first, DWORD second);

// --- service policies, boards and subjects
ROSTBASE_API BOOL WINAPI RostBase_AddServicePolicyA(RostBaseHandle store, FriendHandle entry,
                                                    const ServicePolicyInfoA* records, DWORD count, DWORD save);
ROSTBASE_API BOOL WINAPI RostBase_AddServicePolicyW(RostBaseHandle store, FriendHandle entry,
                                                    const ServicePolicyInfoW* records, DWORD count, DWORD save);
ROSTBASE_API BOOL WINAPI RostBase_QueryFriendServicePolicyA(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                                            ServicePolicyInfoA* out);
ROSTBASE_API BOOL WINAPI RostBase_QueryFriendServicePolicyW(RostBaseHandle store, FriendHandle entry, DWORD policyId,
                                                            ServicePolicyInfoW* out);
// With a null array *count receives the number held; otherwise at most *count records are
// filled and *count receives the number filled.
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServicePolicysA(RostBaseHandle store, FriendHandle entry,
                                                           ServicePolicyInfoA* records, DWORD* count);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServicePolicysW(RostBaseHandle store, FriendHandle entry,
                                                           ServicePolicyInfoW* records, DWORD* count);
ROSTBASE_API BOOL WINAPI RostBase_UpdateServicePolicyDataA(RostBaseHandle store, DWORD policyId,
                                                           const ServicePolicyInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_UpdateServicePolicyDataW(RostBaseHandle store, DWORD policyId,
                                                           const ServicePolicyInfoW* info);
ROSTBASE_API BOOL WINAPI RostBase_AppendServiceBoardA(RostBaseHandle store, FriendHandle entry,
                                                      const ServiceBoardInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_AppendServiceBoardW(RostBaseHandle store, FriendHandle entry,
                                                      const ServiceBoardInfoW* info);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServiceBoardsA(RostBaseHandle store, FriendHandle entry,
                                                          ServiceBoardInfoA* records, DWORD* count);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServiceBoardsW(RostBaseHandle store, FriendHandle entry,
                                                          ServiceBoardInfoW* records, DWORD* count);
// A null entry means the current account.
ROSTBASE_API BOOL WINAPI RostBase_UpdateFriendBoardA(RostBaseHandle store, FriendHandle entry,
                                                     const ServiceBoardInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_UpdateFriendBoardW(RostBaseHandle store, FriendHandle entry,
                                                     const ServiceBoardInfoW* info);
// out holds SERVICE_BOARD_ID_CHARS characters; longer ids are cut to fit, terminated.
ROSTBASE_API BOOL WINAPI RostBase_GetServiceBoardIdA(const ServiceBoardInfoA* info, char* out);
ROSTBASE_API BOOL WINAPI RostBase_GetServiceBoardIdW(const ServiceBoardInfoW* info, wchar_t* out);
ROSTBASE_API BOOL WINAPI RostBase_AppendServiceSubjectA(RostBaseHandle store, FriendHandle entry, const char* boardId,
                                                        const ServiceSubjectInfoA* info);
ROSTBASE_API BOOL WINAPI RostBase_AppendServiceSubjectW(RostBaseHandle store, FriendHandle entry,
                                                        const wchar_t* boardId, const ServiceSubjectInfoW* info);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServiceSubjectsA(RostBaseHandle store, FriendHandle entry,
                                                            const char* boardId, ServiceSubjectInfoA* records,
                                                            DWORD* count);
ROSTBASE_API BOOL WINAPI RostBase_GetFriendServiceSubjectsW(RostBaseHandle store, FriendHandle entry,
                                                            const wchar_t* boardId, ServiceSubjectInfoW* records,
                                                            DWORD* count);
// A null entry means the current account.
ROSTBASE_API BOOL WINAPI RostBase_UpdateFriendSubjectA(RostBaseHandle store, FriendHandle entry,
                                                       const ServiceBoardInfoA* board,
                                                       const ServiceSubjectInfoA* subject);
ROSTBASE_API BOOL WINAPI RostBase_UpdateFriendSubjectW(RostBaseHandle store, FriendHandle entry,
                                                       const ServiceBoardInfoW* board,
                                                       const ServiceSubjectInfoW* subject);
