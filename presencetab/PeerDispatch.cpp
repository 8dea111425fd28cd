#include "PeerDispatch.h"

#include <algorithm>
#include <cstdlib>

#include "DebugOut.h"
#include "PeerPath.h"
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

using vantor::imkit::AddressAnswers;

bool HasHeld(const PeerMemory& memory, const std::string& sender) {
    return std::any_of(memory.held.begin(), memory.held.end(), [&](const HeldRecord& r) { return r.sender == sender; });
}

// Keeps the record until the server has answered for its sender, the ask started unless
// one is under way; or drops it when too many wait. False when the server cannot be asked.
bool Hold(const PeerPacket& packet, DWORD from, const std::string& sender, PeerMemory& memory, const ServerAsk& ask) {
    size_t fromThere = std::count_if(memory.held.begin(), memory.held.end(), [from](const HeldRecord& r) { return r.from == from; });
    if (memory.held.size() >= kMostHeldRecords || fromThere >= kMostHeldFromOneAddress) {
        vantor::DebugLine(L"PresenceTab: too many records wait for the presence server: one was dropped\n");
        return true;
    }
    if (memory.answers.BeginAsk(sender) && !ask(sender)) {
        memory.answers.Answered(sender, false, FriendStatus{});
        return false;
    }
    memory.held.push_back(HeldRecord{packet, from, sender});
    return true;
}

void RefreshSender(ContactBook& book, FriendHandle entry, FriendInfoA record, const AddressAnswers::Answer& server,
                   const PeerFields& f) {
    WORD status = static_cast<WORD>(atoi(f.nickname.c_str()));
    if (status == 0) {
        record.status.localIp = 0;
        record.status.publicIp = 0;
    } else if (record.status.status == 0 && server.found) {
        // Coming online: where the presence server says it is now.
        record.status.localIp = server.status.localIp;
        record.status.localPort = server.status.localPort;
        record.status.publicIp = server.status.publicIp;
        record.status.publicPort = server.status.publicPort;
    }
    record.status.status = status;
    book.ModifyFriend(entry, record);
}

// `ask` null: the record may not wait (again) for the server.
void Dispatch(const PeerPacket& packet, DWORD from, PeerMemory& memory, ContactBook& book, const ServerAsk* ask,
              const NoticeSink& notify) {
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

    // Where the sender is: the book's record, else the server's answer kept. The record
    // waits for the server when neither places the sender, when a friend coming online
    // needs its addresses, or behind an earlier record of its sender that waits.
    AddressAnswers::Answer server = memory.answers.Look(f.sender);
    bool answered = server.state == AddressAnswers::State::kAnswered;
    bool atStored = vantor::imkit::SpeaksFrom(own.status, record.status, from);
    bool atAnswered = answered && server.found && vantor::imkit::SpeaksFrom(own.status, server.status, from);
    bool comingOnline = f.command == kPeerStatusNotify && atoi(f.nickname.c_str()) != 0 && record.status.status == 0;
    bool needsServer = !answered && (!atStored || comingOnline);
    bool waits = vantor::imkit::IsKnownAddress(from) && (needsServer || (ask && HasHeld(memory, f.sender)));
    if (waits && ask && Hold(packet, from, f.sender, memory, *ask)) return;
    // A record that cannot have the server's word (no ask could be made, or the answer did
    // not come in its time) goes by the book alone, as when the server could not say.
    if (!atStored && !atAnswered) {
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
        RefreshSender(book, entry, record, server, f);
    }
}

}  // namespace

void DispatchPeerPacket(const PeerPacket& packet, DWORD from, PeerMemory& memory, ContactBook& book,
                        const ServerAsk& ask, const NoticeSink& notify) {
    Dispatch(packet, from, memory, book, &ask, notify);
}

void DispatchAnswered(PeerMemory& memory, ContactBook& book, const NoticeSink& notify) {
    std::deque<HeldRecord> waiting;
    waiting.swap(memory.held);
    std::set<std::string> stillAsking;
    for (HeldRecord& r : waiting) {
        if (stillAsking.count(r.sender) ||
            memory.answers.Look(r.sender).state == AddressAnswers::State::kAsking) {
            stillAsking.insert(r.sender);
            memory.held.push_back(std::move(r));
            continue;
        }
        Dispatch(r.packet, r.from, memory, book, nullptr, notify);
    }
}

}  // namespace presence
