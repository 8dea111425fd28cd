#include "ContactModel.h"

#include <algorithm>
#include <cstring>

#include "Text.h"

namespace rostview {

std::string FriendText(const FriendInfoA& info) {
    std::string nickname = vantor::FieldText(info.nickname);
    return nickname.empty() ? vantor::FieldText(info.name) : nickname;
}

ContactModel::ContactModel(TreeOps& friends, TreeOps& black, DebugSink& sink, PaneHooks* hooks)
    : friends_(friends), black_(black), sink_(sink), hooks_(hooks) {}

// --- insertion

HTREEITEM ContactModel::InsertGroupNode(HTREEITEM parent, Kind kind, GroupHandle group, const GroupInfoA& info) {
    auto* node = new ContactNode(kind, group);
    HTREEITEM item =
        friends_.Insert(parent, vantor::FieldText(info.name), IMAGE_GROUP_CLOSED, IMAGE_GROUP_CLOSED_SELECTED, node);
    if (!item) {
        delete node;
        return nullptr;
    }
    node->item = item;
    friendNodes_[group] = node;
    return item;
}

HTREEITEM ContactModel::InsertFriendNode(HTREEITEM group, Kind kind, FriendHandle entry, const FriendInfoA& info) {
    // One node per friend: a newer reading replaces the node.
    if (ContactNode* old = FriendNodeOf(entry)) friends_.Delete(old->item);
    int image = kind == Kind::NetworkFriend && !IsOnline(info.status) ? IMAGE_OFFLINE : IMAGE_ONLINE;
    auto* node = new ContactNode(kind, entry);
    HTREEITEM item = friends_.Insert(group, FriendText(info), image, image, node);
    if (!item) {
        delete node;
        return nullptr;
    }
    node->item = item;
    friendNodes_[entry] = node;
    return item;
}

HTREEITEM ContactModel::InsertBlackNode(FriendHandle entry, const FriendInfoA& info) {
    if (HTREEITEM old = FindBlackNode(entry)) black_.Delete(old);
    auto* node = new ContactNode(Kind::BlackUser, entry);
    HTREEITEM item = black_.Insert(nullptr, FriendText(info), IMAGE_OFFLINE, IMAGE_OFFLINE, node);
    if (!item) {
        delete node;
        return nullptr;
    }
    node->item = item;
    blackNodes_[entry] = node;
    return item;
}

HTREEITEM ContactModel::LoadPlace(HTREEITEM parent, const std::string& name, size_t* index) {
    *index = 0;
    auto found = parent && !changedDuringLoad_ ? loaded_.find(parent) : loaded_.end();
    // A top-level group, or a tree changed meanwhile (the end of the load sorts it).
    if (found == loaded_.end()) return TVI_LAST;
    const auto& groups = found->second.groups;
    auto after = std::upper_bound(groups.begin(), groups.end(), name, [](const std::string& n, const auto& g) {
        return CompareKeys(SortKey{true, false, n, {}}, SortKey{true, false, g.first, {}}) < 0;
    });
    *index = static_cast<size_t>(after - groups.begin());
    if (after != groups.begin()) return (after - 1)->second;
    return found->second.lastFriend ? found->second.lastFriend : TVI_FIRST;
}

bool ContactModel::DeliverGroup(GroupBatch& batch, ContactBook& book) {
    loading_ = true;
    ++readsInserted_;
    bool made = true;
    if (goneGroups_.count(batch.group) || (batch.parent && goneGroups_.count(batch.parent))) {
        goneGroups_.insert(batch.group);
    } else {
        made = InsertBatch(batch);
    }
    ReleaseHeld(book, false);
    return made;
}

bool ContactModel::InsertBatch(GroupBatch& batch) {
    std::string name = vantor::FieldText(batch.info.name);
    // A group that a change added before its batch was read keeps its node.
    ContactNode* node = FriendNodeOf(batch.group);
    HTREEITEM item = node && IsGroup(node->kind) ? node->item : nullptr;
    if (item) {
        if (friends_.Text(item) != name) friends_.SetText(item, name);
    } else {
        // A parent whose insertion failed: top level.
        ContactNode* parentNode = batch.parent ? FriendNodeOf(batch.parent) : nullptr;
        HTREEITEM parent = parentNode ? parentNode->item : nullptr;
        size_t index = 0;
        HTREEITEM after = LoadPlace(parent, name, &index);
        node = new ContactNode(batch.kind, batch.group);
        item = friends_.InsertAfter(parent, after, name, IMAGE_GROUP_CLOSED, IMAGE_GROUP_CLOSED_SELECTED, node);
        if (!item) {
            delete node;
            return false;
        }
        node->item = item;
        friendNodes_[batch.group] = node;
        if (!parentNode) {
            if (batch.kind == Kind::TelephoneGroup) {
                telephoneRoot_ = item;
            } else {
                networkRoot_ = item;
            }
        } else if (after != TVI_LAST) {
            auto& groups = loaded_[parent].groups;
            groups.insert(groups.begin() + static_cast<std::ptrdiff_t>(index), {std::move(name), item});
        }
    }
    Kind friendKind = FriendKindOf(node->kind);
    HTREEITEM lastFriend = nullptr;
    batch.complete = true;
    for (const LoadedFriend& f : batch.friends) {
        lastFriend = InsertFriendNode(item, friendKind, f.handle, f.info);
        if (!lastFriend) {
            batch.complete = false;
            break;
        }
    }
    loaded_[item].lastFriend = lastFriend;
    return batch.complete;
}

void ContactModel::DeliverBlackList(const std::vector<LoadedFriend>& users, ContactBook& book) {
    ++readsInserted_;
    for (const LoadedFriend& user : users) InsertBlackNode(user.handle, user.info);
    ReleaseHeld(book, false);
}

// --- changes during the load

bool ContactModel::Held(Change change, void* first, void* second, void* third) {
    if (loadOver_ || releasing_) return false;
    // Once the walk has listed its groups, a group it did not list shows only when the
    // change that added it is made, and one it listed only once its batch is in.
    bool awaits = reads_.listed && AwaitsGroup(change, second, third);
    unsigned begun = reads_.begun.load();
    if (!awaits && held_.empty() && readsInserted_ >= begun) return false;
    held_.push_back(HeldChange{change, first, second, third, awaits ? kAtTheEnd : begun});
    return true;
}

bool ContactModel::AwaitsGroup(Change change, void* second, void* third) const {
    void* group = nullptr;
    if (change == Change::AddFriend || change == Change::AddGroup) group = second;
    if (change == Change::MoveFriend) group = third;
    return group && !FriendNodeOf(group) && !goneGroups_.count(group);
}

void ContactModel::ReleaseHeld(ContactBook& book, bool all) {
    size_t made = 0;
    releasing_ = true;
    for (; made < held_.size() && (all || held_[made].readsBefore <= readsInserted_); ++made) {
        Apply(book, held_[made].change, held_[made].first, held_[made].second, held_[made].third);
    }
    releasing_ = false;
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(made));
}

