// In-memory stand-ins for the services the presence tab's workers use, recording what
// they were asked.
#pragma once

#include <windows.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Services.h"

namespace fakes {

struct Entry {
    FriendInfoA info = {};
    GroupHandle group = nullptr;
};

inline FriendInfoA Record(const char* id, const char* nick, WORD status, DWORD publicIp, WORD publicPort,
                          DWORD localIp = 0, WORD localPort = 0) {
    FriendInfoA r = {};
    strncpy(r.id, id, sizeof r.id - 1);
    strncpy(r.nickname, nick, sizeof r.nickname - 1);
    r.status.status = status;
    r.status.publicIp = publicIp;
    r.status.publicPort = publicPort;
    r.status.localIp = localIp;
    r.status.localPort = localPort;
    return r;
}

inline DWORD Ip(int a, int b, int c, int d) {
    return static_cast<DWORD>(a) | static_cast<DWORD>(b) << 8 | static_cast<DWORD>(c) << 16 | static_cast<DWORD>(d) << 24;
}

class Book : public presence::ContactBook {
public:
    // Entry 1 is the account; friends follow.
    FriendHandle Add(const FriendInfoA& info) {
        entries.push_back(Entry{info, reinterpret_cast<GroupHandle>(0x100)});
        return Handle(entries.size());
    }
    static FriendHandle Handle(size_t n) { return reinterpret_cast<FriendHandle>(n * 16); }
    Entry* Find(FriendHandle h) {
        size_t n = reinterpret_cast<UINT_PTR>(h) / 16;
        return n >= 1 && n <= entries.size() && !removed.count(n) ? &entries[n - 1] : nullptr;
    }
    FriendInfoA& Info(size_t n) { return entries[n - 1].info; }

    FriendHandle CurrentAccount() override { return entries.empty() ? nullptr : Handle(1); }
    bool FriendInfo(FriendHandle h, FriendInfoA* out) override {
        Entry* e = Find(h);
        if (!e || unreadable.count(h)) return false;
        *out = e->info;
        return true;
    }
    FriendHandle FindFriend(const char* id, GroupHandle* group) override {
        for (size_t n = 2; n <= entries.size(); ++n) {
            if (!removed.count(n) && strcmp(entries[n - 1].info.id, id) == 0) {
                if (group) *group = entries[n - 1].group;
                return Handle(n);
            }
        }
        return nullptr;
    }
    void EachOnlineFriend(const std::function<bool(FriendHandle)>& visit) override {
        for (size_t n = 2; n <= entries.size(); ++n) {
            if (removed.count(n) || entries[n - 1].info.status.status == 0) continue;
            if (!visit(Handle(n))) return;
        }
    }
    bool UpdateFriendStatus(FriendHandle h, const FriendStatus& s, DWORD flag) override {
        Entry* e = Find(h);
        calls.push_back("status " + std::string(e ? e->info.id : "?") + " " + std::to_string(s.status) + " " +
                        std::to_string(flag));
        if (e) e->info.status = s;
        return e != nullptr;
    }
    bool RefreshFriendStatus(DWORD flags) override {
        calls.push_back("refresh " + std::to_string(flags));
        if (flags & REFRESH_RESET_NETWORK_FRIENDS) {
            for (size_t n = 2; n <= entries.size(); ++n) entries[n - 1].info.status.status = 0;
        }
        return true;
    }
    bool ModifyFriend(FriendHandle h, const FriendInfoA& info) override {
        Entry* e = Find(h);
        calls.push_back("modify " + std::string(info.id));
        if (e) e->info = info;
        return e != nullptr;
    }
    bool AddServicePolicies(FriendHandle h, const ServicePolicyInfoA*, DWORD count) override {
        Entry* e = Find(h);
        calls.push_back("policies " + std::string(e ? e->info.id : "?") + " " + std::to_string(count));
        return true;
    }
    bool UpdateSelfStatus(const FriendStatus& s) override {
        calls.push_back("self " + std::to_string(s.status));
        if (!entries.empty()) entries[0].info.status = s;
        return true;
    }
    bool DelFriend(FriendHandle h, GroupHandle group) override {
        Entry* e = Find(h);
        calls.push_back("delete " + std::string(e ? e->info.id : "?"));
        if (e && group == e->group) removed.insert(reinterpret_cast<UINT_PTR>(h) / 16);
        return e != nullptr;
    }

    std::vector<Entry> entries;
    std::set<size_t> removed;
    std::set<FriendHandle> unreadable;
    std::vector<std::string> calls;
};

class Server : public presence::PresenceServer {
public:
    int OnlineFriends(const std::function<bool(const FriendInfoA&)>& visit) override {
        for (const FriendInfoA& r : online) {
            if (!visit(r)) return 10;
        }
        return 0;
    }
    int UpdateStatus(int type, const char* value, const char* ids, int proxy) override {
        updates.push_back(std::to_string(type) + " " + value + " [" + ids + "] " + std::to_string(proxy));
        return 0;
    }
    int FriendIp(const char* id, FriendInfoA* record) override {
        asked.push_back(id);
        record->status.publicIp = ipAnswer;
        record->status.localIp = ipAnswer;
        return 0;
    }
    std::vector<FriendInfoA> online;
    std::vector<std::string> updates;
    std::vector<std::string> asked;
    DWORD ipAnswer = 0;
};

class Kernel : public presence::ClientKernel {
public:
    int UserPublicInfo(const char* id, FriendInfoA* record) override {
        infoAsked.push_back(id);
        auto it = nicknames.find(id);
        if (it == nicknames.end()) return 20;
        strncpy(record->nickname, it->second.c_str(), sizeof record->nickname - 1);
        return 0;
    }
    int ServicePolicies(const char* id, ServicePolicyInfoA* records, UINT* count) override {
        auto it = policyCounts.find(id);
        if (it == policyCounts.end()) return 0;
        if (records) {
            for (UINT i = 0; i < *count && i < it->second; ++i) records[i].id = 9;
        }
        *count = it->second;
        return 1;
    }
    std::map<std::string, std::string> nicknames;
    std::map<std::string, UINT> policyCounts;
    std::vector<std::string> infoAsked;
};

class Peers : public presence::PeerSender {
public:
    bool SendAndConfirm(const presence::PeerTarget& target, const std::string& text) override {
        sent.push_back(target);
        texts.push_back(text);
        if (onSend) onSend();
        return !failing.count(target.address);
    }
    std::vector<presence::PeerTarget> sent;
    std::vector<std::string> texts;
    std::set<DWORD> failing;
    std::function<void()> onSend;
};

class Signals : public presence::WorkSignals {
public:
    bool Stopped() override { return stop; }
    Wake WaitStopOrChange(DWORD) override {
        ++waits;
        if (stop) return kStop;
        if (stopAtWait && waits >= stopAtWait) return kStop;
        if (change) {
            change = false;
            return kChange;
        }
        return kNone;
    }
    bool stop = false;
    bool change = false;
    int waits = 0;
    int stopAtWait = 0;
};

}  // namespace fakes
