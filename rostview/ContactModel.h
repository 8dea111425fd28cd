// The two trees of the contact-list pane: what each node shows, the order of siblings,
// finding a node from a contact-book handle, and what each change of the book does.
//
// Everything here runs on the window's thread; the load thread (ContactLoader) reads the
// book and hands each group over with its friends in one piece.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ContactBook.h"
#include "ContactNode.h"
#include "TreeOps.h"

namespace rostview {

// Where the debugger lines of the model go (the debugger; a list in tests).
class DebugSink {
public:
    virtual ~DebugSink() = default;
    virtual void Line(const wchar_t* text) = 0;
};

// What the pane does when a node goes or loses its icon list.
class PaneHooks {
public:
    virtual ~PaneHooks() = default;
    // Before the node is freed: forget it wherever the pane remembers it.
    virtual void NodeGone(ContactNode* node) = 0;
    virtual void IconsDropped(ContactNode* node) = 0;
};

// The load thread's reading, as the window's thread sees it: whether the walk has listed
// the groups it will read, and each group (and the black list) counted as its read begins.
struct LoadReads {
    std::atomic<bool> listed{false};
    std::atomic<unsigned> begun{0};
};

struct LoadedFriend {
    FriendHandle handle;
    FriendInfoA info;
};

// One group of the load with its direct friends, as the load thread read them, in the
// order they are shown in.
struct GroupBatch {
    GroupHandle parent = nullptr;  // an already delivered group, or null for a top-level one
    Kind kind = Kind::NetworkGroup;
    GroupHandle group = nullptr;
    GroupInfoA info = {};
    std::vector<LoadedFriend> friends;
    bool complete = false;  // every friend inserted
};

// The changes of the contact book, as the model takes them.
enum class Change {
    DelFriend, DelGroup, ModifyGroup, Status, Refresh, Policies, MoveFriend, Prevent, DelBlack,
    AddFriend, ModifyFriend, AddGroup,
};

// A node's text: the nickname, or the name when the nickname is empty.
std::string FriendText(const FriendInfoA& info);

// What the order of siblings is decided by.
struct SortKey {
    bool group = false;
    bool online = false;
    std::string text;
    std::string id;
};

// The order of siblings: negative when a comes first. Friends before groups; friends
// online first, then by text, then by id; groups by text. Texts compare by character code.
int CompareKeys(const SortKey& a, const SortKey& b);

// Puts the friends of one group into their order (equal keys keep theirs).
void OrderFriends(std::vector<LoadedFriend>& friends);

class ContactModel {
public:
    ContactModel(TreeOps& friends, TreeOps& black, DebugSink& sink, PaneHooks* hooks = nullptr);

    TreeOps& FriendTree() { return friends_; }
    TreeOps& BlackTree() { return black_; }
    HTREEITEM TelephoneRoot() const { return telephoneRoot_; }
    HTREEITEM NetworkRoot() const { return networkRoot_; }

    // Insertion; each answers the new item or null (the node is then freed).
    HTREEITEM InsertGroupNode(HTREEITEM parent, Kind kind, GroupHandle group, const GroupInfoA& info);
    HTREEITEM InsertFriendNode(HTREEITEM group, Kind kind, FriendHandle entry, const FriendInfoA& info);
    HTREEITEM InsertBlackNode(FriendHandle entry, const FriendInfoA& info);

    // What the load thread tells of its reading as it goes.
    LoadReads& Reads() { return reads_; }
    // The load's deliveries, in the order they were read: false when the group's node or
    // one of its friends could not be made. A batch is newer than any node of the same
    // contact, which it replaces; a group deleted meanwhile (or below one) is left out.
    bool DeliverGroup(GroupBatch& batch, ContactBook& book);
    void DeliverBlackList(const std::vector<LoadedFriend>& users, ContactBook& book);
    // End of the load: the changes still held are made, then both roots are sorted and
    // expanded.
    void LoadFinished(ContactBook& book);

    HTREEITEM FindNode(void* handle) const;
    HTREEITEM FindBlackNode(FriendHandle entry) const;

    // Orders the children of parent, each group's own children first (bottom-up), with
    // each friend read once.
    void SortChildren(HTREEITEM parent, ContactBook& book);
    // The end of the load's sort. The load places every node in its order as it goes, so
    // nothing is left to do unless the trees changed meanwhile: then both roots are sorted
    // again, reading the book.
    void SortLoaded(ContactBook& book);
    // Something outside the model changed the friend tree during the load.
    void Disturbed() { Changed(); }

