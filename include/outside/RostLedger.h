// RostLedger: reads of the contact book. Bound at run time by name ("RostLedger.dll"),
// standard calling convention. Each call is the contact store call with the same suffix,
// with the contact-book handle (the HostContext handed to plug-ins) in place of the store
// handle. A contact book that has no store behind it (no sign-in, or after sign-off)
// answers 0 and leaves the outputs untouched.
#pragma once

#include <windows.h>

#include "../ContactRecords.h"
#include "../VantorTypes.h"

typedef FriendHandle(WINAPI* PFN_RostLedger_GetCurrentAccount)(HostContext book);
typedef BOOL(WINAPI* PFN_RostLedger_GetFriendInfoA)(HostContext book, FriendHandle entry, FriendInfoA* out);
typedef BOOL(WINAPI* PFN_RostLedger_GetFriendInfoW)(HostContext book, FriendHandle entry, FriendInfoW* out);
typedef BOOL(WINAPI* PFN_RostLedger_GetGroupInfoA)(HostContext book, GroupHandle group, GroupInfoA* out);
typedef BOOL(WINAPI* PFN_RostLedger_GetGroupInfoW)(HostContext book, GroupHandle group, GroupInfoW* out);
typedef GroupHandle(WINAPI* PFN_RostLedger_GetOffRootGroup)(HostContext book);
typedef BOOL(WINAPI* PFN_RostLedger_EnumGroup)(HostContext book, DWORD rootMask, GroupEnumProc proc, UINT_PTR user);
typedef BOOL(WINAPI* PFN_RostLedger_EnumGroupFriends)(HostContext book, GroupHandle group, FriendEnumProc proc,
                                                      UINT_PTR user);
typedef BOOL(WINAPI* PFN_RostLedger_EnumBlackList)(HostContext book, FriendEnumProc proc, UINT_PTR user);
typedef BOOL(WINAPI* PFN_RostLedger_EnumFriendsA)(HostContext book, FriendEnumProc proc, DWORD mask, const char* key,
                                                  UINT_PTR user);
typedef FriendHandle(WINAPI* PFN_RostLedger_IsUserInFriendsA)(HostContext book, const char* id, GroupHandle* group);
typedef BOOL(WINAPI* PFN_RostLedger_IsUserInBlackListA)(HostContext book, const char* id);
typedef BOOL(WINAPI* PFN_RostLedger_IsGroupNameExistsA)(HostContext book, GroupHandle parent, const char* name);
typedef BOOL(WINAPI* PFN_RostLedger_QueryFriendServicePolicyA)(HostContext book, FriendHandle entry, DWORD policyId,
                                                               ServicePolicyInfoA* out);
typedef BOOL(WINAPI* PFN_RostLedger_QueryFriendServicePolicyW)(HostContext book, FriendHandle entry, DWORD policyId,
                                                               ServicePolicyInfoW* out);
// With a null array *count receives the number held; otherwise at most *count are filled.
typedef BOOL(WINAPI* PFN_RostLedger_GetFriendServicePolicysA)(HostContext book, FriendHandle entry,
                                                              ServicePolicyInfoA* records, DWORD* count);
typedef BOOL(WINAPI* PFN_RostLedger_GetFriendServiceBoardsW)(HostContext book, FriendHandle entry,
                                                             ServiceBoardInfoW* records, DWORD* count);
typedef BOOL(WINAPI* PFN_RostLedger_GetFriendServiceSubjectsW)(HostContext book, FriendHandle entry,
                                                               const wchar_t* boardId, ServiceSubjectInfoW* records,
                                                               DWORD* count);
// No contact-book handle: out holds SERVICE_BOARD_ID_CHARS characters.
typedef BOOL(WINAPI* PFN_RostLedger_GetServiceBoardIdW)(const ServiceBoardInfoW* board, wchar_t* out);
