// Private messages of the presence tab's hidden window, and what they carry.
#pragma once

#include <windows.h>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace presence {

enum : UINT {
    PTM_START = 0x1081,
    PTM_PEER_PACKET = 0x1082,      // wParam: the sender's address; lParam: a new PeerPacket, freed by the window
    PTM_ADD_FRIEND_W = 0x1083,     // lParam: FriendInfoW
    PTM_ADD_FRIEND_A = 0x1084,     // lParam: FriendInfoA
    PTM_HEARTBEAT_ENDED = 0x1085,
    PTM_PROXY_ENDED = 0x1086,
    PTM_VERIFY_REQUEST = 0x1087,   // lParam: PresenceNotice
    PTM_VERIFY_ACCEPTED = 0x1088,  // lParam: PresenceNotice
    PTM_VERIFY_REFUSED = 0x1089,   // lParam: PresenceNotice
    PTM_FRIEND_REMOVED = 0x108A,   // lParam: PresenceNotice
    PTM_FRIEND_DELETED = 0x108B,
    PTM_FRIEND_STATUS = 0x108C,    // lParam: FriendStatusNotice
    PTM_ONLINE_ENDED = 0x1090,
    PTM_SELF_STATUS = 0x1091,      // lParam: the new own status
    PTM_SELF_STATUS_ENDED = 0x1092,
    PTM_RELOGIN = 0x1094,
    PTM_SENDERS_ANSWERED = 0x1095,  // the presence server said where senders of held records are
};

enum : UINT { kTickTimer = 101, kTickMs = 1000 };

enum : int { kMainDialog = 102 };

// A friend request, an answer or a removal: who sent it and what it says. Each text is
// terminated inside its field and never split inside a character.
struct PresenceNotice {
    char id[32];
    char nickname[256];
    char message[260];
};

struct FriendStatusNotice {
    char id[32];
    char status[16];  // decimal
};

PresenceNotice MakeNotice(const char* id, const char* nickname, const char* message);

// TabPlug_DoCommand numbers.
enum : int {
    PresCmd_AddFriendW = 2,
    PresCmd_AddFriendA = 3,
    PresCmd_UpdateSelfStatus = 4,
    PresCmd_PreventUser = 5,
    PresCmd_DelFriend = 7,
};

// The parameter of PresCmd_PreventUser: the friend to block and the group it is in.
struct PreventUserParam {
    FriendHandle entry;
    GroupHandle group;
};

// The contact dialogs' block, reached through the kernel facade.
typedef int(WINAPI* PFN_RostDialogs_PreventUser)(HostContext book, FriendHandle entry, GroupHandle group,
                                                int proxyFlag);

}  // namespace presence
