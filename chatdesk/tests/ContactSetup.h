// The contact book of the child runs: a RostBase store made for account 10001 with its
// friends and one black-listed user, handed out by the ClientCore stand-in, read through
// the RostLedger and RostKeeper stand-ins.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace cdtest {

constexpr HostContext kBook = 1;
extern const char kOwnId[];        // "10001"
extern const char kFriendId[];     // "20002", nickname "Lan"
extern const char kOtherFriend[];  // "20003"
extern const char kBlackListed[];  // "30003"

struct ContactBook {
    FriendHandle friendEntry = nullptr;
    FriendHandle otherEntry = nullptr;
    // A handle that names no entry any more.
    FriendHandle staleEntry = nullptr;
};

// Builds the store once per process in the program folder; null handles on failure.
const ContactBook& Contacts();

}  // namespace cdtest
