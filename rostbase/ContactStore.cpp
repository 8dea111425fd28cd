#include "ContactStore.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "AddressCallback.h"
#include "DebugOut.h"
#include "Handles.h"
#include "ModulePath.h"

namespace rostbase {

// Counts a walk or a firing in progress: while any runs, nothing taken out for good is
// freed. Made with the store's lock held; ends by taking it again.
class ContactStore::Busy {
public:
    explicit Busy(ContactStore& store) : store_(store) { ++store_.busy_; }
    ~Busy() {
        vantor::Lock lock(store_.lock_);
        if (--store_.busy_ == 0) store_.FreePending();
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    ContactStore& store_;
};

namespace {

template <typename T>
bool Take(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

bool HoldsFriend(const ContactGroup& g, const FriendEntry* e) {
    for (const FriendEntry* f : g.friends) {
        if (f == e || f->id == e->id) return true;
    }
    return false;
}

void Purge(ContactGroup& g, const FriendEntry* e) {
    g.friends.erase(std::remove(g.friends.begin(), g.friends.end(), e), g.friends.end());
    for (ContactGroup* sub : g.subGroups) Purge(*sub, e);
}

GroupKey KeyOf(const ContactGroup& g) { return GroupKey{g.id, g.name}; }

void CollectGroups(ContactGroup* g, ContactGroup* parent, std::vector<std::pair<ContactGroup*, ContactGroup*>>& out) {
    out.emplace_back(g, parent);
    for (ContactGroup* sub : g->subGroups) CollectGroups(sub, g, out);
}

void CollectFriends(ContactGroup* g, DWORD mask, const wchar_t* key,
                    std::vector<std::pair<FriendEntry*, ContactGroup*>>& out) {
    for (FriendEntry* f : g->friends) {
        if (PassesFilter(*f, mask, key)) out.emplace_back(f, g);
    }
    for (ContactGroup* sub : g->subGroups) CollectFriends(sub, mask, key, out);
}

FriendEntry* FindFriend(ContactGroup* g, const std::wstring& id, ContactGroup** holder) {
    for (FriendEntry* f : g->friends) {
        if (f->id == id) {
            *holder = g;
            return f;
        }
    }
    for (ContactGroup* sub : g->subGroups) {
        if (FriendEntry* f = FindFriend(sub, id, holder)) return f;
    }
    return nullptr;
}

void Count(const ContactGroup& g, DWORD* total, DWORD* online) {
    for (const FriendEntry* f : g.friends) {
        if (total) ++*total;
        if (online && f->Online()) ++*online;
    }
    for (const ContactGroup* sub : g.subGroups) Count(*sub, total, online);
}

// The modify calls change only the record whose id they name; the A forms compare the
// stored id converted to 8 bits with the record's id bytes.
bool SameId(const std::wstring& held, const std::wstring& given, const std::string* ansiId) {
    return ansiId ? Narrow(held) == *ansiId : held == given;
}

void CountTree(const ContactGroup& g, size_t* friends, size_t* groups) {
    *friends += g.friends.size();
    ++*groups;
    for (const ContactGroup* sub : g.subGroups) CountTree(*sub, friends, groups);
}

void ResetStatus(ContactGroup& g) {
    for (FriendEntry* f : g.friends) f->status = 0;
    for (ContactGroup* sub : g.subGroups) ResetStatus(*sub);
}

}  // namespace

ContactStore::ContactStore() : current_(new FriendEntry) {
    offRoot_.id = L"10";
    onRoot_.id = L"11";
    for (ContactGroup* g : {&offRoot_, &onRoot_, &strangers_, &blackList_}) liveGroups_.insert(g);
    liveFriends_.insert(current_);
}

ContactStore::~ContactStore() {
    ClearGroup(blackList_);
    ClearGroup(strangers_);
    ClearGroup(offRoot_);
    ClearGroup(onRoot_);
    // What is left: entries that left the store but stayed valid, and retired objects.
    for (const void* p : liveFriends_) {
        if (p != current_) delete static_cast<const FriendEntry*>(p);
    }
    for (const void* p : liveGroups_) {
        if (p != &offRoot_ && p != &onRoot_ && p != &strangers_ && p != &blackList_) {
            delete static_cast<const ContactGroup*>(p);
        }
    }
    delete current_;
}

void ContactStore::ClearGroup(ContactGroup& group) {
    for (FriendEntry* f : group.friends) {
        if (f != current_ && liveFriends_.erase(f)) delete f;
    }
    group.friends.clear();
    for (ContactGroup* sub : group.subGroups) {
        ClearGroup(*sub);
        if (liveGroups_.erase(sub)) delete sub;
    }
    group.subGroups.clear();
}

void ContactStore::Adopt(ContactGroup* group) {
    for (FriendEntry* f : group->friends) liveFriends_.insert(f);
    for (ContactGroup* sub : group->subGroups) {
        liveGroups_.insert(sub);
        Adopt(sub);
    }
}

void ContactStore::Disown(ContactGroup* group) {
    for (FriendEntry* f : group->friends) liveFriends_.erase(f);
    for (ContactGroup* sub : group->subGroups) {
        liveGroups_.erase(sub);
        Disown(sub);
    }
}

void ContactStore::DefaultRoots() {
    GroupInfoW off = {}, on = {};
    lstrcpynW(off.id, L"10", 24);
    lstrcpynW(off.name, L"电话好友", 24);
    lstrcpynW(on.id, L"11", 24);
    lstrcpynW(on.name, L"网上好友", 24);
    FromRecord(off, &offRoot_);
    FromRecord(on, &onRoot_);
}

void ContactStore::Load(const std::wstring& account) {
    LoadedContacts loaded;
    loaded.offRoot.id = offRoot_.id;
    loaded.onRoot.id = onRoot_.id;
    {
        vantor::ScopedCom com;
        XmlLoadContacts(account, &loaded);
    }
    std::wstring accountCopy = account;
    vantor::Lock lock(lock_);
    ContactGroup* lists[] = {&loaded.offRoot, &loaded.onRoot, &loaded.strangers, &loaded.blackList};
    if (loaded.usable) {
        // Everything read is made known before the old contents go; what was read stays
        // with `loaded` (and is freed with it) until nothing more can fail.
        try {
            for (ContactGroup* g : lists) Adopt(g);
        } catch (...) {
            for (ContactGroup* g : lists) Disown(g);
            throw;
        }
    }
    ClearGroup(blackList_);
    ClearGroup(strangers_);
    ClearGroup(offRoot_);
    ClearGroup(onRoot_);
    account_.swap(accountCopy);
    if (!loaded.usable) {
        DefaultRoots();
        return;
    }
    auto take = [](ContactGroup& into, ContactGroup& from, bool named) {
        if (named) {
            into.id.swap(from.id);
            into.name.swap(from.name);
        }
        into.friends.swap(from.friends);
        into.subGroups.swap(from.subGroups);
    };
    take(offRoot_, loaded.offRoot, true);
    take(onRoot_, loaded.onRoot, true);
    take(strangers_, loaded.strangers, false);
    take(blackList_, loaded.blackList, false);
}

FriendEntry* ContactStore::LiveFriend(FriendHandle h, bool forChange) {
    auto* e = reinterpret_cast<FriendEntry*>(h);
    if (!e || !liveFriends_.count(e)) return nullptr;
    if (forChange && e->gone) return nullptr;
    return e;
}

ContactGroup* ContactStore::LiveGroup(GroupHandle h, bool forChange) {
    auto* g = reinterpret_cast<ContactGroup*>(h);
    if (!g || !liveGroups_.count(g)) return nullptr;
    if (forChange && g->gone) return nullptr;
    return g;
}

FriendEntry* ContactStore::EntryOrCurrent(FriendHandle h) { return h ? LiveFriend(h, false) : current_; }

void ContactStore::RetireFriend(FriendEntry* e) {
    if (e == current_ || e->gone) return;
    e->gone = true;
    ++retirements_;
    // An entry placed in more than one list must leave all of them before it is freed.
    for (ContactGroup* g : {&offRoot_, &onRoot_, &strangers_, &blackList_}) Purge(*g, e);
    pendingFriends_.push_back(e);
}

void ContactStore::RetireGroup(ContactGroup* g) {
    if (g->gone) return;
    g->gone = true;
    ++retirements_;
    // The group is out of the tree already, so retiring its friends (which purges them
    // from the lists still in the tree) leaves its own list alone.
    for (FriendEntry* f : g->friends) RetireFriend(f);
    for (ContactGroup* sub : g->subGroups) RetireGroup(sub);
    pendingGroups_.push_back(g);
}

void ContactStore::FreePending() {
    for (FriendEntry* e : pendingFriends_) {
        if (liveFriends_.erase(e)) delete e;
    }
    pendingFriends_.clear();
    for (ContactGroup* g : pendingGroups_) {
        if (liveGroups_.erase(g)) delete g;
    }
    pendingGroups_.clear();
}

FriendSnapshot ContactStore::Snapshot(const FriendEntry& e, bool withPolicies) const {
    FriendSnapshot s;
    s.data = e;
    if (withPolicies) s.policies = e.policies;
    return s;
}

template <typename Fn, typename... Args>
void ContactStore::Fire(const std::vector<EventModule>& modules, const char* name, Args... args) {
    for (const EventModule& m : modules) {
        {
            // A module that left since the change hears nothing more. (Only checked here:
            // the loader's lock is never taken with the store's.)
            vantor::Lock lock(lock_);
            auto same = [&](const EventModule& r) { return r.module == m.module; };
            if (std::none_of(modules_.begin(), modules_.end(), same)) continue;
        }
        // Kept loaded while its export runs: another thread may unregister and free it.
        vantor::UniqueModule hold = vantor::HoldModule(m.module);
        if (!hold) continue;
        // Looked up at every firing: a module may come and go between changes.
        auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m.module, name)));
        if (fn) fn(args..., m.userValue);
    }
}

