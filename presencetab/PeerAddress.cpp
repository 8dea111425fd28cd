#include "PeerAddress.h"

namespace presence {

PeerTarget ChoosePeerTarget(const FriendStatus& own, const FriendStatus& peer, PortRule rule, WORD ownPort) {
    bool sameRouter = peer.publicIp == own.publicIp;
    PeerTarget target;
    target.address = sameRouter ? peer.localIp : peer.publicIp;
    if (rule == PortRule::OwnPort) target.port = ownPort;
    else target.port = sameRouter ? peer.localPort : peer.publicPort;
    return target;
}

bool Reachable(const PeerTarget& target) {
    return target.address != 0 && target.address != 0xFFFFFFFFu && target.port != 0;
}

}  // namespace presence
