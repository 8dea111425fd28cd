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

// A record addressed to someone else is dropped (it has been answered already).
void DispatchPeerPacket(const PeerPacket& packet, ContactBook& book, PresenceServer& server, const NoticeSink& notify);

// Removes the sender of a block or deletion notice from the friends.
void RemoveSender(ContactBook& book, const char* id);

}  // namespace presence
