// PresenceCore: the presence-server client. Every PS_Cco_* call is one form post to the
// presence server and returns a PsResult (VantorResults.h).
//
// Callers load "PresenceCore.dll" from the program folder and resolve the exports by
// name. The library reads "config\psimprof.cfg" and keeps "config\run_prof.cfg" and
// "<user id>\psproxy.ppi" under the folder of the host program (not of the DLL).
//
// Form values built here are sent in the ANSI code page, with "%", "&", "=", "+" and
// control characters percent-encoded; the W calls post the same 8-bit text as the A
// calls. Search criteria are the caller's own form text and go out unchanged.
//
// After a gatekeeper picks a server ("gkenable" non-zero, reply cell server =
// "a.b.c.d:port"), the posts of both forms go to "http://a.b.c.d:port" followed by the
// path of "psUrl" (for example "/web/"). Without a usable answer they go to the "gkUrl"
// prefix; a failed selection makes the next post read "psUrl" again.
//
// The calls may come from several threads at once; the module state is locked inside.
#pragma once

#include <windows.h>

#include "ContactRecords.h"
#include "VantorResults.h"

// One record of the online-friend list or of a search page, the caller's own copy.
// Non-zero goes on; 0 stops the walk and the call returns 10.
typedef int(__stdcall* PsFriendEnumProc)(FriendInfoA record, UINT_PTR context);
typedef int(__stdcall* PsFriendEnumProcW)(FriendInfoW record, UINT_PTR context);

#ifdef __cplusplus
extern "C" {
#endif

// Session. Cookie values may be null: the value of the previous login is kept.
int __stdcall PS_Cco_LoginA(FriendInfoA* account, const char* sessionValue, const char* signOnValue);
int __stdcall PS_Cco_LoginW(FriendInfoW* account, const wchar_t* sessionValue, const wchar_t* signOnValue);
int __stdcall PS_Cco_Logoff();
// Either pointer may be null; each is written only when the reply carries its value.
int __stdcall PS_Cco_HeartBeat(int* retryTimes, int* interval);

// Contacts and groups.
int __stdcall PS_Cco_AddOffFriendA(FriendInfoA* info, const char* groupId);
int __stdcall PS_Cco_AddOffFriendW(FriendInfoW* info, const wchar_t* groupId);
int __stdcall PS_Cco_AddOnFriendA(FriendInfoA* info, const char* groupId);
int __stdcall PS_Cco_AddOnFriendW(FriendInfoW* info, const wchar_t* groupId);
int __stdcall PS_Cco_AddGroupA(GroupInfoA* group, const char* parentGroupId);
int __stdcall PS_Cco_AddGroupW(GroupInfoW* group, const wchar_t* parentGroupId);
int __stdcall PS_Cco_MoveFriendA(const char* friendId, const char* groupId, int proxyFlag);
int __stdcall PS_Cco_MoveFriendW(const wchar_t* friendId, const wchar_t* groupId, int proxyFlag);
int __stdcall PS_Cco_DelBlackUserA(const char* friendId, const char* proxyFlag);
int __stdcall PS_Cco_DelBlackUserW(const wchar_t* friendId, const wchar_t* proxyFlag);
int __stdcall PS_Cco_DelGroupA(const char* groupId);
int __stdcall PS_Cco_DelGroupW(const wchar_t* groupId);
int __stdcall PS_Cco_DelFriendA(const char* friendId, const char* proxyFlag);
int __stdcall PS_Cco_DelFriendW(const wchar_t* friendId, const wchar_t* proxyFlag);
int __stdcall PS_Cco_ModifyFriendInfoA(FriendInfoA* info, const char* groupId);
int __stdcall PS_Cco_ModifyFriendInfoW(FriendInfoW* info, const wchar_t* groupId);
int __stdcall PS_Cco_ModifyGroupInfoA(GroupInfoA* group);
int __stdcall PS_Cco_ModifyGroupInfoW(GroupInfoW* group);

// Queries about other users. GetFriendIp fills only the status block (never the id), so
// one record may serve as both arguments.
int __stdcall PS_Cco_GetFriendInfoA(const char* friendId, FriendInfoA* info);
int __stdcall PS_Cco_GetFriendInfoW(const wchar_t* friendId, FriendInfoW* info);
int __stdcall PS_Cco_GetFriendIpA(const char* friendId, FriendInfoA* info);
int __stdcall PS_Cco_GetFriendIpW(const wchar_t* friendId, FriendInfoW* info);
int __stdcall PS_Cco_GetOnlineCount(LONG* count);

// Friend verification and own status. requestText may be null (nothing sent); the
// reserved argument of the answer is never read.
int __stdcall PS_Cco_SendRequestValidA(const char* targetId, const char* requestText);
int __stdcall PS_Cco_SendRequestValidW(const wchar_t* targetId, const wchar_t* requestText);
int __stdcall PS_Cco_SendResponseValidA(const char* targetId, int responseCode, UINT_PTR reserved, int proxyFlag);
int __stdcall PS_Cco_SendResponseValidW(const wchar_t* targetId, int responseCode, UINT_PTR reserved, int proxyFlag);
int __stdcall PS_Cco_UpdateStatusA(int type, const char* value, const char* friendIds, int proxyFlag);
int __stdcall PS_Cco_UpdateStatusW(int type, const wchar_t* value, const wchar_t* friendIds, int proxyFlag);

// Rebuilds the contact file at path ("...\rostledger.xml") from the server's lists.
// 502: the new file could not be written or could not replace the old one; the old file
// and its stamp are then kept.
int __stdcall PS_Cco_DownloadA(const char* path);
int __stdcall PS_Cco_DownloadW(const wchar_t* path);

// Lists handed to the caller's procedure one record at a time.
int __stdcall PS_Cco_GetOnlineFriendsA(PsFriendEnumProc proc, UINT_PTR context);
int __stdcall PS_Cco_GetOnlineFriendsW(PsFriendEnumProcW proc, UINT_PTR context);
int __stdcall PS_Cco_SearchUserA(const char* criteria, int page, PsFriendEnumProc proc, UINT_PTR context);
int __stdcall PS_Cco_SearchUserW(const wchar_t* criteria, int page, PsFriendEnumProcW proc, UINT_PTR context);

#ifdef __cplusplus
}
#endif
