// A partner set that records every call as one line and answers as the test says.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Services.h"
#include "Text.h"

namespace rdtest {

class RecordingServices : public rostdialogs::Services {
public:
    std::vector<std::string> calls;
    std::map<std::string, int> presence;   // PsResult by call name, 0 when absent
    bool keeperMissing = false;
    FriendInfoA friendRecord = {};
    bool friendReadable = true;
    GroupInfoA groupRecord = {};
    std::string newId = "900";

    std::string Joined() const {
        std::string all;
        for (const auto& c : calls) all += (all.empty() ? "" : "; ") + c;
        return all;
    }

    bool ReadGroupA(HostContext, GroupHandle, ::GroupInfoA* out) override {
        calls.push_back("GroupInfoA");
        *out = groupRecord;
        return groupRecord.id[0] != 0;
    }
    bool ReadGroupW(HostContext, GroupHandle, ::GroupInfoW* out) override {
        calls.push_back("GroupInfoW");
        vantor::CopyField(out->id, vantor::AnsiToWide(vantor::FieldText(groupRecord.id)).c_str());
        vantor::CopyField(out->name, vantor::AnsiToWide(vantor::FieldText(groupRecord.name)).c_str());
        return groupRecord.id[0] != 0;
    }
    bool ReadFriend(HostContext, FriendHandle, FriendInfoA* out) override {
        calls.push_back("FriendInfo");
        if (!friendReadable) return false;
        *out = friendRecord;
        return true;
    }
    GroupHandle OffRootGroup(HostContext) override { return reinterpret_cast<GroupHandle>(10); }
    FriendHandle CurrentAccount(HostContext) override { return reinterpret_cast<FriendHandle>(1); }
    bool HasService(HostContext, FriendHandle, DWORD) override { return true; }
    FriendHandle IsUserInFriends(HostContext, const char*) override { return nullptr; }

    int Ps(const std::string& line, const char* name) {
        calls.push_back(line);
        auto it = presence.find(name);
        return it == presence.end() ? 0 : it->second;
    }
    int PsAddGroupA(::GroupInfoA* g, const char* parent) override {
        int r = Ps(std::string("PsAddGroupA ") + g->name + " under " + parent, "AddGroup");
        if (r == 0) vantor::CopyField(g->id, newId.c_str());
        return r;
    }
    int PsAddGroupW(::GroupInfoW* g, const wchar_t* parent) override {
        int r = Ps("PsAddGroupW " + vantor::WideToAnsi(g->name) + " under " + vantor::WideToAnsi(parent), "AddGroup");
        if (r == 0) vantor::CopyField(g->id, vantor::AnsiToWide(newId).c_str());
        return r;
    }
    int PsModifyGroupA(::GroupInfoA* g) override {
        return Ps(std::string("PsModifyGroupA ") + g->id + " " + g->name, "ModifyGroup");
    }
    int PsModifyGroupW(::GroupInfoW* g) override {
        return Ps("PsModifyGroupW " + vantor::WideToAnsi(g->id) + " " + vantor::WideToAnsi(g->name), "ModifyGroup");
    }
    int PsDelGroup(const char* id) override { return Ps(std::string("PsDelGroup ") + id, "DelGroup"); }
    int PsMoveFriend(const char* f, const char* g, int proxy) override {
        return Ps(std::string("PsMoveFriend ") + f + " " + g + " " + std::to_string(proxy), "MoveFriend");
    }
    int PsDelFriend(const char* f, const char* proxy) override {
        return Ps(std::string("PsDelFriend ") + f + " " + proxy, "DelFriend");
    }
    int PsDelBlackUser(const char* f, const char* proxy) override {
        return Ps(std::string("PsDelBlackUser ") + f + " " + proxy, "DelBlackUser");
    }
    FriendInfoA sent = {};
    int PsAddOffFriend(FriendInfoA* r, const char* group) override {
        sent = *r;
        int result = Ps(std::string("PsAddOffFriend ") + r->nickname + " to " + group, "AddOffFriend");
        if (result == 0) vantor::CopyField(r->id, newId.c_str());
        return result;
    }
    int PsModifyFriend(FriendInfoA* r, const char* group) override {
        sent = *r;
        return Ps(std::string("PsModifyFriend ") + r->id + " in " + group, "ModifyFriend");
    }
    int PsSearch(const char* q, int page, PsFriendEnumProc, UINT_PTR) override {
        return Ps(std::string("PsSearch ") + q + " " + std::to_string(page), "Search");
    }

    bool Keep(const std::string& line) {
        calls.push_back(line);
        return !keeperMissing;
    }
    bool KeepAddGroupA(HostContext, const ::GroupInfoA* g, GroupHandle) override {
        return Keep(std::string("KeepAddGroupA ") + g->id + " " + g->name);
    }
    bool KeepAddGroupW(HostContext, const ::GroupInfoW* g, GroupHandle) override {
        return Keep("KeepAddGroupW " + vantor::WideToAnsi(g->id));
    }
    bool KeepModifyGroupA(HostContext, GroupHandle, const ::GroupInfoA* g) override {
        return Keep(std::string("KeepModifyGroupA ") + g->name);
    }
    bool KeepModifyGroupW(HostContext, GroupHandle, const ::GroupInfoW*) override { return Keep("KeepModifyGroupW"); }
    bool KeepDelGroup(HostContext, GroupHandle, GroupHandle) override { return Keep("KeepDelGroup"); }
    bool KeepAddFriend(HostContext, const FriendInfoA* r, GroupHandle) override {
        return Keep(std::string("KeepAddFriend ") + r->id);
    }
    bool KeepModifyFriend(HostContext, FriendHandle, const FriendInfoA* r) override {
        return Keep(std::string("KeepModifyFriend ") + r->id);
    }
    bool KeepDelFriend(HostContext, FriendHandle, GroupHandle) override { return Keep("KeepDelFriend"); }
    bool KeepDelBlackUser(HostContext, const char* id) override { return Keep(std::string("KeepDelBlackUser ") + id); }
    bool KeepChangeGroup(HostContext, FriendHandle, GroupHandle, GroupHandle) override { return Keep("KeepChangeGroup"); }
    bool KeepPreventUser(HostContext, FriendHandle, GroupHandle) override { return Keep("KeepPreventUser"); }
    void PresenceAction(int command, INT_PTR) override { calls.push_back("PresenceAction " + std::to_string(command)); }
    void Message(HWND, const wchar_t* text, UINT) override { calls.push_back("Message " + vantor::WideToAnsi(text)); }
};

}  // namespace rdtest