// ---------------------------------------------------------------- current account

template <typename Rec>
BOOL ContactStore::SetCurrentAccount(const Rec& info) {
    FriendData data;
    FromRecord(info, &data);
    vantor::Lock lock(lock_);
    static_cast<FriendData&>(*current_) = std::move(data);
    return TRUE;
}

// ---------------------------------------------------------------- queries

template <typename Find, typename Rec>
BOOL ContactStore::CopyOut(Find find, Rec* out) {
    vantor::Lock lock(lock_);
    const auto* item = find();
    if (!item || !out) return FALSE;
    ToRecord(*item, out);
    return TRUE;
}

template <typename Rec>
BOOL ContactStore::GetFriendInfo(FriendHandle entry, Rec* out) {
    return CopyOut([&] { return LiveFriend(entry, false); }, out);
}

template <typename Rec>
BOOL ContactStore::GetGroupInfo(GroupHandle group, Rec* out) {
    return CopyOut([&] { return LiveGroup(group, false); }, out);
}

using GroupItem = std::pair<ContactGroup*, ContactGroup*>;
using FriendItem = std::pair<FriendEntry*, ContactGroup*>;

namespace {
// Whether a listed item was taken out for good since (with the lock held). A friend
// retired with its group is retired itself.
bool Retired(const GroupItem& item) { return item.first->gone; }
bool Retired(const FriendItem& item) { return item.first->gone; }
bool Retired(const FriendEntry* item) { return item->gone; }
}  // namespace

