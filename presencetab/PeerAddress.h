// Where a direct notice to a friend goes. Addresses are IPv4 in network byte order, as
// the contact records hold them; ports are plain numbers.
#pragma once

#include <windows.h>

#include "ContactRecords.h"

namespace presence {

struct PeerTarget {
    DWORD address = 0;
    WORD port = 0;
};

enum class PortRule {
    OwnPort,     // the friend's address, always on our own local TCP port
    FriendPort,  // the friend's address with the friend's matching port
};

// The friend's public address, or its local one when the public addresses are equal
// (both behind one router). With FriendPort the port goes with the address chosen.
PeerTarget ChoosePeerTarget(const FriendStatus& own, const FriendStatus& peer, PortRule rule, WORD ownPort);

// An unknown address (0, or the all-ones value of unreadable text) or port 0 is no road
// at all: such a send fails at once instead of reaching some local listener.
bool Reachable(const PeerTarget& target);

}  // namespace presence
