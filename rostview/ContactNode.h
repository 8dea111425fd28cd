// What each tree item of the pane carries, and the kinds of node.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "ContactRecords.h"

namespace rostview {

// Node kinds are clipboard formats registered under fixed names, so that one value names
// the kind in the tree and the data format of a drag.
enum class Kind { TelephoneGroup, NetworkGroup, TelephoneFriend, NetworkFriend, BlackUser, StrangerUser };

// The registered format of a kind (registered at the first use).
WORD KindFormat(Kind kind);

inline bool IsGroup(Kind kind) { return kind == Kind::TelephoneGroup || kind == Kind::NetworkGroup; }
inline Kind FriendKindOf(Kind groupKind) {
    return groupKind == Kind::NetworkGroup ? Kind::NetworkFriend : Kind::TelephoneFriend;
}

// Tree images (indices of the tree image list).
enum : int {
    IMAGE_GROUP_CLOSED = 0,
    IMAGE_GROUP_OPEN = 1,
    IMAGE_GROUP_CLOSED_SELECTED = 2,
    IMAGE_GROUP_OPEN_SELECTED = 3,
    IMAGE_OFFLINE = 4,
    IMAGE_ONLINE = 5,
};

// Owned by its tree item and freed only when the tree reports the item deleted.
struct ContactNode {
    Kind kind;
    void* handle;                    // FriendHandle or GroupHandle
    std::vector<BYTE>* icons = nullptr;  // service-icon list: [0] count, then codes
    HTREEITEM item = nullptr;

    ContactNode(Kind k, void* h) : kind(k), handle(h) {}
    ~ContactNode() { delete icons; }
    ContactNode(const ContactNode&) = delete;
    ContactNode& operator=(const ContactNode&) = delete;

    FriendHandle Friend() const { return static_cast<FriendHandle>(handle); }
    GroupHandle Group() const { return static_cast<GroupHandle>(handle); }
    void DropIcons() {
        delete icons;
        icons = nullptr;
    }
};

// 0 and 10 mean offline.
inline bool IsOnline(const FriendStatus& status) { return status.status != 0 && status.status != 10; }

}  // namespace rostview
