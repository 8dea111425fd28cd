// What a record from a friend's client does, on the window's thread.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>

#include "PeerPacket.h"
#include "PresenceMessages.h"
#include "Services.h"

namespace presence {

// Hands a notice to the window (a sent message of PresenceMessages.h).
using NoticeSink = std::function<void(UINT message, const PresenceNotice& notice)>;

// The presence server is asked for one sender's address at most once in this time.
constexpr DWORD kAddressAskPauseMs = 30000;

// What the dispatch keeps between records (the window's thread only).
struct PeerMemory {
    // Ids our friend requests went to: the first answer of each is taken, no other.
    std::set<std::string> asked;
    // When the presence server was last asked for a sender's address.
    std::map<std::string, DWORD> addressAsks;
};

// A record addressed to someone else is dropped (it has been answered already). `from` is
// the address (network order) the record came from.
void DispatchPeerPacket(const PeerPacket& packet, DWORD from, PeerMemory& memory, ContactBook& book,
                        PresenceServer& server, const NoticeSink& notify);

}  // namespace presence