// Every walk: the items listed under the lock (false from collect: no walk), then the
// procedure called for each with no lock held; a procedure's false stops the walk and
// answers 0. An item taken out for good after the listing is passed over: the walk hands
// out only what the book still holds. Without a procedure the answer is whether there was
// nothing to walk.
template <typename Item, typename Collect, typename Call>
BOOL ContactStore::Walk(Collect collect, bool haveProc, Call call) {
    std::vector<Item> items;
    std::optional<Busy> busy;
    unsigned listed = 0;
    {
        vantor::Lock lock(lock_);
        if (!collect(items)) return FALSE;
        busy.emplace(*this);
        listed = retirements_;
    }
    if (!haveProc) return items.empty();
    for (const Item& item : items) {
        // The lock is taken only once something was retired since the listing.
        if (retirements_ != listed) {
            vantor::Lock lock(lock_);
            if (Retired(item)) continue;
        }
        if (!call(item)) return FALSE;
    }
    return TRUE;
}

BOOL ContactStore::EnumGroup(DWORD rootMask, GroupEnumProc proc, UINT_PTR user) {
    return Walk<GroupItem>(
        [&](std::vector<GroupItem>& groups) {
            if (rootMask & 1) CollectGroups(&offRoot_, nullptr, groups);
            if (rootMask & 2) CollectGroups(&onRoot_, nullptr, groups);
            return true;
        },
        proc != nullptr,
        [&](const GroupItem& item) {
            return proc(Handle(item.first), item.second ? Handle(item.second) : nullptr, user) != FALSE;
        });
}

BOOL ContactStore::EnumFriends(FriendEnumProc proc, DWORD mask, const wchar_t* key, UINT_PTR user) {
    return Walk<FriendItem>(
        [&](std::vector<FriendItem>& friends) {
            CollectFriends(&offRoot_, mask, key, friends);
            CollectFriends(&onRoot_, mask, key, friends);
            return true;
        },
        proc != nullptr, [&](const FriendItem& item) { return proc(Handle(item.first), Handle(item.second), user) != FALSE; });
}

BOOL ContactStore::EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) {
    return Walk<FriendEntry*>(
        [&](std::vector<FriendEntry*>& friends) {
            // A group taken out for good has no friends to walk.
            ContactGroup* g = LiveGroup(group);
            if (!g) return false;
            friends = g->friends;
            return true;
        },
        proc != nullptr, [&](FriendEntry* f) { return proc(Handle(f), group, user) != FALSE; });
}

BOOL ContactStore::EnumBlackList(FriendEnumProc proc, UINT_PTR user) {
    return EnumGroupFriends(Handle(&blackList_), proc, user);
}

BOOL ContactStore::IsUserInBlackList(const wchar_t* id) {
    if (!id) return FALSE;
    vantor::Lock lock(lock_);
    for (const FriendEntry* f : blackList_.friends) {
        if (f->id == id) return TRUE;
    }
    return FALSE;
}

BOOL ContactStore::IsCodeInBlackListUser(DWORD mask, const wchar_t* key) {
    vantor::Lock lock(lock_);
    for (const FriendEntry* f : blackList_.friends) {
        if (PassesFilter(*f, mask, key)) return TRUE;
    }
    return FALSE;
}

FriendHandle ContactStore::IsUserInFriends(const wchar_t* id, GroupHandle* group) {
    if (!id) return nullptr;
    vantor::Lock lock(lock_);
    ContactGroup* holder = nullptr;
    FriendEntry* e = FindFriend(&offRoot_, id, &holder);
    if (!e) e = FindFriend(&onRoot_, id, &holder);
    if (!e) return nullptr;
    if (group) *group = Handle(holder);
    return Handle(e);
}

