// Where a friend's client is, by the two addresses the presence server keeps of it (IPv4,
// network order): its public address, the one the world sees, and its local one inside
// its own network. A local address means something only to a client in that same network,
// that is when the friend's public address is our own.
#pragma once

#include <cstdint>

#include "ContactRecords.h"

namespace vantor {
namespace imkit {

// Neither 0 (not known) nor all ones (text that was no address).
bool IsKnownAddress(uint32_t address);

// Whether the friend's public address is our own (both behind one router).
bool SharesPublicAddress(const FriendStatus& own, const FriendStatus& peer);

// The address a direct link or notice to the friend goes to: its public address, or its
// local one when it shares our public address.
uint32_t PathAddress(const FriendStatus& own, const FriendStatus& peer);

// Whether a connection from `from` can be the friend's own: it comes from the friend's
// public address, or from its local one while its public address is our own (and known).
// An unknown address is nobody's.
bool SpeaksFrom(const FriendStatus& own, const FriendStatus& peer, uint32_t from);

}  // namespace imkit
}  // namespace vantor