void ContactModel::Apply(ContactBook& book, Change change, void* first, void* second, void* third) {
    if (Held(change, first, second, third)) return;
    auto entry = static_cast<FriendHandle>(first);
    switch (change) {
    case Change::AddFriend: AddFriend(book, entry, static_cast<GroupHandle>(second)); break;
    case Change::DelFriend: DelFriend(entry); break;
    case Change::ModifyFriend: ModifyFriend(book, entry); break;
    case Change::AddGroup: AddGroup(book, static_cast<GroupHandle>(first), static_cast<GroupHandle>(second)); break;
    case Change::DelGroup: DelGroup(static_cast<GroupHandle>(first)); break;
    case Change::ModifyGroup: ModifyGroup(book, static_cast<GroupHandle>(first)); break;
    case Change::Status: UpdateStatus(book, entry); break;
    case Change::Refresh: RefreshStatuses(book); break;
    case Change::Policies: PoliciesChanged(entry); break;
    case Change::MoveFriend:
        ChangeGroup(book, entry, static_cast<GroupHandle>(second), static_cast<GroupHandle>(third));
        break;
    case Change::Prevent: PreventUser(book, entry, static_cast<GroupHandle>(second)); break;
    case Change::DelBlack: DelBlackUser(entry); break;
    }
}