    // A change of the contact book as it arrives. One that arrives while a group read
    // before it waits to be inserted is held and made right after that insertion, so that
    // it works on the nodes it names and the load does not undo it. One for a group the
    // tree does not show yet (added, moved or added to) is held to the end of the load,
    // when every group the load listed is shown; changes behind a held one wait their
    // turn. A group deleted before its read is left out of the load.
    void Apply(ContactBook& book, Change change, void* first, void* second = nullptr, void* third = nullptr);

    // Changes of the contact book, made at once.
    void AddFriend(ContactBook& book, FriendHandle entry, GroupHandle group);
    void DelFriend(FriendHandle entry);
    void ModifyFriend(ContactBook& book, FriendHandle entry);
    void AddGroup(ContactBook& book, GroupHandle group, GroupHandle parent);
    void DelGroup(GroupHandle group);
    void ModifyGroup(ContactBook& book, GroupHandle group);
    void UpdateStatus(ContactBook& book, FriendHandle entry);
    void RefreshStatuses(ContactBook& book);
    void PoliciesChanged(FriendHandle entry);
    void ChangeGroup(ContactBook& book, FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup);
    void PreventUser(ContactBook& book, FriendHandle entry, GroupHandle group);
    void DelBlackUser(FriendHandle entry);

    // The tree's notices.
    void NodeDeleted(ContactNode* node);
    void ItemExpanded(HTREEITEM item, bool expanded);

    // Drops one node's or every friend node's service-icon list.
    void DropIcons(ContactNode* node);
    void DropAllIcons();

private:
    struct HeldChange {
        Change change;
        void* first;
        void* second;
        void* third;
        unsigned readsBefore;  // the reads begun when it arrived, or kAtTheEnd
    };
    static const unsigned kAtTheEnd = ~0u;
    // Whether the change is held (some read begun before it is not inserted yet, it
    // waits for its group, or an earlier change is held).
    bool Held(Change change, void* first, void* second = nullptr, void* third = nullptr);
    // Whether the change names a group to put something in that has no node yet (and is
    // not known to be gone).
    bool AwaitsGroup(Change change, void* second, void* third) const;
    // Makes the held changes whose reads are all inserted (every one at the end).
    void ReleaseHeld(ContactBook& book, bool all);
    bool InsertBatch(GroupBatch& batch);
    void SetStatusImage(ContactBook& book, HTREEITEM item, FriendHandle entry);
    ContactNode* FriendNodeOf(void* handle) const;
    // A change while the load runs makes the load's own reading out of date.
    void Changed() {
        if (loading_) changedDuringLoad_ = true;
    }
    // Where a group of the load goes among its parent's children.
    HTREEITEM LoadPlace(HTREEITEM parent, const std::string& name, size_t* index);

    TreeOps& friends_;
    TreeOps& black_;
    DebugSink& sink_;
    PaneHooks* hooks_;
    HTREEITEM telephoneRoot_ = nullptr;
    HTREEITEM networkRoot_ = nullptr;
    // handle -> node, for each tree: a change finds its node without walking the tree.
    std::unordered_map<void*, ContactNode*> friendNodes_;
    std::unordered_map<void*, ContactNode*> blackNodes_;
    // Each group the load delivered: its last friend and its sub-groups so far in their
    // order, so that the next sub-group is inserted at its place.
    struct LoadedChildren {
        HTREEITEM lastFriend = nullptr;
        std::vector<std::pair<std::string, HTREEITEM>> groups;
    };
    std::unordered_map<HTREEITEM, LoadedChildren> loaded_;
    bool loading_ = false;
    bool changedDuringLoad_ = false;
    LoadReads reads_;
    unsigned readsInserted_ = 0;
    bool loadOver_ = false;
    bool releasing_ = false;
    std::vector<HeldChange> held_;
    // Groups deleted during the load: a later batch of theirs or of a sub-group is stale.
    std::unordered_set<void*> goneGroups_;
};

// Hands the load's groups over to the window's thread, which owns them from then on. A
// delivery answers whether the load should go on: false once an insertion has failed
// (the walk then stops at the next group at the latest).
class LoadDelivery {
public:
    virtual ~LoadDelivery() = default;
    virtual bool DeliverGroup(std::unique_ptr<GroupBatch> batch) = 0;
    virtual void DeliverBlackList(std::unique_ptr<std::vector<LoadedFriend>> users) = 0;
    virtual void Finished() = 0;
};

enum LoadResult { LOAD_DONE = 0, LOAD_NO_WALK = -1, LOAD_NO_BOOK = 1 };

// The load: every group of both roots with its friends, then the black list, the walk's
// listing and each read told in `reads` as it begins. A set stop flag ends the walks at
// the next group or friend. Finished() is told unless the book could not be reached at all.
LoadResult LoadContacts(ContactBook& book, bool bookReachable, LoadDelivery& delivery,
                        const std::atomic<bool>& stop, DebugSink& sink, LoadReads& reads);

}  // namespace rostview
