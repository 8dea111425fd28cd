// The synchronous contact verbs: the change goes to the presence server first and to the
// local contact book only when the server accepted it; a refusal shows the verb's message.
#pragma once

#include "Services.h"

namespace rostdialogs {

// Width of a group name in its record, less the terminator.
enum : size_t { kGroupNameBytes = 23 };

void AddGroupA(Services& s, HostContext book, const char* name, GroupHandle parent);
void AddGroupW(Services& s, HostContext book, const wchar_t* name, GroupHandle parent);
void ModifyGroupA(Services& s, HostContext book, GroupHandle group, const GroupInfoA* info);
void ModifyGroupW(Services& s, HostContext book, GroupHandle group, const GroupInfoW* info);
void MoveFriend(Services& s, HostContext book, FriendHandle entry, GroupHandle from, GroupHandle to, int proxyFlag);
// 1 when the server accepted and the local change was made.
int PreventUser(Services& s, HostContext book, FriendHandle entry, GroupHandle group, int proxyFlag);

// Asks the presence tab to request friendship with a user found by the search (the
// record as its row shows it); the own account and a user already a friend are refused
// with a warning on `owner`.
void AskFriendship(Services& s, HostContext book, HWND owner, const FriendInfoA& user);

// A group record for the server: empty id, the name cut on a whole character.
GroupInfoA NewGroupRecord(const char* name);
GroupInfoW NewGroupRecord(const wchar_t* name);

}  // namespace rostdialogs
