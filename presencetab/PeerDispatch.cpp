#include "PeerDispatch.h"

#include <cstdlib>

#include "DebugOut.h"
#include "Text.h"

namespace presence {

PresenceNotice MakeNotice(const char* id, const char* nickname, const char* message) {
    PresenceNotice n;
    vantor::CopyField(n.id, id);
    vantor::CopyField(n.nickname, nickname);
    vantor::CopyField(n.message, message);
    return n;
}

void RemoveSender(ContactBook& book, const char* id) {
    GroupHandle group = nullptr;
    FriendHandle entry = book.FindFriend(id, &group);
    if (!entry) {
        vantor::DebugLine(L"对方不是自己的好友\n");
        return;
    }
    book.DelFriend(entry, group);
}

namespace {

void RefreshSender(ContactBook& book, PresenceServer& server, const PeerFields& f) {
    FriendHandle entry = book.FindFriend(f.sender.c_str(), nullptr);
    if (!entry) return;
    FriendInfoA record = {};
    if (!book.FriendInfo(entry, &record)) return;
    WORD status = static_cast<WORD>(atoi(f.nickname.c_str()));
    if (status == 0) {
        record.status.localIp = 0;
        record.status.publicIp = 0;
    } else if (record.status.status == 0) {
        server.FriendIp(f.sender.c_str(), &record);
    }
    record.status.status = status;
    book.ModifyFriend(entry, record);
}

}  // namespace

void DispatchPeerPacket(const PeerPacket& packet, ContactBook& book, PresenceServer& server, const NoticeSink& notify) {
    PeerFields f = ReadPacket(packet);
    FriendInfoA own = {};
    bool known = book.Account(&own);
    std::string ownId = vantor::FieldText(own.id);
    // Our id as a sender would have cut it to fit the field.
    ownId.resize(vantor::WholeCharsPrefix(ownId.data(), ownId.size(), kReceiverWidth - 1));
    if (!known || f.receiver != ownId) {
        vantor::DebugLine(L"收到的命令不是发给自己的\n");
        return;
    }
    PresenceNotice notice = MakeNotice(f.sender.c_str(), f.nickname.c_str(), f.message.c_str());
    if (f.command == kPeerRequestValid) {
        notify(PTM_VERIFY_REQUEST, notice);
    } else if (f.command == kPeerResponseValid) {
        notify(f.answer == "0000" ? PTM_VERIFY_REFUSED : PTM_VERIFY_ACCEPTED, notice);
    } else if (f.command == kPeerReserved) {
    } else if (f.command == kPeerPreventUser) {
        vantor::DebugLine(L"自己被对方拖入了黑名单了\n");
        RemoveSender(book, f.sender.c_str());
    } else if (f.command == kPeerStatusNotify) {
        if (f.subCode == "01") RefreshSender(book, server, f);
    } else if (f.command == kPeerDelFriend) {
        vantor::DebugLine(L"自己被对方直接删除了\n");
        RemoveSender(book, f.sender.c_str());
    } else {
        vantor::DebugLine(L"暂时不支持的命令\n");
    }
}

}  // namespace presence
