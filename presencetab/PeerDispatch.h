// What a record from a friend's client does, on the window's thread.
#pragma once

#include <windows.h>

#include <functional>

#include "PeerPacket.h"
#include "PresenceMessages.h"
#include "Services.h"

namespace presence {

// Hands a notice to the window (a sent message of PresenceMessages.h).
using NoticeSink = std::function<void(UINT message, const PresenceNotice& notice)>;

// A record addressed to someone else is dropped (it has been answered already). `from` is
// the address (network order) the record came from.
void DispatchPeerPacket(const PeerPacket& packet, DWORD from, ContactBook& book, PresenceServer& server,
                        const NoticeSink& notify);

}  // namespace presence
