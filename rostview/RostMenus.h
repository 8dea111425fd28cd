// What the context menus of the two trees offer, decided without a window: the pane turns
// the entries into a popup menu and posts the chosen id.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ContactNode.h"
#include "ContactRecords.h"
#include "TreeOps.h"

namespace rostview {

enum : UINT {
    CMD_NEW_GROUP = 20000,
    CMD_DEL_GROUP = 20001,
    CMD_RENAME_GROUP = 20002,
    CMD_VIDEO_CALL = 21000,
    CMD_CALL_MOBILE = 21001,
    CMD_CALL_PHONE = 21002,
    CMD_CALL_XLT = 21003,
    CMD_SHORT_MESSAGE = 21004,
    CMD_CHAT = 21005,
    CMD_ADD_PHONE_FRIEND = 21007,
    CMD_DEL_FRIEND = 21008,
    CMD_VIEW_FRIEND = 21010,
    CMD_BLOCK_FRIEND = 21011,
    CMD_CHAT_RECORDS = 21012,
    CMD_CALL_RECORDS = 21013,
    CMD_SEARCH_USER = 21014,
    CMD_MOVE_FRIEND = 30000,
    CMD_REQUEST_FRIEND = 31000,
    CMD_DEL_BLACK_USER = 31001,
};

struct MenuEntry {
    UINT id = 0;  // 0 with no text: a separator
    std::wstring text;
    bool greyed = false;
    std::vector<MenuEntry> submenu;

    bool Separator() const { return id == 0 && text.empty(); }
};
using MenuModel = std::vector<MenuEntry>;

// What the friend menu depends on.
struct MenuFacts {
    Kind kind = Kind::TelephoneFriend;
    FriendInfoA info = {};
    bool friendChatInUse = false;   // the friend's policy 9 with status 1
    bool friendChatAny = false;     // the friend has policy 9
    bool accountPhone = false;      // the account has policy 14 or 3
    bool accountChatInUse = false;
    bool accountChatAny = false;
};

struct MoveTarget {
    GroupHandle group;
    std::string name;  // 8-bit, as the tree shows it
};

// A group's menu (telephone or network group); a root offers a new group, others renaming
// and deleting.
MenuModel GroupMenu(Kind kind, bool root);
MenuModel FriendMenu(const MenuFacts& facts, const std::vector<MoveTarget>& targets);
MenuModel BlackMenu();

// The groups a friend may move to: the root's groups depth-first, the root first, without
// the friend's own group.
std::vector<MoveTarget> MoveTargets(TreeOps& tree, HTREEITEM root, GroupHandle current);

// The move submenu's entry for a chosen id, or -1 when the id is no listed entry.
int MoveIndex(UINT id, size_t listed);

}  // namespace rostview
