#include "FriendSave.h"

#include "DebugOut.h"
#include "Forms.h"
#include "Text.h"

namespace rostdialogs {

namespace {

template <size_t N>
void Put(char (&field)[N], const std::string& text, size_t maxBytes) {
    vantor::CopyField(field, CutWhole(text, maxBytes).c_str());
}

}  // namespace

SaveOutcome SaveFriend(Services& s, const FriendTarget& t, const FriendForm& form, HWND owner) {
    std::string nickname = CutWhole(form.nickname, kNicknameBytes);
    if (nickname.empty()) {
        s.Message(owner, L"姓名不能为空，请输入！", MB_ICONERROR);
        return SaveOutcome::EmptyName;
    }
    FriendInfoA record = {};
    if (t.view) {
        if (t.friendId.empty()) {
            vantor::DebugLine(L"RostDialogs: a friend without an id, nothing sent\n");
            return SaveOutcome::Failed;
        }
        // Fields the form does not show keep what the book holds.
        if (!s.ReadFriend(t.book, t.entry, &record)) record = FriendInfoA();
        vantor::CopyField(record.id, t.friendId.c_str());
    }
    Put(record.nickname, nickname, kNicknameBytes);
    record.sex = SexFromChoice(form.sex);
    if (form.birthdayChanged || !t.view) vantor::CopyField(record.birthday, FormatBirthday(form.birthday).c_str());
    Put(record.email, form.email, kEmailBytes);
    Put(record.voip, form.voip, kPhoneBytes);
    Put(record.mobile, form.mobile, kPhoneBytes);
    Put(record.phone, form.phone, kPhoneBytes);
    Put(record.xlt, form.xlt, kPhoneBytes);

    int result;
    if (!t.view) {
        GroupInfoA group = {};
        s.ReadGroupA(t.book, t.group, &group);
        if (!group.id[0]) {
            vantor::DebugLine(L"RostDialogs: a group without an id, nothing sent\n");
            return SaveOutcome::Failed;
        }
        result = s.PsAddOffFriend(&record, group.id);
    } else {
        if (t.groupId.empty()) {
            vantor::DebugLine(L"RostDialogs: a group without an id, nothing sent\n");
            return SaveOutcome::Failed;
        }
        result = s.PsModifyFriend(&record, t.groupId.c_str());
    }
    if (result == kPresenceMissing) {
        vantor::DebugLine(L"RostDialogs: PresenceCore cannot be called\n");
        return SaveOutcome::Failed;
    }
    if (result != 0) {
        s.Message(owner, t.view ? L"修改好友信息失败，请重试！" : L"新增好友失败，请重试！", MB_ICONERROR);
        return SaveOutcome::Failed;
    }
    bool kept = t.view ? s.KeepModifyFriend(t.book, t.entry, &record) : s.KeepAddFriend(t.book, &record, t.group);
    if (!kept) {
        vantor::DebugLine(L"RostDialogs: the contact book did not take the friend\n");
        return SaveOutcome::Failed;
    }
    return SaveOutcome::Saved;
}

}  // namespace rostdialogs
