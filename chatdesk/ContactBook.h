// The contact book as the IM side reads it and registers with it: RostLedger, RostKeeper
// and ClientCore loaded for each call from the folder of this module and freed after it.
// A missing library or export makes only that call fail.
#pragma once

#include <windows.h>

#include <string>

#include "ContactRecords.h"
#include "VantorTypes.h"

namespace chatdesk {

class ContactBook {
public:
    ContactBook(HostContext book, HMODULE ownModule) : book_(book), ownModule_(ownModule) {}

    HostContext Handle() const { return book_; }
    // The current account's record; false when the handle is 0 or any step fails.
    bool OwnRecord(FriendInfoA* out) const;
    std::string OwnId() const;
    // A friend's record by handle; false when nothing was filled.
    bool FriendRecord(FriendHandle entry, FriendInfoA* out) const;
    // A friend's record by id, from the contact book only; false when the id is no friend.
    bool FriendById(const std::string& id, FriendInfoA* out) const;
    // A peer's record: the friend's when the id is a friend, the nickname from the public
    // information when still empty. True once asked.
    bool PeerRecord(const std::string& id, FriendInfoA* out) const;
    // A friend's addresses as the presence server gives them now; false when it could
    // not be asked or did not answer.
    bool ServerStatus(const std::string& id, FriendStatus* out) const;
    bool IsBlackListed(const std::string& id) const;
    // Stores the record of a friend (by its id); false when the id is no friend or the
    // store refused.
    bool ModifyFriend(const FriendInfoA& record) const;

    bool RegisterEvents(UINT_PTR user) const;
    void UnregisterEvents() const;

private:
    HMODULE Load(const wchar_t* fileName) const;

    HostContext book_;
    HMODULE ownModule_;
};

}  // namespace chatdesk
