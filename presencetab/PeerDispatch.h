// What a record from a friend's client does, on the window's thread.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <set>
#include <string>

#include "AddressAnswers.h"
#include "PeerPacket.h"
#include "PresenceMessages.h"
#include "Services.h"

namespace presence {

// Hands a notice to the window (a sent message of PresenceMessages.h).
using NoticeSink = std::function<void(UINT message, const PresenceNotice& notice)>;

// Starts an ask of the presence server for where `sender` is, off the window's thread: its
// answer goes into the memory's answers, and then DispatchAnswered runs. False when no ask
// can be made.
using ServerAsk = std::function<bool(const std::string& sender)>;

// Records that wait for the server's answer, at most, and at most from one address.
constexpr size_t kMostHeldRecords = 64;
constexpr size_t kMostHeldFromOneAddress = 8;

struct HeldRecord {
    PeerPacket packet;
    DWORD from;
    std::string sender;
};

// What the dispatch keeps between records.
struct PeerMemory {
    // Ids our friend requests went to: the first answer of each is taken, no other.
    std::set<std::string> asked;
    // Where the presence server said senders are, kept a while (shared with the asking thread).
    vantor::imkit::AddressAnswers answers;
    // Records held, in their order, until the server has answered for their sender.
    std::deque<HeldRecord> held;
};

// A record addressed to someone else is dropped (it has been answered already). `from` is
// the address (network order) the record came from. A record that changes the contact book
// or answers our request counts only from where its sender is: where the book or the
// presence server says; one that needs the server's word waits for it.
void DispatchPeerPacket(const PeerPacket& packet, DWORD from, PeerMemory& memory, ContactBook& book,
                        const ServerAsk& ask, const NoticeSink& notify);

// Dispatches the held records whose sender the server has answered for, in their order.
void DispatchAnswered(PeerMemory& memory, ContactBook& book, const NoticeSink& notify);

}  // namespace presence