BOOL ContactStore::StatFriends(GroupHandle group, DWORD* total, DWORD* online) {
    vantor::Lock lock(lock_);
    ContactGroup* g = group ? LiveGroup(group, false) : &onRoot_;
    if (!g) return FALSE;
    Count(*g, total, online);
    return TRUE;
}

DWORD ContactStore::GetOnlineCount(DWORD* second) {
    vantor::Lock lock(lock_);
    if (second) *second = onlineSecond_;
    return onlineFirst_;
}

BOOL ContactStore::IsGroupNameExists(GroupHandle parent, const std::wstring& name) {
    vantor::Lock lock(lock_);
    ContactGroup* p = LiveGroup(parent, false);
    if (!p) return FALSE;
    for (const ContactGroup* sub : p->subGroups) {
        if (sub->name == name) return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- changes
//
// Every change goes through Change(): memory looked at under the lock, then the file (file
// lock only, on copies), then, once the file has taken the change, the memory change under
// the lock, then the callbacks with no lock held, then what the change removed for good is
// freed. The check makes every copy and allocation the change needs, so the memory change
// itself cannot fail: running out of memory, like a file that did not take the change,
// leaves the store as it was.

template <typename Check, typename File, typename Apply, typename Notify>
BOOL ContactStore::Change(Check check, File file, Apply apply, Notify notify) {
    std::vector<EventModule> modules;
    std::optional<Busy> busy;
    {
        vantor::Lock files(fileLock_);
        {
            vantor::Lock lock(lock_);
            modules = modules_;
            if (!check()) return FALSE;
        }
        bool saved = false;
        {
            vantor::ScopedCom com;
            try {
                saved = file();
            } catch (...) {
                vantor::DebugLine(L"rostledger.xml: an update failed with an exception\n");
            }
        }
        // Answered as not done, and not made: the caller can make it again.
        if (!saved) return FALSE;
        vantor::Lock lock(lock_);
        apply();
        busy.emplace(*this);
    }
    notify(modules);
    return TRUE;
}

void ContactStore::ReserveRetired(const ContactGroup* g) {
    size_t friends = 0, groups = 0;
    CountTree(*g, &friends, &groups);
    pendingFriends_.reserve(pendingFriends_.size() + friends);
    pendingGroups_.reserve(pendingGroups_.size() + groups);
}

FriendHandle ContactStore::AddFriend(const FriendData& data, GroupHandle group) {
    std::unique_ptr<FriendEntry> fresh;
    ContactGroup* g = nullptr;
    FriendSnapshot snap;
    GroupKey key;
    BOOL done = Change(
        [&] {
            g = LiveGroup(group);
            if (!g) return false;
            for (const FriendEntry* f : g->friends) {
                if (f->id == data.id) return false;
            }
            fresh = std::make_unique<FriendEntry>();
            static_cast<FriendData&>(*fresh) = data;
            snap = Snapshot(*fresh);
            key = KeyOf(*g);
            g->friends.reserve(g->friends.size() + 1);
            // Known, and in no list until the file has it: nobody has its handle yet.
            liveFriends_.insert(fresh.get());
            return true;
        },
        [&] { return XmlAddFriend(account_, snap, key); },
        [&] { g->friends.push_back(fresh.get()); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnAddFriendProc>(m, "AddressCallback_OnAddFriend", Handle(fresh.get()), Handle(g));
        });
    if (done) return Handle(fresh.release());
    if (fresh) {
        vantor::Lock lock(lock_);
        liveFriends_.erase(fresh.get());
    }
    return nullptr;
}

BOOL ContactStore::DelFriend(FriendHandle entry, GroupHandle group) {
    FriendEntry* e = nullptr;
    ContactGroup* g = nullptr;
    FriendSnapshot snap;
    GroupKey key;
    return Change(
        [&] {
            e = LiveFriend(entry);
            g = LiveGroup(group);
            if (!e || !g || std::find(g->friends.begin(), g->friends.end(), e) == g->friends.end()) return false;
            snap = Snapshot(*e);
            key = KeyOf(*g);
            pendingFriends_.reserve(pendingFriends_.size() + 1);
            return true;
        },
        [&] { return XmlDelFriend(account_, snap, key); },
        [&] {
            Take(g->friends, e);
            RetireFriend(e);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnDelFriendProc>(m, "AddressCallback_OnDelFriend", entry, group);
        });
}

bool ContactStore::CanMove(FriendEntry* e, ContactGroup* from, ContactGroup* to) {
    auto at = std::find(from->friends.begin(), from->friends.end(), e);
    if (at == from->friends.end()) return false;
    bool held = false;
    for (const FriendEntry* f : to->friends) {
        if (to == from && f == e) continue;  // the entry leaves its place first
        if (f == e || f->id == e->id) held = true;
    }
    if (held) {
        // Refused: the entry goes back, at the end of its old group (its old place frees
        // the room).
        from->friends.erase(at);
        from->friends.push_back(e);
        return false;
    }
    // Room first: once the entry is out of `from`, nothing may fail.
    to->friends.reserve(to->friends.size() + 1);
    return true;
}

void ContactStore::Move(FriendEntry* e, ContactGroup* from, ContactGroup* to) {
    Take(from->friends, e);
    to->friends.push_back(e);
}

BOOL ContactStore::ChangeFriendGroup(FriendHandle entry, GroupHandle oldGroup, GroupHandle newGroup) {
    FriendEntry* e = nullptr;
    ContactGroup *from = nullptr, *to = nullptr;
    FriendSnapshot snap;
    GroupKey oldKey, newKey;
    return Change(
        [&] {
            e = LiveFriend(entry);
            from = LiveGroup(oldGroup);
            to = LiveGroup(newGroup);
            if (!e || !from || !to) return false;
            snap = Snapshot(*e);
            oldKey = KeyOf(*from);
            newKey = KeyOf(*to);
            return CanMove(e, from, to);
        },
        [&] { return XmlChangeFriendGroup(account_, snap, oldKey, newKey); },
        [&] { Move(e, from, to); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnChangeFriendGroupProc>(m, "AddressCallback_OnChangeFriendGroup", entry, oldGroup,
                                                          newGroup);
        });
}

BOOL ContactStore::PreventUser(FriendHandle entry, GroupHandle group) {
    FriendEntry* e = nullptr;
    ContactGroup* g = nullptr;
    FriendSnapshot snap;
    GroupKey key;
    return Change(
        [&] {
            e = LiveFriend(entry);
            g = LiveGroup(group);
            if (!e || !g) return false;
            snap = Snapshot(*e);
            key = KeyOf(*g);
            return CanMove(e, g, &blackList_);
        },
        [&] { return XmlPreventUser(account_, snap, key); },
        [&] { Move(e, g, &blackList_); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnPreventUserProc>(m, "AddressCallback_OnPreventUser", entry, group);
        });
}

BOOL ContactStore::DelUserFromBlackList(FriendHandle entry) {
    FriendEntry* e = nullptr;
    FriendSnapshot snap;
    return Change(
        [&] {
            e = LiveFriend(entry);
            if (!e || std::find(blackList_.friends.begin(), blackList_.friends.end(), e) == blackList_.friends.end())
                return false;
            snap = Snapshot(*e);
            return true;
        },
        [&] { return XmlDelBlackUser(account_, snap); },
        // The entry leaves the store but stays valid (a later AddStranger may place it
        // again); whatever is left of it is freed with the store.
        [&] { Take(blackList_.friends, e); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnDelBlackUserProc>(m, "AddressCallback_OnDelBlackUser", entry);
        });
}

BOOL ContactStore::DelBlackUser(const wchar_t* id) {
    if (!id) return FALSE;
    FriendEntry* e = nullptr;
    FriendSnapshot snap;
    return Change(
        [&] {
            for (FriendEntry* f : blackList_.friends) {
                if (f->id == id) {
                    e = f;
                    break;
                }
            }
            if (!e) return false;
            snap = Snapshot(*e);
            pendingFriends_.reserve(pendingFriends_.size() + 1);
            return true;
        },
        [&] { return XmlDelBlackUser(account_, snap); },
        [&] {
            Take(blackList_.friends, e);
            RetireFriend(e);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnDelBlackUserProc>(m, "AddressCallback_OnDelBlackUser", Handle(e));
        });
}

BOOL ContactStore::AddGroup(const ContactGroup& info, GroupHandle parent) {
    std::unique_ptr<ContactGroup> fresh;
    ContactGroup* p = nullptr;
    GroupKey key, parentKey;
    BOOL done = Change(
        [&] {
            p = LiveGroup(parent);
            if (!p) return false;
            for (const ContactGroup* sub : p->subGroups) {
                if (sub->id == info.id) return false;
            }
            fresh = std::make_unique<ContactGroup>();
            fresh->id = info.id;
            fresh->name = info.name;
            key = KeyOf(*fresh);
            parentKey = KeyOf(*p);
            p->subGroups.reserve(p->subGroups.size() + 1);
            // Known, and in no list until the file has it: nobody has its handle yet.
            liveGroups_.insert(fresh.get());
            return true;
        },
        [&] { return XmlAddGroup(account_, key, parentKey); },
        [&] { p->subGroups.push_back(fresh.get()); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnAddGroupProc>(m, "AddressCallback_OnAddGroup", Handle(fresh.get()), parent);
        });
    if (done) {
        fresh.release();
    } else if (fresh) {
        vantor::Lock lock(lock_);
        liveGroups_.erase(fresh.get());
    }
    return done;
}

BOOL ContactStore::DelGroup(GroupHandle group, GroupHandle parent) {
    ContactGroup *g = nullptr, *p = nullptr;
    GroupKey key, parentKey;
    return Change(
        [&] {
            g = LiveGroup(group);
            p = LiveGroup(parent);
            if (!g || !p || std::find(p->subGroups.begin(), p->subGroups.end(), g) == p->subGroups.end()) return false;
            key = KeyOf(*g);
            parentKey = KeyOf(*p);
            ReserveRetired(g);
            return true;
        },
        [&] { return XmlDelGroup(account_, key, parentKey); },
        [&] {
            Take(p->subGroups, g);
            // The group's friends and sub-groups go with it.
            RetireGroup(g);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnDelGroupProc>(m, "AddressCallback_OnDelGroup", group, parent);
        });
}

BOOL ContactStore::AddStranger(FriendHandle entry, GroupHandle group) {
    FriendEntry* e = nullptr;
    ContactGroup* g = nullptr;
    return Change(
        [&] {
            e = LiveFriend(entry);
            g = group ? LiveGroup(group) : nullptr;
            if (!e || e == current_ || (group && !g)) return false;
            // Refused before anything moves, so a refused call leaves the entry where it was.
            if (HoldsFriend(strangers_, e)) return false;
            strangers_.friends.reserve(strangers_.friends.size() + 1);
            return true;
        },
        // Strangers live in memory only.
        [] { return true; },
        [&] {
            if (g) Take(g->friends, e);
            strangers_.friends.push_back(e);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnAddStrangerProc>(m, "AddressCallback_OnAddStranger", entry, group);
        });
}

BOOL ContactStore::ModifyFriend(FriendHandle entry, const FriendData& data, const std::string* ansiId) {
    FriendEntry* e = nullptr;
    FriendSnapshot snap;
    FriendData copy;
    return Change(
        [&] {
            e = LiveFriend(entry);
            if (!e || !SameId(e->id, data.id, ansiId)) return false;
            snap.data = data;
            copy = data;
            return true;
        },
        [&] { return XmlModifyFriend(account_, snap); },
        // Moved in whole: a copy that failed part way would have left half a record.
        [&] { static_cast<FriendData&>(*e) = std::move(copy); },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnModifyFriendProc>(m, "AddressCallback_OnModifyFriend", entry);
        });
}

BOOL ContactStore::ModifyGroup(GroupHandle group, const ContactGroup& info, const std::string* ansiId) {
    ContactGroup* g = nullptr;
    GroupKey key, copy;
    return Change(
        [&] {
            g = LiveGroup(group);
            if (!g || !SameId(g->id, info.id, ansiId)) return false;
            key = GroupKey{info.id, info.name};
            copy = key;
            return true;
        },
        [&] { return XmlModifyGroup(account_, key); },
        [&] {
            g->id = std::move(copy.id);
            g->name = std::move(copy.name);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnModifyGroupProc>(m, "AddressCallback_OnModifyGroup", group);
        });
}

BOOL ContactStore::RegisterEventModule(HMODULE module, UINT_PTR user) {
    if (!module) return FALSE;
    vantor::Lock lock(lock_);
    for (const EventModule& m : modules_) {
        if (m.module == module) return FALSE;
    }
    modules_.push_back(EventModule{module, user});
    return TRUE;
}

BOOL ContactStore::UnregisterEventModule(HMODULE module) {
    vantor::Lock lock(lock_);
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
        if (it->module == module) {
            modules_.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL ContactStore::UpdateFriendStatus(FriendHandle entry, const FriendStatus& status, DWORD notify) {
    std::vector<EventModule> modules;
    std::optional<Busy> busy;
    {
        vantor::Lock lock(lock_);
        FriendEntry* e = LiveFriend(entry);
        if (!e || e->status == status.status) return FALSE;
        if (notify) modules = modules_;
        e->SetStatus(status);
        if (!notify) return TRUE;
        busy.emplace(*this);
    }
    Fire<AddressCallback_OnUpdateFriendOnlineStatusProc>(modules, "AddressCallback_OnUpdateFriendOnlineStatus", entry);
    return TRUE;
}

BOOL ContactStore::UpdateSelfStatus(const FriendStatus* status) {
    std::vector<EventModule> modules;
    {
        vantor::Lock lock(lock_);
        if (current_->status == status->status) return FALSE;
        modules = modules_;
        current_->SetStatus(*status);
    }
    Fire<AddressCallback_OnRefreshSelfStatusProc>(modules, "AddressCallback_OnRefreshSelfStatus", status);
    return TRUE;
}

BOOL ContactStore::RefreshFriendStatus(DWORD flags) {
    std::vector<EventModule> modules;
    {
        vantor::Lock lock(lock_);
        if (flags & REFRESH_NOTIFY) modules = modules_;
        if (flags & REFRESH_RESET_NETWORK_FRIENDS) ResetStatus(onRoot_);
    }
    Fire<AddressCallback_OnRefreshFriendStatusProc>(modules, "AddressCallback_OnRefreshFriendStatus");
    return TRUE;
}

BOOL ContactStore::SetOnlineCount(DWORD first, DWORD second) {
    std::vector<EventModule> modules;
    {
        vantor::Lock lock(lock_);
        modules = modules_;
        onlineFirst_ = first;
        onlineSecond_ = second;
    }
    Fire<AddressCallback_OnRefreshOnlineUserProc>(modules, "AddressCallback_OnRefreshOnlineUser");
    return TRUE;
}

// ---------------------------------------------------------------- service policies

template <typename Rec>
BOOL ContactStore::AddServicePolicies(FriendHandle entry, const Rec* records, DWORD count, DWORD save) {
    if (!records || count == 0) return FALSE;
    std::vector<ServicePolicyEntry> incoming(count);
    for (DWORD i = 0; i < count; ++i) FromRecord(records[i], &incoming[i]);
    FriendEntry* e = nullptr;
    FriendSnapshot snap;
    return Change(
        [&] {
            e = LiveFriend(entry);
            if (!e) return false;
            // The rule on a copy: whether anything is added, and the list the file gets.
            std::vector<ServicePolicyEntry> merged = e->policies;
            bool added = false;
            for (const auto& policy : incoming) added |= AddPolicy(merged, ServicePolicyEntry(policy));
            if (!added) return false;
            if (save) {
                snap.data = *e;
                snap.policies = std::move(merged);
            }
            // Room for the memory change, made on the list as it stands then: a policy
            // updated in memory while the file was written keeps that update.
            e->policies.reserve(e->policies.size() + incoming.size());
            return true;
        },
        [&] { return !save || XmlWriteServicePolicies(account_, snap); },
        [&] {
            for (auto& policy : incoming) AddPolicy(e->policies, std::move(policy), true);
        },
        [&](const std::vector<EventModule>& m) {
            Fire<AddressCallback_OnUpdateFriendSerivcePolicysProc>(m, "AddressCallback_OnUpdateFriendSerivcePolicys",
                                                                   entry);
        });
}

template <typename Rec>
BOOL ContactStore::QueryPolicy(FriendHandle entry, DWORD id, Rec* out) {
    vantor::Lock lock(lock_);
    FriendEntry* e = LiveFriend(entry, false);
    if (!e) return FALSE;
    for (const auto& p : e->policies) {
        if (p.id != id) continue;
        if (out) ToRecord(p, out);
        return TRUE;
    }
    return FALSE;
}

namespace {

template <typename Item, typename Rec>
BOOL CountThenFill(const std::vector<Item>& items, Rec* records, DWORD* count) {
    if (!count) return FALSE;
    if (!records) {
        *count = static_cast<DWORD>(items.size());
        return TRUE;
    }
    DWORD n = 0;
    for (; n < *count && n < items.size(); ++n) ToRecord(items[n], &records[n]);
    *count = n;
    return TRUE;
}

}  // namespace

template <typename Item, typename Rec>
BOOL ContactStore::FillFromFriend(FriendHandle entry, std::vector<Item> FriendEntry::*list, Rec* records,
                                  DWORD* count) {
    vantor::Lock lock(lock_);
    FriendEntry* e = LiveFriend(entry, false);
    return e ? CountThenFill(e->*list, records, count) : FALSE;
}

template <typename Rec>
BOOL ContactStore::GetPolicies(FriendHandle entry, Rec* records, DWORD* count) {
    return FillFromFriend(entry, &FriendEntry::policies, records, count);
}

template <typename Rec>
BOOL ContactStore::UpdatePolicyData(DWORD id, const Rec& info) {
    ServicePolicyEntry incoming;
    FromRecord(info, &incoming);
    vantor::Lock lock(lock_);
    for (auto& p : current_->policies) {
        if (p.id != id) continue;
        if (p.Status() == incoming.Status()) return FALSE;
        p = std::move(incoming);
        return TRUE;
    }
    return FALSE;
}

template <typename Rec>
BOOL ContactStore::AppendBoard(FriendHandle entry, const Rec& info) {
    ServiceBoardEntry board;
    FromRecord(info, &board);
    vantor::Lock lock(lock_);
    FriendEntry* e = LiveFriend(entry, false);
    if (!e) return FALSE;
    e->boards.push_back(std::move(board));
    return TRUE;
}

template <typename Rec>
BOOL ContactStore::GetBoards(FriendHandle entry, Rec* records, DWORD* count) {
    return FillFromFriend(entry, &FriendEntry::boards, records, count);
}

template <typename Rec>
BOOL ContactStore::UpdateBoard(FriendHandle entry, const Rec& info) {
    ServiceBoardEntry incoming;
    FromRecord(info, &incoming);
    std::wstring id;
    BoardIdOf(incoming.locator, &id);
    vantor::Lock lock(lock_);
    FriendEntry* e = EntryOrCurrent(entry);
    if (!e) return FALSE;
    ServiceBoardEntry* board = FindBoard(e->boards, id);
    if (!board) return FALSE;
    board->caption = std::move(incoming.caption);
    board->summary = std::move(incoming.summary);
    board->locator = std::move(incoming.locator);
    board->extra = std::move(incoming.extra);
    return TRUE;
}

template <typename Rec>
BOOL ContactStore::AppendSubject(FriendHandle entry, const wchar_t* boardId, const Rec& info) {
    if (!boardId) return FALSE;
    ServiceSubjectEntry subject;
    FromRecord(info, &subject);
    vantor::Lock lock(lock_);
    FriendEntry* e = LiveFriend(entry, false);
    ServiceBoardEntry* board = e ? FindBoard(e->boards, boardId) : nullptr;
    if (!board) return FALSE;
    board->subjects.push_back(std::move(subject));
    return TRUE;
}

template <typename Rec>
BOOL ContactStore::GetSubjects(FriendHandle entry, const wchar_t* boardId, Rec* records, DWORD* count) {
    if (!boardId) return FALSE;
    vantor::Lock lock(lock_);
    FriendEntry* e = LiveFriend(entry, false);
    ServiceBoardEntry* board = e ? FindBoard(e->boards, boardId) : nullptr;
    return board ? CountThenFill(board->subjects, records, count) : FALSE;
}

template <typename BoardRec, typename Rec>
BOOL ContactStore::UpdateSubject(FriendHandle entry, const BoardRec& boardInfo, const Rec& info) {
    ServiceBoardEntry boardKey;
    FromRecord(boardInfo, &boardKey);
    std::wstring id;
    BoardIdOf(boardKey.locator, &id);
    vantor::Lock lock(lock_);
    FriendEntry* e = EntryOrCurrent(entry);
    ServiceBoardEntry* board = e ? FindBoard(e->boards, id) : nullptr;
    if (!board) return FALSE;
    ServiceSubjectEntry incoming;
    FromRecord(info, &incoming);
    for (auto& subject : board->subjects) {
        if (lstrcmpiW(subject.caption.c_str(), incoming.caption.c_str()) != 0) continue;
        // A zero number keeps the one held.
        if (incoming.number == 0) incoming.number = subject.number;
        subject = std::move(incoming);
        return TRUE;
    }
    return FALSE;
}

// The A and W forms of every record.
template BOOL ContactStore::SetCurrentAccount(const FriendInfoA&);
template BOOL ContactStore::SetCurrentAccount(const FriendInfoW&);
template BOOL ContactStore::GetFriendInfo(FriendHandle, FriendInfoA*);
template BOOL ContactStore::GetFriendInfo(FriendHandle, FriendInfoW*);
template BOOL ContactStore::GetGroupInfo(GroupHandle, GroupInfoA*);
template BOOL ContactStore::GetGroupInfo(GroupHandle, GroupInfoW*);
template BOOL ContactStore::AddServicePolicies(FriendHandle, const ServicePolicyInfoA*, DWORD, DWORD);
template BOOL ContactStore::AddServicePolicies(FriendHandle, const ServicePolicyInfoW*, DWORD, DWORD);
template BOOL ContactStore::QueryPolicy(FriendHandle, DWORD, ServicePolicyInfoA*);
template BOOL ContactStore::QueryPolicy(FriendHandle, DWORD, ServicePolicyInfoW*);
template BOOL ContactStore::GetPolicies(FriendHandle, ServicePolicyInfoA*, DWORD*);
template BOOL ContactStore::GetPolicies(FriendHandle, ServicePolicyInfoW*, DWORD*);
template BOOL ContactStore::UpdatePolicyData(DWORD, const ServicePolicyInfoA&);
template BOOL ContactStore::UpdatePolicyData(DWORD, const ServicePolicyInfoW&);
template BOOL ContactStore::AppendBoard(FriendHandle, const ServiceBoardInfoA&);
template BOOL ContactStore::AppendBoard(FriendHandle, const ServiceBoardInfoW&);
template BOOL ContactStore::GetBoards(FriendHandle, ServiceBoardInfoA*, DWORD*);
template BOOL ContactStore::GetBoards(FriendHandle, ServiceBoardInfoW*, DWORD*);
template BOOL ContactStore::UpdateBoard(FriendHandle, const ServiceBoardInfoA&);
template BOOL ContactStore::UpdateBoard(FriendHandle, const ServiceBoardInfoW&);
template BOOL ContactStore::AppendSubject(FriendHandle, const wchar_t*, const ServiceSubjectInfoA&);
template BOOL ContactStore::AppendSubject(FriendHandle, const wchar_t*, const ServiceSubjectInfoW&);
template BOOL ContactStore::GetSubjects(FriendHandle, const wchar_t*, ServiceSubjectInfoA*, DWORD*);
template BOOL ContactStore::GetSubjects(FriendHandle, const wchar_t*, ServiceSubjectInfoW*, DWORD*);
template BOOL ContactStore::UpdateSubject(FriendHandle, const ServiceBoardInfoA&, const ServiceSubjectInfoA&);
template BOOL ContactStore::UpdateSubject(FriendHandle, const ServiceBoardInfoW&, const ServiceSubjectInfoW&);

}  // namespace rostbase
