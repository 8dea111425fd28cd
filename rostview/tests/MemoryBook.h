// A contact book in memory, walked the way RostLedger walks the real one.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ContactBook.h"
#include "Text.h"

namespace rvtest {

class MemoryBook : public rostview::ContactBook {
public:
    struct Group {
        GroupInfoA info = {};
        Group* parent = nullptr;
        std::vector<Group*> children;
        std::vector<FriendHandle> friends;
    };
    struct Entry {
        FriendInfoA info = {};
        std::map<DWORD, WORD> policies;  // id -> status
    };

    bool walkable = true;
    bool hasBlackList = true;
    int friendReads = 0;
    FriendHandle self = nullptr;

    // A group added while a walk runs (`walked` false) is not in the walk's list.
    GroupHandle AddGroup(GroupHandle parent, const char* id, const char* utf8Name, bool walked = true) {
        groups_.emplace_back();
        Group& g = groups_.back();
        vantor::CopyField(g.info.id, id);
        vantor::CopyField(g.info.name, Ansi(utf8Name).c_str());
        g.parent = Of(parent);
        if (!walked) {
            unwalked_.push_back(&g);
        } else if (g.parent) {
            g.parent->children.push_back(&g);
        } else {
            roots_.push_back(&g);
        }
        return reinterpret_cast<GroupHandle>(&g);
    }

    FriendHandle AddFriend(GroupHandle group, const char* id, const char* utf8Nick, const char* utf8Name = "",
                           WORD status = 0) {
        FriendHandle entry = NewEntry(id, utf8Nick, utf8Name, status);
        if (group) Of(group)->friends.push_back(entry);
        return entry;
    }

    FriendHandle AddBlack(const char* id, const char* utf8Nick, const char* utf8Name = "") {
        FriendHandle entry = NewEntry(id, utf8Nick, utf8Name, 0);
        black_.push_back(entry);
        return entry;
    }

    Entry& At(FriendHandle entry) { return *reinterpret_cast<Entry*>(entry); }
    Group& At(GroupHandle group) { return *Of(group); }

    bool FriendA(FriendHandle entry, FriendInfoA* out) override {
        ++friendReads;
        if (!entry) return false;
        *out = At(entry).info;
        return true;
    }
    bool FriendW(FriendHandle entry, FriendInfoW* out) override {
        if (!entry) return false;
        const FriendInfoA& a = At(entry).info;
        vantor::CopyField(out->id, vantor::AnsiToWide(a.id).c_str());
        vantor::CopyField(out->nickname, vantor::AnsiToWide(a.nickname).c_str());
        vantor::CopyField(out->name, vantor::AnsiToWide(a.name).c_str());
        out->status = a.status;
        return true;
    }
    bool GroupA(GroupHandle group, GroupInfoA* out) override {
        if (!group) return false;
        *out = Of(group)->info;
        return true;
    }
    bool GroupW(GroupHandle group, GroupInfoW* out) override {
        if (!group) return false;
        vantor::CopyField(out->id, vantor::AnsiToWide(Of(group)->info.id).c_str());
        vantor::CopyField(out->name, vantor::AnsiToWide(Of(group)->info.name).c_str());
        return true;
    }
    FriendHandle CurrentAccount() override { return self; }
    bool Policy(FriendHandle entry, DWORD policyId, ServicePolicyInfoA* out) override {
        if (!entry) return false;
        auto found = At(entry).policies.find(policyId);
        if (found == At(entry).policies.end()) return false;
        out->id = policyId;
        out->flags[SERVICE_POLICY_STATUS_FLAG] = found->second;
        return true;
    }
    bool CanWalk() const override { return walkable; }
    bool EnumGroup(DWORD, GroupEnumProc proc, UINT_PTR user) override {
        for (Group* root : roots_) {
            if (!Walk(root, nullptr, proc, user)) return false;
        }
        return true;
    }
    bool EnumGroupFriends(GroupHandle group, FriendEnumProc proc, UINT_PTR user) override {
        if (!group) return false;
        for (FriendHandle entry : Of(group)->friends) {
            if (!proc(entry, group, user)) return false;
        }
        return true;
    }
    bool EnumBlackList(FriendEnumProc proc, UINT_PTR user) override {
        if (!hasBlackList) return false;
        for (FriendHandle entry : black_) proc(entry, nullptr, user);
        return true;
    }

    // Walks report this group as having no parent (a parent the walk has not shown).
    GroupHandle orphan = nullptr;

    static std::string Ansi(const char* utf8) {
        return vantor::WideToAnsi(vantor::DecodeBytes(utf8, std::strlen(utf8), CP_UTF8));
    }

private:
    static Group* Of(GroupHandle group) { return reinterpret_cast<Group*>(group); }

    FriendHandle NewEntry(const char* id, const char* utf8Nick, const char* utf8Name, WORD status) {
        entries_.emplace_back();
        Entry& e = entries_.back();
        vantor::CopyField(e.info.id, id);
        vantor::CopyField(e.info.nickname, Ansi(utf8Nick).c_str());
        vantor::CopyField(e.info.name, Ansi(utf8Name).c_str());
        e.info.status.status = status;
        return reinterpret_cast<FriendHandle>(&e);
    }

    bool Walk(Group* group, Group* parent, GroupEnumProc proc, UINT_PTR user) {
        GroupHandle handle = reinterpret_cast<GroupHandle>(group);
        GroupHandle parentHandle = handle == orphan ? reinterpret_cast<GroupHandle>(0x1) : reinterpret_cast<GroupHandle>(parent);
        if (!proc(handle, parentHandle, user)) return false;
        for (Group* child : group->children) {
            if (!Walk(child, group, proc, user)) return false;
        }
        return true;
    }

    std::deque<Group> groups_;
    std::deque<Entry> entries_;
    std::vector<Group*> roots_;
    std::vector<Group*> unwalked_;
    std::vector<FriendHandle> black_;
};

}  // namespace rvtest
