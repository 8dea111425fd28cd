#include "Verbs.h"

#include <string>

#include "DebugOut.h"
#include "Text.h"

namespace rostdialogs {

namespace {

const wchar_t kAddGroupFailed[] = L"新增组失败，请重试！";
const wchar_t kModifyGroupFailed[] = L"修改组数据失败，请重试！";
const wchar_t kMoveFailed[] = L"移动好友失败，请重试！";
const wchar_t kPreventFailed[] = L"阻止用户失败了，请重试！";
// The presence tab's command that asks a user for friendship (with a FriendInfoA).
const int kPresenceAddFriendA = 3;

template <typename Char>
bool Empty(const Char* s) {
    return !s || !s[0];
}

// A verb that would address nothing on the server sends nothing.
bool MissingId(bool empty, const wchar_t* verb) {
    if (empty) vantor::DebugLine(L"RostDialogs: %ls without an id, nothing sent\n", verb);
    return empty;
}

// The server's answer: true when accepted; a refusal shows `refused`, a missing presence
// client only a debugger line.
bool Accepted(Services& s, int result, const wchar_t* refused) {
    if (result == 0) return true;
    if (result == kPresenceMissing)
        vantor::DebugLine(L"RostDialogs: PresenceCore cannot be called\n");
    else
        s.Message(nullptr, refused, MB_ICONERROR);
    return false;
}

void Kept(bool done, const wchar_t* verb) {
    if (!done) vantor::DebugLine(L"RostDialogs: the contact book did not take %ls\n", verb);
}

}  // namespace

GroupInfoA NewGroupRecord(const char* name) {
    GroupInfoA record = {};
    std::string text = name ? name : "";
    size_t keep = vantor::WholeCharsPrefix(text.c_str(), text.size(), kGroupNameBytes);
    memcpy(record.name, text.data(), keep);
    return record;
}

GroupInfoW NewGroupRecord(const wchar_t* name) {
    GroupInfoW record = {};
    std::wstring text = name ? name : L"";
    size_t keep = vantor::WholeCharsPrefix(text.c_str(), text.size(), kGroupNameBytes);
    memcpy(record.name, text.data(), keep * sizeof(wchar_t));
    return record;
}

void AddGroupA(Services& s, HostContext book, const char* name, GroupHandle parent) {
    GroupInfoA parentInfo = {};
    s.ReadGroupA(book, parent, &parentInfo);
    if (MissingId(Empty(parentInfo.id), L"AddGroup")) return;
    GroupInfoA record = NewGroupRecord(name);
    if (!Accepted(s, s.PsAddGroupA(&record, parentInfo.id), kAddGroupFailed)) return;
    Kept(s.KeepAddGroupA(book, &record, parent), L"AddGroup");
}

void AddGroupW(Services& s, HostContext book, const wchar_t* name, GroupHandle parent) {
    GroupInfoW parentInfo = {};
    s.ReadGroupW(book, parent, &parentInfo);
    if (MissingId(Empty(parentInfo.id), L"AddGroup")) return;
    GroupInfoW record = NewGroupRecord(name);
    if (!Accepted(s, s.PsAddGroupW(&record, parentInfo.id), kAddGroupFailed)) return;
    Kept(s.KeepAddGroupW(book, &record, parent), L"AddGroup");
}

void ModifyGroupA(Services& s, HostContext book, GroupHandle group, const GroupInfoA* info) {
    if (MissingId(!info || Empty(info->id), L"ModifyGroup")) return;
    GroupInfoA record = NewGroupRecord(vantor::FieldText(info->name).c_str());
    memcpy(record.id, info->id, sizeof record.id);
    record.id[sizeof record.id - 1] = 0;
    if (!Accepted(s, s.PsModifyGroupA(&record), kModifyGroupFailed)) return;
    Kept(s.KeepModifyGroupA(book, group, &record), L"ModifyGroup");
}

void ModifyGroupW(Services& s, HostContext book, GroupHandle group, const GroupInfoW* info) {
    if (MissingId(!info || Empty(info->id), L"ModifyGroup")) return;
    GroupInfoW record = NewGroupRecord(vantor::FieldText(info->name).c_str());
    memcpy(record.id, info->id, sizeof record.id);
    record.id[ARRAYSIZE(record.id) - 1] = 0;
    if (!Accepted(s, s.PsModifyGroupW(&record), kModifyGroupFailed)) return;
    Kept(s.KeepModifyGroupW(book, group, &record), L"ModifyGroup");
}

void MoveFriend(Services& s, HostContext book, FriendHandle entry, GroupHandle from, GroupHandle to, int proxyFlag) {
    FriendInfoA friendInfo = {};
    GroupInfoA groupInfo = {};
    s.ReadFriend(book, entry, &friendInfo);
    s.ReadGroupA(book, to, &groupInfo);
    if (MissingId(Empty(friendInfo.id) || Empty(groupInfo.id), L"MoveFriend")) return;
    if (!Accepted(s, s.PsMoveFriend(friendInfo.id, groupInfo.id, proxyFlag), kMoveFailed)) return;
    Kept(s.KeepChangeGroup(book, entry, from, to), L"MoveFriend");
}

int PreventUser(Services& s, HostContext book, FriendHandle entry, GroupHandle group, int proxyFlag) {
    FriendInfoA friendInfo = {};
    s.ReadFriend(book, entry, &friendInfo);
    if (MissingId(Empty(friendInfo.id), L"PreventUser")) return 0;
    // The black list is group "0" on the server.
    if (!Accepted(s, s.PsMoveFriend(friendInfo.id, "0", proxyFlag), kPreventFailed)) return 0;
    bool done = s.KeepPreventUser(book, entry, group);
    Kept(done, L"PreventUser");
    return done ? 1 : 0;
}

void AskFriendship(Services& s, HostContext book, HWND owner, const FriendInfoA& user) {
    std::string id = vantor::FieldText(user.id);
    if (id.empty()) return;
    FriendInfoA own = {};
    FriendHandle account = s.CurrentAccount(book);
    if (account && s.ReadFriend(book, account, &own) && vantor::FieldText(own.id) == id) {
        s.Message(owner, L"不能加自己为好友！", MB_ICONWARNING);
        return;
    }
    if (s.IsUserInFriends(book, id.c_str())) {
        s.Message(owner, L"您已经添加过这个好友！", MB_ICONWARNING);
        return;
    }
    // The presence tab holds the record only while the call lasts.
    FriendInfoA record = user;
    s.PresenceAction(kPresenceAddFriendA, reinterpret_cast<INT_PTR>(&record));
}

}  // namespace rostdialogs
