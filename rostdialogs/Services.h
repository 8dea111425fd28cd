// What the contact verbs use of their partners: reads through RostLedger, posts through
// PresenceCore, changes through RostKeeper, the presence tab through OrderHub, and the
// user through message boxes. The live set binds each library by name at each call; tests
// put a recording set in its place.
#pragma once

#include <windows.h>

#include <string>

#include "ContactRecords.h"
#include "PresenceCore.h"
#include "VantorTypes.h"

namespace rostdialogs {

// PsResult of a presence call whose library or export is missing.
enum : int { kPresenceMissing = -1 };

class Services {
public:
    virtual ~Services() = default;

    // RostLedger (a missing library leaves the record as it was, zero-filled by callers).
    virtual bool ReadGroupA(HostContext book, GroupHandle group, GroupInfoA* out) = 0;
    virtual bool ReadGroupW(HostContext book, GroupHandle group, GroupInfoW* out) = 0;
    virtual bool ReadFriend(HostContext book, FriendHandle entry, FriendInfoA* out) = 0;
    virtual GroupHandle OffRootGroup(HostContext book) = 0;
    virtual FriendHandle CurrentAccount(HostContext book) = 0;
    virtual bool HasService(HostContext book, FriendHandle entry, DWORD serviceId) = 0;
    virtual FriendHandle IsUserInFriends(HostContext book, const char* id) = 0;

    // PresenceCore: the PsResult, kPresenceMissing when it cannot be called.
    virtual int PsAddGroupA(GroupInfoA* group, const char* parentId) = 0;
    virtual int PsAddGroupW(GroupInfoW* group, const wchar_t* parentId) = 0;
    virtual int PsModifyGroupA(GroupInfoA* group) = 0;
    virtual int PsModifyGroupW(GroupInfoW* group) = 0;
    virtual int PsDelGroup(const char* groupId) = 0;
    virtual int PsMoveFriend(const char* friendId, const char* groupId, int proxyFlag) = 0;
    virtual int PsDelFriend(const char* friendId, const char* proxyFlag) = 0;
    virtual int PsDelBlackUser(const char* friendId, const char* proxyFlag) = 0;
    virtual int PsAddOffFriend(FriendInfoA* record, const char* groupId) = 0;
    virtual int PsModifyFriend(FriendInfoA* record, const char* groupId) = 0;
    virtual int PsSearch(const char* query, int page, PsFriendEnumProc proc, UINT_PTR context) = 0;

    // RostKeeper: false when the library is missing or the change failed.
    virtual bool KeepAddGroupA(HostContext book, const GroupInfoA* group, GroupHandle parent) = 0;
    virtual bool KeepAddGroupW(HostContext book, const GroupInfoW* group, GroupHandle parent) = 0;
    virtual bool KeepModifyGroupA(HostContext book, GroupHandle group, const GroupInfoA* info) = 0;
    virtual bool KeepModifyGroupW(HostContext book, GroupHandle group, const GroupInfoW* info) = 0;
    virtual bool KeepDelGroup(HostContext book, GroupHandle group, GroupHandle parent) = 0;
    virtual bool KeepAddFriend(HostContext book, const FriendInfoA* record, GroupHandle group) = 0;
    virtual bool KeepModifyFriend(HostContext book, FriendHandle entry, const FriendInfoA* record) = 0;
    virtual bool KeepDelFriend(HostContext book, FriendHandle entry, GroupHandle group) = 0;
    virtual bool KeepDelBlackUser(HostContext book, const char* id) = 0;
    virtual bool KeepChangeGroup(HostContext book, FriendHandle entry, GroupHandle from, GroupHandle to) = 0;
    virtual bool KeepPreventUser(HostContext book, FriendHandle entry, GroupHandle group) = 0;

    // OrderHub_Action to the presence tab; skipped when OrderHub cannot be loaded.
    virtual void PresenceAction(int command, INT_PTR parameter) = 0;

    // A message box with the dialog caption; owner null for the synchronous verbs.
    virtual void Message(HWND owner, const wchar_t* text, UINT icon) = 0;
};

// The set bound to the libraries of the program folder.
Services& LiveServices();

// "config\uiprof.cfg" [Dialog] Caption, read now (at most 63 characters).
std::wstring DialogCaption();

}  // namespace rostdialogs

namespace rostdialogs {
// HookRelay_InstallHook / HookRelay_UninstallHook for a modeless dialog.
void HookDialog(HWND dialog, bool install);
}  // namespace rostdialogs
