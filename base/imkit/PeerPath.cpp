#include "PeerPath.h"

namespace vantor {
namespace imkit {

bool IsKnownAddress(uint32_t address) { return address != 0 && address != 0xFFFFFFFFu; }

bool SharesPublicAddress(const FriendStatus& own, const FriendStatus& peer) { return peer.publicIp == own.publicIp; }

uint32_t PathAddress(const FriendStatus& own, const FriendStatus& peer) {
    return SharesPublicAddress(own, peer) ? peer.localIp : peer.publicIp;
}

bool SpeaksFrom(const FriendStatus& own, const FriendStatus& peer, uint32_t from) {
    if (!IsKnownAddress(from)) return false;
    if (from == peer.publicIp) return true;
    return from == peer.localIp && IsKnownAddress(own.publicIp) && SharesPublicAddress(own, peer);
}

}  // namespace imkit
}  // namespace vantor
