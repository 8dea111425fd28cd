// The contact verbs, the friend save, the deletions and the search query over a recording
// partner set; the use count with an injected free hook; the field rules.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>
#include <vector>

#include "Deletion.h"
#include "Forms.h"
#include "FriendSave.h"
#include "RecordingServices.h"
#include "TestSupport.h"
#include "TipDaySetting.h"
#include "UseCount.h"
#include "Verbs.h"

namespace {

using namespace rostdialogs;
using rdtest::RecordingServices;
using testkit::Ansi;

GroupHandle G(UINT_PTR v) { return reinterpret_cast<GroupHandle>(v); }
FriendHandle F(UINT_PTR v) { return reinterpret_cast<FriendHandle>(v); }

TEST(RostDialogsVerbs, GroupVerbsGoToTheServerFirstAndToTheBookOnlyOnAcceptance) {
    RecordingServices s;
    vantor::CopyField(s.groupRecord.id, "11");
    AddGroupA(s, 1, "team", G(11));
    EXPECT_EQ("GroupInfoA; PsAddGroupA team under 11; KeepAddGroupA 900 team", s.Joined());

    s.calls.clear();
    s.presence["AddGroup"] = 20;
    AddGroupW(s, 1, L"组", G(11));
    EXPECT_EQ("GroupInfoW; PsAddGroupW " + Ansi("组") + " under 11; Message " + Ansi("新增组失败，请重试！"),
              s.Joined());

    s.calls.clear();
    GroupInfoA rename = {};
    vantor::CopyField(rename.id, "112");
    vantor::CopyField(rename.name, "mates");
    ModifyGroupA(s, 1, G(112), &rename);
    EXPECT_EQ("PsModifyGroupA 112 mates; KeepModifyGroupA mates", s.Joined());
    s.calls.clear();
    s.presence["ModifyGroup"] = 10404;
    ModifyGroupA(s, 1, G(112), &rename);
    EXPECT_EQ("PsModifyGroupA 112 mates; Message " + Ansi("修改组数据失败，请重试！"), s.Joined());

    // A missing presence client: no message, no local change.
    s.calls.clear();
    s.presence["AddGroup"] = kPresenceMissing;
    AddGroupA(s, 1, "x", G(11));
    EXPECT_EQ("GroupInfoA; PsAddGroupA x under 11", s.Joined());
}

TEST(RostDialogsVerbs, EmptyIdsSendNothingAndNamesAreCutOnWholeCharacters) {
    RecordingServices s;
    AddGroupA(s, 1, "team", G(11));   // the parent has no id
    GroupInfoA noId = {};
    ModifyGroupA(s, 1, G(1), &noId);
    ModifyGroupA(s, 1, G(1), nullptr);
    MoveFriend(s, 1, F(5), G(1), G(2), 0);
    EXPECT_EQ(0, PreventUser(s, 1, F(5), G(1), 1));
    EXPECT_EQ("GroupInfoA; FriendInfo; GroupInfoA; FriendInfo", s.Joined());

    // Twenty Chinese characters: 40 bytes in GBK, cut to 11 whole characters (22 bytes).
    std::wstring twenty(20, L'\u7ec4');
    GroupInfoA a = NewGroupRecord(vantor::WideToAnsi(twenty).c_str());
    EXPECT_EQ(vantor::WideToAnsi(std::wstring(11, L'\u7ec4')), a.name);
    EXPECT_EQ('\0', a.id[0]);
    GroupInfoA mixed = NewGroupRecord(("a" + vantor::WideToAnsi(twenty)).c_str());
    EXPECT_EQ("a" + vantor::WideToAnsi(std::wstring(11, L'\u7ec4')), mixed.name);
    GroupInfoW w = NewGroupRecord(std::wstring(30, L'x').c_str());
    EXPECT_EQ(std::wstring(23, L'x'), w.name);
}

TEST(RostDialogsVerbs, MovesAndTheBlackListAreMovesOnTheServer) {
    RecordingServices s;
    vantor::CopyField(s.friendRecord.id, "n1");
    vantor::CopyField(s.groupRecord.id, "111");
    MoveFriend(s, 1, F(5), G(1), G(2), 3);
    EXPECT_EQ("FriendInfo; GroupInfoA; PsMoveFriend n1 111 3; KeepChangeGroup", s.Joined());

    s.calls.clear();
    EXPECT_EQ(1, PreventUser(s, 1, F(5), G(1), 1));
    EXPECT_EQ("FriendInfo; PsMoveFriend n1 0 1; KeepPreventUser", s.Joined());
    s.keeperMissing = true;
    EXPECT_EQ(0, PreventUser(s, 1, F(5), G(1), 1));
    s.keeperMissing = false;
    s.calls.clear();
    s.presence["MoveFriend"] = 20;
    EXPECT_EQ(0, PreventUser(s, 1, F(5), G(1), 1));
    EXPECT_EQ("FriendInfo; PsMoveFriend n1 0 1; Message " + Ansi("阻止用户失败了，请重试！"), s.Joined());
    s.calls.clear();
    MoveFriend(s, 1, F(5), G(1), G(2), 0);
    EXPECT_EQ("FriendInfo; GroupInfoA; PsMoveFriend n1 111 0; Message " + Ansi("移动好友失败，请重试！"), s.Joined());
}

TEST(RostDialogsDeletion, EachKindDeletesOnTheServerThenInTheBook) {
    RecordingServices s;
    vantor::CopyField(s.friendRecord.id, "n1");
    vantor::CopyField(s.friendRecord.name, "Zhao");
    DeleteTarget t;
    t.kind = DeleteTarget::Friend;
    t.target = F(5);
    ReadDeleteTarget(s, t);
    EXPECT_EQ("Zhao(n1)", DeleteLabel(t));
    vantor::CopyField(s.friendRecord.nickname, "Six");
    ReadDeleteTarget(s, t);
    EXPECT_EQ("Six(n1)", DeleteLabel(t));

    s.calls.clear();
    EXPECT_TRUE(DeleteOnServerThenBook(s, t, nullptr));
    // The presence tab hears of the friend while the book still holds it.
    EXPECT_EQ("PsDelFriend n1 1; PresenceAction 7; KeepDelFriend", s.Joined());

    s.calls.clear();
    t.kind = DeleteTarget::BlackUser;
    EXPECT_TRUE(DeleteOnServerThenBook(s, t, nullptr));
    EXPECT_EQ("PsDelBlackUser n1 1; KeepDelBlackUser n1", s.Joined());

    s.calls.clear();
    s.presence["DelBlackUser"] = 20;
    EXPECT_FALSE(DeleteOnServerThenBook(s, t, nullptr));
    EXPECT_EQ("PsDelBlackUser n1 1; Message " + Ansi("删除黑名单用户失败了，请重试！"), s.Joined());

    // A group whose deletion the book cannot take is a failure too.
    s.calls.clear();
    t.kind = DeleteTarget::Group;
    t.id = "112";
    s.keeperMissing = true;
    EXPECT_FALSE(DeleteOnServerThenBook(s, t, nullptr));
    EXPECT_EQ("PsDelGroup 112; KeepDelGroup", s.Joined());

    // No id: nothing is sent; an unreadable book leaves "()".
    s.calls.clear();
    DeleteTarget none;
    s.friendReadable = false;
    ReadDeleteTarget(s, none);
    EXPECT_EQ("()", DeleteLabel(none));
    EXPECT_FALSE(DeleteOnServerThenBook(s, none, nullptr));
    EXPECT_EQ("FriendInfo", s.Joined());
}

FriendForm Form(const char* name) {
    FriendForm f;
    f.nickname = name;
    f.email = "a@b.c";
    f.mobile = "13900000001";
    return f;
}

TEST(RostDialogsFriendSave, AddsUnderTheGroupAndViewSavesKeepWhatTheFormDoesNotShow) {
    RecordingServices s;
    vantor::CopyField(s.groupRecord.id, "10");
    FriendTarget add;
    add.group = G(10);
    FriendForm form = Form("Li");
    form.birthday.wYear = 1990;
    form.birthday.wMonth = 3;
    form.birthday.wDay = 1;
    EXPECT_EQ(SaveOutcome::Saved, SaveFriend(s, add, form, nullptr));
    EXPECT_EQ("GroupInfoA; PsAddOffFriend Li to 10; KeepAddFriend 900", s.Joined());
    EXPECT_STREQ("19900301", s.sent.birthday);
    EXPECT_EQ(0, s.sent.sex);

    // View: name, province, city, age and an untouched birthday stay; sex "" is 0.
    s.calls.clear();
    FriendInfoA& current = s.friendRecord;
    vantor::CopyField(current.id, "n1");
    vantor::CopyField(current.name, "Zhao");
    vantor::CopyField(current.province, "11");
    vantor::CopyField(current.city, "BJ");
    vantor::CopyField(current.birthday, "19800102");
    current.age = 40;
    current.sex = 1;
    current.status.status = 2;
    FriendTarget view;
    view.view = true;
    view.entry = F(5);
    view.friendId = "n1";
    view.groupId = "11";
    FriendForm viewForm = Form("Six");
    viewForm.sex = L"";
    EXPECT_EQ(SaveOutcome::Saved, SaveFriend(s, view, viewForm, nullptr));
    EXPECT_EQ("FriendInfo; PsModifyFriend n1 in 11; KeepModifyFriend n1", s.Joined());
    EXPECT_STREQ("Zhao", s.sent.name);
    EXPECT_STREQ("11", s.sent.province);
    EXPECT_STREQ("BJ", s.sent.city);
    EXPECT_STREQ("19800102", s.sent.birthday);
    EXPECT_EQ(40, s.sent.age);
    EXPECT_EQ(0, s.sent.sex);
    EXPECT_EQ(2, s.sent.status.status);
    EXPECT_STREQ("Six", s.sent.nickname);
    viewForm.sex = L"女";
    viewForm.birthdayChanged = true;
    viewForm.birthday = {2001, 12, 0, 31};
    SaveFriend(s, view, viewForm, nullptr);
    EXPECT_EQ(2, s.sent.sex);
    EXPECT_STREQ("20011231", s.sent.birthday);

    // Long texts are cut on whole characters to the record's widths.
    FriendForm longForm = Form(vantor::WideToAnsi(std::wstring(15, L'\u738b')).c_str());
    longForm.email = std::string(40, 'e');
    longForm.phone = std::string(20, '1');
    SaveFriend(s, view, longForm, nullptr);
    EXPECT_EQ(vantor::WideToAnsi(std::wstring(11, L'\u738b')), s.sent.nickname);
    EXPECT_EQ(std::string(31, 'e'), s.sent.email);
    EXPECT_EQ(std::string(15, '1'), s.sent.phone);
}

TEST(RostDialogsFriendSave, AnEmptyNameARefusalAndAMissingBookSendOrKeepNothing) {
    RecordingServices s;
    vantor::CopyField(s.groupRecord.id, "10");
    FriendTarget add;
    EXPECT_EQ(SaveOutcome::EmptyName, SaveFriend(s, add, Form(""), nullptr));
    EXPECT_EQ("Message " + Ansi("姓名不能为空，请输入！"), s.Joined());

    s.calls.clear();
    s.presence["AddOffFriend"] = 20;
    EXPECT_EQ(SaveOutcome::Failed, SaveFriend(s, add, Form("Li"), nullptr));
    EXPECT_EQ("GroupInfoA; PsAddOffFriend Li to 10; Message " + Ansi("新增好友失败，请重试！"), s.Joined());

    s.calls.clear();
    s.presence.clear();
    s.keeperMissing = true;
    EXPECT_EQ(SaveOutcome::Failed, SaveFriend(s, add, Form("Li"), nullptr));

    // A view of a friend without an id sends nothing.
    s.calls.clear();
    FriendTarget view;
    view.view = true;
    view.groupId = "11";
    EXPECT_EQ(SaveOutcome::Failed, SaveFriend(s, view, Form("Li"), nullptr));
    EXPECT_EQ("", s.Joined());
}

TEST(RostDialogsForms, SexBirthdayAndCuts) {
    EXPECT_EQ(L"男", SexChoice(1));
    EXPECT_EQ(L"女", SexChoice(2));
    EXPECT_EQ(L"", SexChoice(0));
    EXPECT_EQ(L"", SexColumn(7));
    EXPECT_EQ(0, SexFromChoice(L""));
    EXPECT_EQ(1, SexFromChoice(L"男"));
    EXPECT_EQ(2, SexFromChoice(L"女"));

    SYSTEMTIME d = {};
    ASSERT_TRUE(ParseBirthday("19900301", &d));
    EXPECT_EQ(1990, d.wYear);
    EXPECT_EQ(3, d.wMonth);
    EXPECT_EQ(1, d.wDay);
    EXPECT_EQ("19900301", FormatBirthday(d));
    EXPECT_FALSE(ParseBirthday("19900230", &d));
    EXPECT_FALSE(ParseBirthday("1990-03-01", &d));
    EXPECT_FALSE(ParseBirthday("", &d));

    std::string mixed = "ab" + vantor::WideToAnsi(L"王五");
    EXPECT_EQ("ab" + vantor::WideToAnsi(L"王"), CutWhole(mixed, 5));
    EXPECT_EQ(mixed, CutWhole(mixed, 6));
}

TEST(RostDialogsForms, TheQueryHoldsTheFilledFieldsEncodedAndThePaneHiddenHoldsNone) {
    SearchFields f;
    f.account = "123";
    f.sex = vantor::WideToAnsi(L"女");
    EXPECT_EQ("", SearchQuery(f));
    f.shown = true;
    EXPECT_EQ("id=123&sex=2", SearchQuery(f));
    f.sex = vantor::WideToAnsi(L"男");
    f.nickname = "A&B";
    f.provinceCode = "11";
    EXPECT_EQ("id=123&nicename=A%26B&province=11&sex=1", SearchQuery(f));
    SearchFields empty;
    empty.shown = true;
    EXPECT_EQ("", SearchQuery(empty));
    SearchFields longer;
    longer.shown = true;
    longer.nickname = vantor::WideToAnsi(std::wstring(20, L'\u738b'));
    EXPECT_EQ("nicename=" + vantor::WideToAnsi(std::wstring(15, L'\u738b')), SearchQuery(longer));
}

TEST(RostDialogsForms, TheProvinceListReadsNameAndCodePerLine) {
    ProvinceList list;
    std::string text = vantor::WideToAnsi(L"北京 11\r\n\r\n上海 31\r\n没有代码\r\n") + std::string(40, 'x') + " 99\n";
    ASSERT_TRUE(list.Load(text));
    ASSERT_EQ(4u, list.names.size());
    EXPECT_EQ(vantor::WideToAnsi(L"上海"), list.names[1]);
    EXPECT_EQ("31", list.CodeOf(vantor::WideToAnsi(L"上海")));
    EXPECT_EQ(vantor::WideToAnsi(L"北京"), list.NameOf("11"));
    EXPECT_EQ("", list.CodeOf(vantor::WideToAnsi(L"没有代码")));
    EXPECT_EQ("", list.CodeOf("nowhere"));
    // A line is read up to 31 bytes: the code of an over-long line is lost.
    EXPECT_EQ(std::string(31, 'x'), list.names[3]);
    EXPECT_FALSE(ProvinceList().Load(""));

    // The shipped list.
    std::string shipped = testkit::ReadFileBytes(testkit::ProgramDir() + L"config\\province.txt");
    ASSERT_TRUE(list.Load(shipped));
    EXPECT_EQ(34u, list.names.size());
    EXPECT_EQ("11", list.CodeOf(vantor::WideToAnsi(L"北京")));
}

int g_freed = 0;
void CountFree(void*) { InterlockedIncrement(reinterpret_cast<volatile LONG*>(&g_freed)); }

TEST(RostDialogsUseCount, TheLastReleaseFreesOnceAlsoFromManyThreads) {
    g_freed = 0;
    UseCount uses(CountFree, nullptr);
    uses.Take();
    uses.Take();
    uses.Give();
    EXPECT_EQ(0, g_freed);
    uses.Give();
    EXPECT_EQ(1, g_freed);

    g_freed = 0;
    const int kThreads = 8, kRounds = 2000;
    uses.Take();   // held until every thread is done
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                uses.Take();
                uses.Give();
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, g_freed);
    EXPECT_EQ(1, uses.Value());
    uses.Give();
    EXPECT_EQ(1, g_freed);
}

TEST(RostDialogsTipDay, OnlyAStoredOneHidesTheWindowAndTheKeyIsNeverMade) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTipDayKey);
    EXPECT_TRUE(TipDayWanted());
    EXPECT_FALSE(StoreTipDay(true));
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTipDayKey, 0, KEY_READ, &key));

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTipDayKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    EXPECT_TRUE(TipDayWanted()) << "no value";
    EXPECT_TRUE(StoreTipDay(true));
    EXPECT_FALSE(TipDayWanted());
    EXPECT_TRUE(StoreTipDay(false));
    EXPECT_TRUE(TipDayWanted());
    DWORD two = 2;
    RegSetValueExW(key, L"TipDay", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);
    EXPECT_TRUE(TipDayWanted());
    // A text "1" is not the number the choice is kept as.
    RegSetValueExW(key, L"TipDay", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
    EXPECT_TRUE(TipDayWanted());
    RegCloseKey(key);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kTipDayKey);
}

TEST(RostDialogsTipDay, ThePageIsNamedByTheCurrentSkin) {
    EXPECT_EQ(testkit::ProgramDir() + L"Skins\\Default\\tipday.htm", TipDayPage());
}

}  // namespace
