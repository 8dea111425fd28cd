// The records this client sends to friends, ready for the wire (1130 characters).
#pragma once

#include <string>

#include "ContactRecords.h"

namespace presence {

// Our new status ("0005", sub-code "01"), the status as decimal text in the nickname.
std::string StatusNoticeText(const FriendInfoA& own, const FriendInfoA& peer, const std::string& status);

enum NoticeKind { kNoticeReserved = 0, kNoticePreventUser = 1, kNoticeDelFriend = 2 };

// The tab's own notices: "0003", "0004" (we blocked the friend) or "0006" (we deleted
// the friend), with our id and nickname, sub-code "02". Empty for another kind.
std::string NoticeText(int kind, const FriendInfoA& own, const FriendInfoA& peer);

// A friend request ("0001") carrying our message.
std::string RequestText(const FriendInfoA& own, const FriendInfoA& peer, const std::string& message);

// The answer to a request ("0002"): "0001" when accepted, else "0000" with the reason.
std::string ResponseText(const FriendInfoA& own, const FriendInfoA& peer, bool accept, const std::string& reason);

}  // namespace presence
