// The service icons at the right end of a friend row: which icons a friend gets, where
// each slot is, which slot the mouse is on, what a click does, and the tool-tip texts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ContactBook.h"

namespace rostview {

enum IconCode : BYTE { ICON_MORE = 0, ICON_SMS = 1, ICON_PHONE = 4, ICON_CHAT = 16 };

// Hot-icon values besides icon indices.
enum : int { HOT_NONE = -1, HOT_IMAGE = 50000, HOT_LABEL = 50001 };

enum { ICON_SIZE = 16, ICON_PITCH = 18 };

// Services both sides can use for one friend.
struct IconOffer {
    bool chat = false;   // the friend and the account have policy 9 in use
    bool sms = false;    // the friend has a mobile number, the account policy 8 in use
    bool phone = false;  // the account has policy 14 or 3 in use, the friend any number
};
IconOffer OfferFor(ContactBook& book, FriendHandle entry, const FriendInfoA& info);

// The icon list for free space beside the text: [0] the count, then the codes from the
// right end leftwards, with room for free / 18 icons. Empty when not even one fits (no
// list is built then). When an icon is due and only the last slot is left, that slot
// takes the more-services icon and no further icon is considered.
std::vector<BYTE> BuildIconList(int freeSpace, const IconOffer& offer);

// Slot `index` of a row (0 is the rightmost), vertically centred.
RECT IconSlot(const RECT& row, int index);

// The slot under the point: slots from the right while they start at or right of the
// text's end and, with limit >= 0, below limit. -1 when none.
int SlotAt(const RECT& row, const RECT& text, POINT point, int limit);

// Image of an icon: its code, or the hover picture (code + 2) except for "more".
inline int IconImage(BYTE code, bool hot) { return hot && code != ICON_MORE ? code + 2 : code; }

// The command a click on an icon posts, or 0 for none.
int IconCommand(BYTE code, const FriendInfoA& info);

// Tool-tip texts of a row: "%s(%s)" for groups and friends, the service's name over an
// icon (code >= 0).
std::wstring GroupTip(const GroupInfoW& info);
std::string GroupTip(const GroupInfoA& info);
std::wstring FriendTip(const FriendInfoW& info, int iconCode);
std::string FriendTip(const FriendInfoA& info, int iconCode);

}  // namespace rostview
