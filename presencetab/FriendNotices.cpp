#include "FriendNotices.h"

#include "PeerRecords.h"

namespace presence {

namespace {

// The friend's record was read before the change: an offline friend hears nothing.
bool TellOnlineFriend(ContactBook& book, const SendOnlyCall& send, const FriendInfoA& record, NoticeKind kind,
                      WORD ownPort) {
    if (record.status.status == 0) return false;
    FriendInfoA own = {};
    if (!book.Account(&own)) return false;
    PeerTarget target = ChoosePeerTarget(own.status, record.status, PortRule::OwnPort, ownPort);
    if (!Reachable(target)) return false;
    return send(target, NoticeText(kind, own, record));
}

}  // namespace

bool BlockFriend(ContactBook& book, const PreventCall& prevent, const SendOnlyCall& send, FriendHandle entry,
                 GroupHandle group, WORD ownPort) {
    if (!prevent) return false;
    FriendInfoA record = {};
    bool known = book.FriendInfo(entry, &record);
    if (prevent(entry, group) == 0) return false;
    return known && TellOnlineFriend(book, send, record, kNoticePreventUser, ownPort);
}

bool TellDeletedFriend(ContactBook& book, const SendOnlyCall& send, FriendHandle entry, WORD ownPort) {
    FriendInfoA record = {};
    if (!book.FriendInfo(entry, &record)) return false;
    return TellOnlineFriend(book, send, record, kNoticeDelFriend, ownPort);
}

}  // namespace presence