void ContactModel::LoadFinished(ContactBook& book) {
    ReleaseHeld(book, true);
    loadOver_ = true;
    goneGroups_.clear();
    SortLoaded(book);
    // The open images go on before the expansion: set from within the tree's expansion
    // notice they cost the control another round of scroll-bar and size work.
    for (HTREEITEM root : {telephoneRoot_, networkRoot_}) {
        if (!root) continue;
        friends_.SetImages(root, IMAGE_GROUP_OPEN, IMAGE_GROUP_OPEN_SELECTED);
        friends_.Expand(root);
    }
}

// --- finding

ContactNode* ContactModel::FriendNodeOf(void* handle) const {
    auto found = friendNodes_.find(handle);
    return found == friendNodes_.end() ? nullptr : found->second;
}

HTREEITEM ContactModel::FindNode(void* handle) const {
    ContactNode* node = handle ? FriendNodeOf(handle) : nullptr;
    return node ? node->item : nullptr;
}

HTREEITEM ContactModel::FindBlackNode(FriendHandle entry) const {
    auto found = blackNodes_.find(entry);
    return found == blackNodes_.end() || !entry ? nullptr : found->second->item;
}

// --- sorting

namespace {

// Character codes of the ANSI code page, not collation: byte order gives that for the
// double-byte code pages too.
int CompareBytes(const std::string& a, const std::string& b) {
    int r = std::strcmp(a.c_str(), b.c_str());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

int CompareKeys(const SortKey& x, const SortKey& y) {
    if (x.group != y.group) return x.group ? 1 : -1;
    if (x.group) return CompareBytes(x.text, y.text);
    if (x.online != y.online) return x.online ? -1 : 1;
    int byText = CompareBytes(x.text, y.text);
    return byText ? byText : CompareBytes(x.id, y.id);
}

void OrderFriends(std::vector<LoadedFriend>& friends) {
    std::vector<SortKey> keys(friends.size());
    std::vector<size_t> order(friends.size());
    for (size_t i = 0; i < friends.size(); ++i) {
        keys[i].online = IsOnline(friends[i].info.status);
        keys[i].text = FriendText(friends[i].info);
        keys[i].id = vantor::FieldText(friends[i].info.id);
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return CompareKeys(keys[a], keys[b]) < 0; });
    if (std::is_sorted(order.begin(), order.end())) return;  // in order already
    std::vector<LoadedFriend> sorted;
    sorted.reserve(friends.size());
    for (size_t i : order) sorted.push_back(friends[i]);
    friends.swap(sorted);
}

namespace {

struct SortContext {
    std::unordered_map<const ContactNode*, SortKey> keys;
};

int CALLBACK CompareNodes(LPARAM first, LPARAM second, LPARAM context) {
    auto* a = reinterpret_cast<const ContactNode*>(first);
    auto* b = reinterpret_cast<const ContactNode*>(second);
    if (!a) return -1;
    if (!b) return 1;
    if (a == b) return 0;
    auto& keys = reinterpret_cast<SortContext*>(context)->keys;
    auto ka = keys.find(a), kb = keys.find(b);
    if (ka == keys.end() || kb == keys.end()) return 0;
    return CompareKeys(ka->second, kb->second);
}

// Reads the keys of every node below parent, each friend once; the groups in the order
// they must be sorted (children before their parents).
void CollectKeys(TreeOps& tree, ContactBook& book, HTREEITEM parent, SortContext& context,
                 std::vector<HTREEITEM>& groups) {
    for (HTREEITEM item = tree.FirstChild(parent); item; item = tree.Next(item)) {
        ContactNode* node = tree.Node(item);
        if (!node) continue;
        SortKey key;
        key.group = IsGroup(node->kind);
        key.text = tree.Text(item);
        if (key.group) {
            CollectKeys(tree, book, item, context, groups);
        } else {
            FriendInfoA info = {};
            book.FriendA(node->Friend(), &info);
            key.online = IsOnline(info.status);
            key.id = vantor::FieldText(info.id);
        }
        context.keys.emplace(node, std::move(key));
    }
    groups.push_back(parent);
}

}  // namespace

void ContactModel::SortChildren(HTREEITEM parent, ContactBook& book) {
    if (!parent) return;
    SortContext context;
    std::vector<HTREEITEM> groups;
    CollectKeys(friends_, book, parent, context, groups);
    for (HTREEITEM group : groups) {
        friends_.SortChildren(group, CompareNodes, reinterpret_cast<LPARAM>(&context));
    }
}

void ContactModel::SortLoaded(ContactBook& book) {
    bool changed = changedDuringLoad_;
    loading_ = changedDuringLoad_ = false;
    loaded_.clear();
    if (!changed) return;
    // What the load read may be out of date, and the places it gave may be too.
    if (telephoneRoot_) SortChildren(telephoneRoot_, book);
    if (networkRoot_) SortChildren(networkRoot_, book);
}

// --- changes

void ContactModel::SetStatusImage(ContactBook& book, HTREEITEM item, FriendHandle entry) {
    FriendInfoA info = {};
    book.FriendA(entry, &info);
    int image = IsOnline(info.status) ? IMAGE_ONLINE : IMAGE_OFFLINE;
    friends_.SetImages(item, image, image);
}

void ContactModel::AddFriend(ContactBook& book, FriendHandle entry, GroupHandle group) {
    Changed();
    ContactNode* groupNode = FriendNodeOf(group);
    if (!group || !groupNode || !IsGroup(groupNode->kind)) {
        sink_.Line(L"不存在该组，所以不能添加该好友到好友树中\n");
        return;
    }
    FriendInfoA info = {};
    book.FriendA(entry, &info);
    if (InsertFriendNode(groupNode->item, FriendKindOf(groupNode->kind), entry, info)) {
        SortChildren(groupNode->item, book);
    }
}

void ContactModel::DelFriend(FriendHandle entry) {
    Changed();
    HTREEITEM item = FindNode(entry);
    if (!item) {
        sink_.Line(L"不存在该好友，不需要删除处理\n");
        return;
    }
    friends_.Delete(item);
}

void ContactModel::ModifyFriend(ContactBook& book, FriendHandle entry) {
    Changed();
    ContactNode* node = FriendNodeOf(entry);
    if (!entry || !node) {
        sink_.Line(L"不存在该好友，所以不需要做修改处理\n");
        return;
    }
    DropIcons(node);
    FriendInfoA info = {};
    book.FriendA(entry, &info);
    // The insertion's rule: a friend without a nickname keeps showing its name.
    std::string text = FriendText(info);
    if (friends_.Text(node->item) != text) friends_.SetText(node->item, text);
    if (node->kind == Kind::NetworkFriend) {
        int image = IsOnline(info.status) ? IMAGE_ONLINE : IMAGE_OFFLINE;
        friends_.SetImages(node->item, image, image);
    }
    SortChildren(friends_.Parent(node->item), book);
}

void ContactModel::AddGroup(ContactBook& book, GroupHandle group, GroupHandle parent) {
    Changed();
    ContactNode* parentNode = FriendNodeOf(parent);
    if (!parent || !parentNode || !IsGroup(parentNode->kind)) {
        sink_.Line(L"不存在该父组，所以不能加入一个新组\n");
        return;
    }
    // Shown already (by the load, which read it after the change): one node per group.
    if (FriendNodeOf(group)) return;
    GroupInfoA info = {};
    book.GroupA(group, &info);
    if (InsertGroupNode(parentNode->item, parentNode->kind, group, info)) SortChildren(parentNode->item, book);
}

void ContactModel::DelGroup(GroupHandle group) {
    Changed();
    HTREEITEM item = FindNode(group);
    if (!item) {
        // Not read yet: its batch, and its sub-groups', are stale.
        if (group && !loadOver_) goneGroups_.insert(group);
        sink_.Line(L"不存在该组，所以不需要被删除\n");
        return;
    }
    friends_.Delete(item);
}

void ContactModel::ModifyGroup(ContactBook& book, GroupHandle group) {
    Changed();
    ContactNode* node = FriendNodeOf(group);
    if (!group || !node) {
        sink_.Line(L"不存在该组，所以不需要做修改处理\n");
        return;
    }
    DropIcons(node);
    GroupInfoA info = {};
    book.GroupA(group, &info);
    std::string name = vantor::FieldText(info.name);
    if (friends_.Text(node->item) != name) friends_.SetText(node->item, name);
}

void ContactModel::UpdateStatus(ContactBook& book, FriendHandle entry) {
    Changed();
    ContactNode* node = FriendNodeOf(entry);
    if (!entry || !node) {
        sink_.Line(L"不存在该好友，所以不需要做修改处理\n");
        return;
    }
    SetStatusImage(book, node->item, entry);
    DropIcons(node);
    SortChildren(friends_.Parent(node->item), book);
}

void ContactModel::RefreshStatuses(ContactBook& book) {
    Changed();
    if (!networkRoot_) return;
    std::vector<HTREEITEM> pending = {networkRoot_};
    while (!pending.empty()) {
        HTREEITEM parent = pending.back();
        pending.pop_back();
        for (HTREEITEM item = friends_.FirstChild(parent); item; item = friends_.Next(item)) {
            ContactNode* node = friends_.Node(item);
            if (!node) continue;
            if (node->kind == Kind::NetworkGroup) {
                pending.push_back(item);
            } else {
                SetStatusImage(book, item, node->Friend());
            }
        }
    }
    SortChildren(networkRoot_, book);
}

void ContactModel::PoliciesChanged(FriendHandle entry) {
    ContactNode* node = FriendNodeOf(entry);
    if (!entry || !node) {
        sink_.Line(L"不存在该好友，所以不需要做修改处理\n");
        return;
    }
    DropIcons(node);
    friends_.RepaintRow(node->item);
}

void ContactModel::ChangeGroup(ContactBook& book, FriendHandle entry, GroupHandle, GroupHandle newGroup) {
    Changed();
    ContactNode* node = FriendNodeOf(entry);
    ContactNode* groupNode = FriendNodeOf(newGroup);
    // During the load a friend moved out of a group not read yet into one shown already
    // is in neither batch: it is shown now.
    bool unread = !node && !loadOver_;
    if (!entry || !newGroup || (!node && !unread) || !groupNode || !IsGroup(groupNode->kind) ||
        (node && IsGroup(node->kind))) {
        sink_.Line(L"不存在原来的好友节点或者改变之后的父节点\n");
        return;
    }
    Kind kind = node ? node->kind : FriendKindOf(groupNode->kind);
    HTREEITEM target = groupNode->item;
    if (node) friends_.Delete(node->item);  // frees the old node
    FriendInfoA info = {};
    book.FriendA(entry, &info);
    if (InsertFriendNode(target, kind, entry, info)) SortChildren(target, book);
}

void ContactModel::PreventUser(ContactBook& book, FriendHandle entry, GroupHandle) {
    Changed();
    HTREEITEM item = FindNode(entry);
    if (!entry || !item) {
        sink_.Line(L"不存在该好友，不需要删除处理\n");
        return;
    }
    friends_.Delete(item);
    FriendInfoA info = {};
    book.FriendA(entry, &info);
    InsertBlackNode(entry, info);
}

void ContactModel::DelBlackUser(FriendHandle entry) {
    HTREEITEM item = FindBlackNode(entry);
    if (!item) {
        sink_.Line(L"不存在该黑名单用户，不用删除\n");
        return;
    }
    black_.Delete(item);
}

// --- notices

void ContactModel::NodeDeleted(ContactNode* node) {
    if (!node) return;
    if (hooks_) hooks_->NodeGone(node);
    // The load's places may name this item.
    Changed();
    if (!loadOver_ && IsGroup(node->kind)) goneGroups_.insert(node->handle);
    auto& nodes = node->kind == Kind::BlackUser ? blackNodes_ : friendNodes_;
    auto found = nodes.find(node->handle);
    if (found != nodes.end() && found->second == node) nodes.erase(found);
    if (node->item && node->item == telephoneRoot_) telephoneRoot_ = nullptr;
    if (node->item && node->item == networkRoot_) networkRoot_ = nullptr;
    delete node;
}

void ContactModel::ItemExpanded(HTREEITEM item, bool expanded) {
    ContactNode* node = friends_.Node(item);
    if (!node || !IsGroup(node->kind)) return;
    if (expanded) {
        friends_.SetImages(item, IMAGE_GROUP_OPEN, IMAGE_GROUP_OPEN_SELECTED);
    } else {
        friends_.SetImages(item, IMAGE_GROUP_CLOSED, IMAGE_GROUP_CLOSED_SELECTED);
    }
}

void ContactModel::DropIcons(ContactNode* node) {
    if (!node || !node->icons) return;
    node->DropIcons();
    if (hooks_) hooks_->IconsDropped(node);
}

void ContactModel::DropAllIcons() {
    for (auto& entry : friendNodes_) DropIcons(entry.second);
}

// --- the load

namespace {

struct LoadContext {
    ContactBook& book;
    LoadDelivery& delivery;
    const std::atomic<bool>& stop;
    LoadReads& reads;
    // The groups handed over so far, with their kinds.
    std::unordered_map<GroupHandle, Kind> groups;
    std::vector<LoadedFriend>* collecting = nullptr;
    size_t lastCount = 0;  // friends of the previous group: room made ahead for as many
};

BOOL CALLBACK LoadFriendProc(FriendHandle entry, GroupHandle, UINT_PTR user) {
    auto* context = reinterpret_cast<LoadContext*>(user);
    if (context->stop) return FALSE;
    context->collecting->push_back(LoadedFriend{entry, {}});
    context->book.FriendA(entry, &context->collecting->back().info);
    return TRUE;
}

BOOL CALLBACK LoadGroupProc(GroupHandle group, GroupHandle parent, UINT_PTR user) {
    auto* context = reinterpret_cast<LoadContext*>(user);
    if (context->stop) return FALSE;
    context->reads.begun++;
    auto batch = std::make_unique<GroupBatch>();
    batch->group = group;
    context->book.GroupA(group, &batch->info);
    auto shown = parent ? context->groups.find(parent) : context->groups.end();
    if (shown != context->groups.end()) {
        batch->parent = parent;
        batch->kind = shown->second;
    } else {
        // A root, or a sub-group whose parent is not shown: a top-level node.
        batch->kind = vantor::FieldText(batch->info.id) == "10" ? Kind::TelephoneGroup : Kind::NetworkGroup;
    }
    batch->friends.reserve(context->lastCount);
    context->collecting = &batch->friends;
    context->book.EnumGroupFriends(group, LoadFriendProc, user);
    context->collecting = nullptr;
    context->lastCount = batch->friends.size();
    if (context->stop) return FALSE;
    // Here rather than on the window's thread, which has the inserting to do.
    OrderFriends(batch->friends);
    Kind kind = batch->kind;
    // The window's thread inserts this group while the walk reads the next one.
    if (!context->delivery.DeliverGroup(std::move(batch))) return FALSE;
    context->groups[group] = kind;
    return !context->stop;
}

struct BlackContext {
    ContactBook& book;
    const std::atomic<bool>& stop;
    std::unique_ptr<std::vector<LoadedFriend>> users = std::make_unique<std::vector<LoadedFriend>>();
};

BOOL CALLBACK LoadBlackUserProc(FriendHandle entry, GroupHandle, UINT_PTR user) {
    auto* context = reinterpret_cast<BlackContext*>(user);
    if (context->stop) return FALSE;
    LoadedFriend loaded = {entry, {}};
    context->book.FriendA(entry, &loaded.info);
    context->users->push_back(loaded);
    return TRUE;
}

}  // namespace

LoadResult LoadContacts(ContactBook& book, bool bookReachable, LoadDelivery& delivery,
                        const std::atomic<bool>& stop, DebugSink& sink, LoadReads& reads) {
    if (!bookReachable) return LOAD_NO_BOOK;
    if (!book.CanWalk()) {
        delivery.Finished();
        return LOAD_NO_WALK;
    }
    LoadContext context{book, delivery, stop, reads, {}, nullptr};
    DWORD start = GetTickCount();
    // Told before the walk lists the groups: a change seen after this may have missed
    // the listing.
    reads.listed = true;
    book.EnumGroup(3, LoadGroupProc, reinterpret_cast<UINT_PTR>(&context));
    wchar_t line[1024];
    _snwprintf(line, 1023, L"枚举组和好友一共耗时：%d毫秒\n", static_cast<int>(GetTickCount() - start));
    line[1023] = L'\0';
    sink.Line(line);
    if (!stop) {
        BlackContext black{book, stop};
        reads.begun++;
        book.EnumBlackList(LoadBlackUserProc, reinterpret_cast<UINT_PTR>(&black));
        // Delivered even when empty: changes held for this read are made then.
        if (!stop) delivery.DeliverBlackList(std::move(black.users));
    }
    delivery.Finished();
    return LOAD_DONE;
}

}  // namespace rostview
