#include "PeerRecords.h"

#include "PeerPacket.h"
#include "Text.h"

namespace presence {

namespace {

PeerFields Between(const char* command, const FriendInfoA& own, const FriendInfoA& peer, const char* subCode) {
    PeerFields f;
    f.command = command;
    f.sender = vantor::FieldText(own.id);
    f.receiver = vantor::FieldText(peer.id);
    f.subCode = subCode;
    return f;
}

}  // namespace

std::string StatusNoticeText(const FriendInfoA& own, const FriendInfoA& peer, const std::string& status) {
    PeerFields f = Between(kPeerStatusNotify, own, peer, "01");
    f.nickname = status;
    return EncodePacket(BuildPacket(f));
}

std::string NoticeText(int kind, const FriendInfoA& own, const FriendInfoA& peer) {
    static const char* const commands[] = {kPeerReserved, kPeerPreventUser, kPeerDelFriend};
    if (kind < kNoticeReserved || kind > kNoticeDelFriend) return std::string();
    PeerFields f = Between(commands[kind], own, peer, "02");
    f.nickname = vantor::FieldText(own.nickname);
    return EncodePacket(BuildPacket(f));
}

std::string RequestText(const FriendInfoA& own, const FriendInfoA& peer, const std::string& message) {
    PeerFields f = Between(kPeerRequestValid, own, peer, "02");
    f.nickname = vantor::FieldText(own.nickname);
    f.message = message;
    return EncodePacket(BuildPacket(f));
}

std::string ResponseText(const FriendInfoA& own, const FriendInfoA& peer, bool accept, const std::string& reason) {
    PeerFields f = Between(kPeerResponseValid, own, peer, "02");
    f.answer = accept ? "0001" : "0000";
    f.nickname = vantor::FieldText(own.nickname);
    if (!accept) f.message = reason;
    return EncodePacket(BuildPacket(f));
}

}  // namespace presence
