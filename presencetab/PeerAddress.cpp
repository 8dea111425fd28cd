#include "PeerAddress.h"

#include "PeerPath.h"

namespace presence {

PeerTarget ChoosePeerTarget(const FriendStatus& own, const FriendStatus& peer, PortRule rule, WORD ownPort) {
    PeerTarget target;
    target.address = vantor::imkit::PathAddress(own, peer);
    if (rule == PortRule::OwnPort) target.port = ownPort;
    else target.port = vantor::imkit::SharesPublicAddress(own, peer) ? peer.localPort : peer.publicPort;
    return target;
}

bool Reachable(const PeerTarget& target) { return vantor::imkit::IsKnownAddress(target.address) && target.port != 0; }

}  // namespace presence
