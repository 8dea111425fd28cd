#include "PeerDispatch.h"

#include <cstdlib>
#include <iterator>

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

namespace {

bool At(const FriendStatus& status, DWORD address) { return status.publicIp == address || status.localIp == address; }

// Whether the server may be asked for the sender's address now; counts the ask.
bool MayAskServer(PeerMemory& memory, const std::string& sender) {
    DWORD now = GetTickCount();
    if (memory.addressAsks.size() > 256) {
        for (auto at = memory.addressAsks.begin(); at != memory.addressAsks.end();)
            at = now - at->second >= kAddressAskPauseMs ? memory.addressAsks.erase(at) : std::next(at);
    }
    auto found = memory.addressAsks.find(sender);
    if (found != memory.addressAsks.end() && now - found->second < kAddressAskPauseMs) return false;
    memory.addressAsks[sender] = now;
    return true;
}

// A record that changes the contact book or answers our request counts only when it came
// from where its sender is: an address stored for it, or the one the presence server
// gives. `record` is the sender's stored record (zero for a stranger); once the server
// was asked (*asked) it holds the server's answer.
bool FromSender(PresenceServer& server, PeerMemory& memory, const std::string& sender, DWORD from, FriendInfoA* record,
                bool* asked) {
    *asked = false;
    if (from == 0) return false;
    if (At(record->status, from)) return true;
    if (!MayAskServer(memory, sender)) return false;
    *asked = true;
    return server.FriendIp(sender.c_str(), record) == 0 && At(record->status, from);
}

void RefreshSender(ContactBook& book, PresenceServer& server, PeerMemory& memory, FriendHandle entry,
                   FriendInfoA record, bool asked, const PeerFields& f) {
    WORD status = static_cast<WORD>(atoi(f.nickname.c_str()));
    if (status == 0) {
        record.status.localIp = 0;
        record.status.publicIp = 0;
    } else if (record.status.status == 0 && !asked && MayAskServer(memory, f.sender)) {
        server.FriendIp(f.sender.c_str(), &record);
    }
    record.status.status = status;
    book.ModifyFriend(entry, record);
}

}  // namespace

void DispatchPeerPacket(const PeerPacket& packet, DWORD from, PeerMemory& memory, ContactBook& book,
                        PresenceServer& server, const NoticeSink& notify) {
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
        return;
    }
    if (f.command == kPeerReserved) return;
    bool acts = f.command == kPeerResponseValid || f.command == kPeerPreventUser || f.command == kPeerDelFriend ||
                (f.command == kPeerStatusNotify && f.subCode == "01");
    if (!acts) {
        if (f.command != kPeerStatusNotify) vantor::DebugLine(L"暂时不支持的命令\n");
        return;
    }
    if (f.command == kPeerResponseValid && !memory.asked.count(f.sender)) {
        vantor::DebugLine(L"PresenceTab: an answer from someone we did not ask was dropped\n");
        return;
    }
    // Who the sender is, as far as the contact book knows; a stranger can only answer.
    GroupHandle group = nullptr;
    FriendHandle entry = book.FindFriend(f.sender.c_str(), &group);
    FriendInfoA record = {};
    if (entry && !book.FriendInfo(entry, &record)) entry = nullptr;
    if (!entry && f.command != kPeerResponseValid) {
        if (f.command != kPeerStatusNotify) vantor::DebugLine(L"对方不是自己的好友\n");
        return;
    }
    bool asked = false;
    if (!FromSender(server, memory, f.sender, from, &record, &asked)) {
        vantor::DebugLine(L"PresenceTab: a record came from an address that is not its sender's and was dropped\n");
        return;
    }
    if (f.command == kPeerResponseValid) {
        memory.asked.erase(f.sender);
        notify(f.answer == "0000" ? PTM_VERIFY_REFUSED : PTM_VERIFY_ACCEPTED, notice);
    } else if (f.command == kPeerPreventUser) {
        vantor::DebugLine(L"自己被对方拖入了黑名单了\n");
        book.DelFriend(entry, group);
    } else if (f.command == kPeerDelFriend) {
        vantor::DebugLine(L"自己被对方直接删除了\n");
        book.DelFriend(entry, group);
    } else {
        RefreshSender(book, server, memory, entry, record, asked, f);
    }
}

}  // namespace presence
