// Change notification of the contact store.
//
// A module registered with RostBase_RegisterEventModule may export any of these functions
// under exactly these names (undecorated, through its .def file). The store looks each one
// up by name at every change and calls it on the thread that made the change, after the
// change is complete in memory, with the registration's user value last. Results are none.
#pragma once

#include "ContactRecords.h"

extern "C" {
typedef void(CALLBACK* AddressCallback_OnAddFriendProc)(FriendHandle entry, GroupHandle group, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnDelFriendProc)(FriendHandle entry, GroupHandle group, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnChangeFriendGroupProc)(FriendHandle entry, GroupHandle oldGroup,
                                                                 GroupHandle newGroup, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnPreventUserProc)(FriendHandle entry, GroupHandle group, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnDelBlackUserProc)(FriendHandle entry, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnAddGroupProc)(GroupHandle group, GroupHandle parent, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnDelGroupProc)(GroupHandle group, GroupHandle parent, UINT_PTR user);
// group is the one the entry was taken from, or null.
typedef void(CALLBACK* AddressCallback_OnAddStrangerProc)(FriendHandle entry, GroupHandle group, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnModifyFriendProc)(FriendHandle entry, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnModifyGroupProc)(GroupHandle group, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnUpdateFriendSerivcePolicysProc)(FriendHandle entry, UINT_PTR user);
// status is the record the caller of RostBase_UpdateSelfStatus passed.
typedef void(CALLBACK* AddressCallback_OnRefreshSelfStatusProc)(const FriendStatus* status, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnRefreshOnlineUserProc)(UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnUpdateFriendOnlineStatusProc)(FriendHandle entry, UINT_PTR user);
typedef void(CALLBACK* AddressCallback_OnRefreshFriendStatusProc)(UINT_PTR user);
// Extended information of the entry changed; the store itself never calls it.
typedef void(CALLBACK* AddressCallback_OnUpdateFriendExtendInfoProc)(FriendHandle entry, UINT_PTR user);

// Declarations for modules that implement the callbacks.
void CALLBACK AddressCallback_OnAddFriend(FriendHandle entry, GroupHandle group, UINT_PTR user);
void CALLBACK AddressCallback_OnDelFriend(FriendHandle entry, GroupHandle group, UINT_PTR user);
void CALLBACK AddressCallback_OnChangeFriendGroup(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup,
                                                  UINT_PTR user);
void CALLBACK AddressCallback_OnPreventUser(FriendHandle entry, GroupHandle group, UINT_PTR user);
void CALLBACK AddressCallback_OnDelBlackUser(FriendHandle entry, UINT_PTR user);
void CALLBACK AddressCallback_OnAddGroup(GroupHandle group, GroupHandle parent, UINT_PTR user);
void CALLBACK AddressCallback_OnDelGroup(GroupHandle group, GroupHandle parent, UINT_PTR user);
void CALLBACK AddressCallback_OnAddStranger(FriendHandle entry, GroupHandle group, UINT_PTR user);
void CALLBACK AddressCallback_OnModifyFriend(FriendHandle entry, UINT_PTR user);
void CALLBACK AddressCallback_OnModifyGroup(GroupHandle group, UINT_PTR user);
void CALLBACK AddressCallback_OnUpdateFriendSerivcePolicys(FriendHandle entry, UINT_PTR user);
void CALLBACK AddressCallback_OnRefreshSelfStatus(const FriendStatus* status, UINT_PTR user);
void CALLBACK AddressCallback_OnRefreshOnlineUser(UINT_PTR user);
void CALLBACK AddressCallback_OnUpdateFriendOnlineStatus(FriendHandle entry, UINT_PTR user);
void CALLBACK AddressCallback_OnRefreshFriendStatus(UINT_PTR user);
void CALLBACK AddressCallback_OnUpdateFriendExtendInfo(FriendHandle entry, UINT_PTR user);
}
