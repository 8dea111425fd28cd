// Commands that end a friendship from our side: blocking a friend through the contact
// dialogs, and telling a friend we deleted. An online friend hears of either directly;
// its reply is not waited for.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "PeerAddress.h"
#include "Services.h"

namespace presence {

// RostDialogs_PreventUser for the friend and its group (contact book and proxy flag bound
// by the caller): 0 when the friend was not blocked.
using PreventCall = std::function<int(FriendHandle entry, GroupHandle group)>;
// Sends one record and does not wait for the answer; false when it did not go.
using SendOnlyCall = std::function<bool(const PeerTarget& target, const std::string& text)>;

// Blocks the friend; when it was online, sends it "0004". True when the notice went.
bool BlockFriend(ContactBook& book, const PreventCall& prevent, const SendOnlyCall& send, FriendHandle entry,
                 GroupHandle group, WORD ownPort);

// Sends "0006" to the friend when it is online. True when the notice went.
bool TellDeletedFriend(ContactBook& book, const SendOnlyCall& send, FriendHandle entry, WORD ownPort);

}  // namespace presence
