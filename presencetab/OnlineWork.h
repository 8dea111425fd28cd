// Online friends and own status: the refresh after each heart-beat cycle, the visit of
// each friend found online, and the pass that spreads the user's own status.
#pragma once

#include <windows.h>

#include <set>
#include <string>

#include "ContactRecords.h"
#include "Services.h"
#include "Sync.h"

namespace presence {

// Friends found online and not yet visited, smallest handle first. Shared by the
// online-friends thread (insertion) and the online-status thread (removal).
class PendingFriends {
public:
    void Clear();
    void Insert(FriendHandle entry);
    bool TakeSmallest(FriendHandle* entry);
    bool Empty();

private:
    vantor::CriticalSection lock_;
    std::set<UINT_PTR> entries_;
};

struct WorkContext {
    ContactBook& book;
    PresenceServer& server;
    ClientKernel& kernel;
    PeerSender& peers;
    WorkSignals& signals;
};

// Ids joined by "|", for the one server call that reaches the friends no direct notice did.
class IdList {
public:
    void Add(const char* id);
    const std::string& Text() const { return text_; }
    bool Empty() const { return text_.empty(); }

private:
    std::string text_;
};

// Marks every network friend offline, walks the server's online list into the book and
// the pending set, then announces the change. True when friends wait to be visited.
bool RefreshOnlineFriends(WorkContext& work, PendingFriends& pending);

// Visits the pending friends: fills empty nicknames, sends our status on our own port,
// refreshes their service policies; the ones not reached go to the server in one call.
void ProcessOnlineFriends(WorkContext& work, PendingFriends& pending, WORD ownPort);

// One pass of the own-status spread with `status`: -1 stopped, 1 interrupted by a newer
// request, 0 done (the server and the book were told).
int OwnStatusPass(WorkContext& work, WORD status);

}  // namespace presence
