#include "Deletion.h"

#include "DebugOut.h"
#include "Text.h"

namespace rostdialogs {

void ReadDeleteTarget(Services& s, DeleteTarget& t) {
    if (t.kind == DeleteTarget::Group) {
        GroupInfoA group = {};
        s.ReadGroupA(t.book, static_cast<GroupHandle>(t.target), &group);
        t.id = vantor::FieldText(group.id);
        t.label = vantor::FieldText(group.name);
        return;
    }
    FriendInfoA info = {};
    s.ReadFriend(t.book, static_cast<FriendHandle>(t.target), &info);
    t.id = vantor::FieldText(info.id);
    t.label = info.nickname[0] ? vantor::FieldText(info.nickname) : vantor::FieldText(info.name);
}

std::string DeleteLabel(const DeleteTarget& t) { return t.label + "(" + t.id + ")"; }

bool DeleteOnServerThenBook(Services& s, const DeleteTarget& t, HWND owner) {
    if (t.id.empty()) {
        vantor::DebugLine(L"RostDialogs: a deletion without an id, nothing sent\n");
        return false;
    }
    int result;
    const wchar_t* refused;
    switch (t.kind) {
    case DeleteTarget::Friend:
        result = s.PsDelFriend(t.id.c_str(), "1");
        refused = L"删除好友失败了，请重试！";
        break;
    case DeleteTarget::BlackUser:
        result = s.PsDelBlackUser(t.id.c_str(), "1");
        refused = L"删除黑名单用户失败了，请重试！";
        break;
    default:
        result = s.PsDelGroup(t.id.c_str());
        refused = L"删除组失败了，请重试！";
        break;
    }
    if (result == kPresenceMissing) {
        vantor::DebugLine(L"RostDialogs: PresenceCore cannot be called\n");
        return false;
    }
    if (result != 0) {
        s.Message(owner, refused, MB_ICONERROR);
        return false;
    }
    bool kept;
    switch (t.kind) {
    case DeleteTarget::Friend:
        // The presence tab tells the friend's client while the friend is still in the book.
        s.PresenceAction(7, reinterpret_cast<INT_PTR>(t.target));
        kept = s.KeepDelFriend(t.book, static_cast<FriendHandle>(t.target), static_cast<GroupHandle>(t.container));
        break;
    case DeleteTarget::BlackUser:
        kept = s.KeepDelBlackUser(t.book, t.id.c_str());
        break;
    default:
        kept = s.KeepDelGroup(t.book, static_cast<GroupHandle>(t.target), static_cast<GroupHandle>(t.container));
        break;
    }
    if (!kept) vantor::DebugLine(L"RostDialogs: the contact book did not take the deletion\n");
    return kept;
}

}  // namespace rostdialogs
