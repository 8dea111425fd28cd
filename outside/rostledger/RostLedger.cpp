// RostLedger stand-in: the contact-book reads, forwarded to the signed-in account's store.
#include <windows.h>

#include "FacadeStore.h"
#include "Handles.h"
#include "outside/RostLedger.h"

using facade::Forward;

extern "C" {

FriendHandle WINAPI RostLedger_GetCurrentAccount(HostContext book) {
    return Forward<FriendHandle>(book, "RostBase_GetCurrentAccount");
}

BOOL WINAPI RostLedger_GetFriendInfoA(HostContext book, FriendHandle entry, FriendInfoA* out) {
    return Forward<BOOL>(book, "RostBase_GetFriendInfoA", entry, out);
}

BOOL WINAPI RostLedger_GetFriendInfoW(HostContext book, FriendHandle entry, FriendInfoW* out) {
    return Forward<BOOL>(book, "RostBase_GetFriendInfoW", entry, out);
}

BOOL WINAPI RostLedger_GetGroupInfoA(HostContext book, GroupHandle group, GroupInfoA* out) {
    return Forward<BOOL>(book, "RostBase_GetGroupInfoA", group, out);
}

BOOL WINAPI RostLedger_GetGroupInfoW(HostContext book, GroupHandle group, GroupInfoW* out) {
    return Forward<BOOL>(book, "RostBase_GetGroupInfoW", group, out);
}

GroupHandle WINAPI RostLedger_GetOffRootGroup(HostContext book) {
    return Forward<GroupHandle>(book, "RostBase_GetOffRootGroup");
}

BOOL WINAPI RostLedger_EnumGroup(HostContext book, DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    return Forward<BOOL>(book, "RostBase_EnumGroup", rootMask, proc, user);
}

BOOL WINAPI RostLedger_EnumGroupFriends(HostContext book, GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    return Forward<BOOL>(book, "RostBase_EnumGroupFriends", group, proc, user);
}

BOOL WINAPI RostLedger_EnumBlackList(HostContext book, FriendEnumProc proc, UINT_PTR user) {
    return Forward<BOOL>(book, "RostBase_EnumBlackList", proc, user);
}

BOOL WINAPI RostLedger_EnumFriendsA(HostContext book, FriendEnumProc proc, DWORD mask, const char* key,
                                    UINT_PTR user) {
    return Forward<BOOL>(book, "RostBase_EnumFriendsA", proc, mask, key, user);
}

FriendHandle WINAPI RostLedger_IsUserInFriendsA(HostContext book, const char* id, GroupHandle* group) {
    return Forward<FriendHandle>(book, "RostBase_IsUserInFriendsA", id, group);
}

BOOL WINAPI RostLedger_IsUserInBlackListA(HostContext book, const char* id) {
    return Forward<BOOL>(book, "RostBase_IsUserInBlackListA", id);
}

BOOL WINAPI RostLedger_IsGroupNameExistsA(HostContext book, GroupHandle parent, const char* name) {
    return Forward<BOOL>(book, "RostBase_IsGroupNameExistsA", parent, name);
}

BOOL WINAPI RostLedger_QueryFriendServicePolicyA(HostContext book, FriendHandle entry, DWORD policyId,
                                                 ServicePolicyInfoA* out) {
    return Forward<BOOL>(book, "RostBase_QueryFriendServicePolicyA", entry, policyId, out);
}

BOOL WINAPI RostLedger_QueryFriendServicePolicyW(HostContext book, FriendHandle entry, DWORD policyId,
                                                 ServicePolicyInfoW* out) {
    return Forward<BOOL>(book, "RostBase_QueryFriendServicePolicyW", entry, policyId, out);
}

BOOL WINAPI RostLedger_GetFriendServicePolicysA(HostContext book, FriendHandle entry, ServicePolicyInfoA* records,
                                                DWORD* count) {
    return Forward<BOOL>(book, "RostBase_GetFriendServicePolicysA", entry, records, count);
}

BOOL WINAPI RostLedger_GetFriendServiceBoardsW(HostContext book, FriendHandle entry, ServiceBoardInfoW* records,
                                               DWORD* count) {
    return Forward<BOOL>(book, "RostBase_GetFriendServiceBoardsW", entry, records, count);
}

BOOL WINAPI RostLedger_GetFriendServiceSubjectsW(HostContext book, FriendHandle entry, const wchar_t* boardId,
                                                 ServiceSubjectInfoW* records, DWORD* count) {
    return Forward<BOOL>(book, "RostBase_GetFriendServiceSubjectsW", entry, boardId, records, count);
}

// Needs no store: the id is read from the record alone.
BOOL WINAPI RostLedger_GetServiceBoardIdW(const ServiceBoardInfoW* board, wchar_t* out) {
    typedef BOOL(WINAPI * Fn)(const ServiceBoardInfoW*, wchar_t*);
    HMODULE loaded = nullptr;
    if (!GetModuleHandleExW(0, L"RostBase.dll", &loaded)) loaded = vantor::LoadProgramLibrary(L"RostBase.dll");
    vantor::UniqueModule rostBase(loaded);
    Fn fn = vantor::ProcAddress<Fn>(rostBase.get(), "RostBase_GetServiceBoardIdW");
    return fn ? fn(board, out) : FALSE;
}

}  // extern "C"
