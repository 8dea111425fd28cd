// Deleting a friend, a black-list entry or a group: the server first, then the book.
#pragma once

#include <string>

#include "Services.h"

namespace rostdialogs {

struct DeleteTarget {
    enum Kind { Friend = 0, BlackUser = 1, Group = 2 };
    Kind kind = Friend;
    HostContext book = 0;
    void* target = nullptr;      // FriendHandle or GroupHandle
    void* container = nullptr;   // the friend's group or the group's parent
    std::string id;
    std::string label;
};

// Fills id and label from the contact book (both empty when it cannot be read).
void ReadDeleteTarget(Services& s, DeleteTarget& t);
// "label(id)" as the confirmation shows it (8-bit).
std::string DeleteLabel(const DeleteTarget& t);
// True when the server accepted and the book took the deletion; a refusal shows its
// message owned by `owner`.
bool DeleteOnServerThenBook(Services& s, const DeleteTarget& t, HWND owner);

}  // namespace rostdialogs
