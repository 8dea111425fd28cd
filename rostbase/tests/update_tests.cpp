// Every lasting change carried into the contact file: the saved file parsed back.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ContactFixtures.h"
#include "Handles.h"
#include "ModulePath.h"
#include "Recorder.h"
#include "RostApi.h"
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"
#include "XmlFile.h"

using vantor::xml::XmlDoc;
using vantor::xml::XmlFile;
using vantor::xml::XmlNode;

namespace {

RostApi& Api() { return RostApi::Get(); }

struct Book {
    vantor::ScopedCom com;  // for parsing the saved file here
    Book(const wchar_t* name, const std::string& bytes) : account(FreshAccount(name)) {
        PutContactFile(account, bytes);
        h = Api().LoadW(account.c_str());
    }
    ~Book() { Api().Unload(h); }
    std::string Bytes() const { return testkit::ReadFileBytes(ContactFileOf(account)); }
    // The saved file, parsed again.
    XmlDoc& Saved() {
        doc = XmlDoc();
        XmlFile file;
        EXPECT_TRUE(file.Load(ContactFileOf(account), &doc)) << "the saved file parses";
        return doc;
    }
    XmlNode At(const std::wstring& query) { return Saved().SelectSingleNode(query); }
    FriendHandle F(const wchar_t* id) { return Api().IsUserInFriendsW(h, id, nullptr); }
    GroupHandle G(const wchar_t* id) { return GroupById(h, id); }
    std::wstring account;
    RostBaseHandle h;
    XmlDoc doc;
};

std::vector<std::wstring> AttributeNames(const XmlNode& n) {
    std::vector<std::wstring> names;
    for (auto& a : n.Attributes()) names.push_back(a.first);
    return names;
}

std::vector<std::wstring> ChildIds(const XmlNode& n) {
    std::vector<std::wstring> ids;
    for (XmlNode c = n.FirstChildElement(); c; c = c.NextSiblingElement()) ids.push_back(c.Name() + L":" + c.AttributeOr(L"id"));
    return ids;
}

const std::vector<std::wstring> kThirteen = {L"id",  L"nickname", L"name",  L"birthday", L"email", L"voip", L"phone",
                                             L"mobile", L"xlt",    L"province", L"city", L"age",  L"sex"};
const std::vector<std::wstring> kDownloadOrder = {L"id",    L"nickname", L"name",   L"sex", L"birthday",
                                                  L"email", L"voip",     L"phone",  L"mobile", L"xlt",
                                                  L"province", L"city", L"age"};

FriendInfoW Friend(const wchar_t* id, const wchar_t* nickname) {
    FriendInfoW f = {};
    lstrcpynW(f.id, id, 24);
    lstrcpynW(f.nickname, nickname, 24);
    return f;
}

const std::wstring kGroup1011 = L"AddressList/FriendList/Group[@id='10']/Group[@id='101']/Group[@id='1011']";

std::vector<std::string> Heard(HMODULE recorder) {
    std::vector<std::string> names;
    int n = vantor::ProcAddress<Recorder_CountProc>(recorder, "Recorder_Count")();
    for (int i = 0; i < n; ++i) {
        RecordedCall c = {};
        vantor::ProcAddress<Recorder_GetProc>(recorder, "Recorder_Get")(i, &c);
        names.push_back(c.name);
    }
    return names;
}

}  // namespace

TEST(ContactFileUpdates, FriendsAndPoliciesReachTheFile) {
    Book b(L"rb_upd_friend", GbkFile(DownloadedBook()));
    vantor::UniqueModule recorder(vantor::LoadProgramLibrary(L"RostRecorder.dll"));
    LONG sequence = 0;
    vantor::ProcAddress<Recorder_ResetProc>(recorder.get(), "Recorder_Reset")(&sequence, nullptr);
    ASSERT_TRUE(Api().RegisterEventModule(b.h, recorder.get(), 3));

    // Added three levels down, behind what the group held, with all thirteen attributes.
    FriendInfoW f = Friend(L"n1", L"新朋友");
    f.age = -1;
    f.sex = 2;
    lstrcpyW(f.city, L"广州");
    FriendHandle added = Api().AddFriendW(b.h, &f, b.G(L"1011"));
    ASSERT_NE(nullptr, added);
    XmlNode group = b.At(kGroup1011);
    EXPECT_EQ((std::vector<std::wstring>{L"Friend:13900000003", L"Friend:n1"}), ChildIds(group));
    XmlNode element = group.FirstChildElement().NextSiblingElement();
    EXPECT_EQ(kThirteen, AttributeNames(element));
    EXPECT_EQ(L"-1", element.AttributeOr(L"age"));
    EXPECT_EQ(L"新朋友", element.AttributeOr(L"nickname"));
    EXPECT_FALSE(element.FirstChild());
    std::string before = b.Bytes();
    EXPECT_EQ(nullptr, Api().AddFriendW(b.h, &f, b.G(L"1011")));
    EXPECT_EQ(before, b.Bytes()) << "a refused add leaves the file alone";

    // Modified in a nested group: values in place, the download's attribute order kept.
    f = Friend(L"13900000003", L"表哥改");
    lstrcpyW(f.email, L"b@g");
    f.age = 33;
    lstrcpyW(f.name, L"<&\"'>");
    ASSERT_TRUE(Api().ModifyFriendW(b.h, b.F(L"13900000003"), &f));
    element = b.At(kGroup1011 + L"/Friend[@id='13900000003']");
    EXPECT_EQ(kDownloadOrder, AttributeNames(element));
    EXPECT_EQ(L"表哥改", element.AttributeOr(L"nickname"));
    EXPECT_EQ(L"b@g", element.AttributeOr(L"email"));
    EXPECT_EQ(L"", element.AttributeOr(L"city", L"?"));
    EXPECT_EQ(L"33", element.AttributeOr(L"age"));

    // An 8-bit add with Chinese text, and a character GB2312 cannot hold.
    FriendInfoA fa = {};
    lstrcpyA(fa.id, "n2");
    lstrcpyA(fa.nickname, testkit::Ansi("甲乙").c_str());
    ASSERT_NE(nullptr, Api().AddFriendA(b.h, &fa, b.G(L"102")));
    f = Friend(L"n3", L"笑\U0001F600");
    ASSERT_NE(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102")));
    EXPECT_NE(std::string::npos, b.Bytes().find("&#128512;"));
    // Characters XML cannot hold at all do not make the file unreadable.
    f = Friend(L"n4", L"a\x01" L"b\xD800" L"c");
    ASSERT_NE(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102")));
    EXPECT_EQ(L"a\xFFFD" L"b\xFFFD" L"c",
              b.At(L"AddressList/FriendList/Group/Group[@id='102']/Friend[@id='n4']").AttributeOr(L"nickname"));
    EXPECT_EQ(0u, b.Bytes().find("<?xml version=\"1.0\" encoding=\"gb2312\"?>"));

    // Policies saved replace every child of the friend's element.
    ServicePolicyInfoW p[2] = {};
    p[0].id = 9;
    p[0].flags[4] = 2;
    lstrcpyW(p[0].name, L"在线");
    p[0].codeCount = 1;
    lstrcpyW(p[0].codes[0], L"k=2");
    p[1].id = 33;
    p[1].codeCount = 0;
    ASSERT_TRUE(Api().AddServicePolicyW(b.h, b.F(L"u2001"), p, 2, 1));
    XmlNode net = b.At(L"AddressList/FriendList/Group[@id='11']/Friend[@id='u2001']");
    EXPECT_EQ((std::vector<std::wstring>{L"ServicePolicy:9", L"ServicePolicy:19", L"ServicePolicy:33"}), ChildIds(net));
    XmlNode first = net.FirstChildElement();
    EXPECT_EQ((std::vector<std::wstring>{L"id", L"name", L"code0", L"status"}), AttributeNames(first));
    EXPECT_EQ(L"2", first.AttributeOr(L"status"));
    before = b.Bytes();
    ASSERT_TRUE(Api().AddServicePolicyW(b.h, b.F(L"u2002"), p, 1, 0));
    EXPECT_EQ(before, b.Bytes()) << "not saved without the flag";

    EXPECT_EQ((std::vector<std::string>{"OnAddFriend", "OnModifyFriend", "OnAddFriend", "OnAddFriend", "OnAddFriend",
                                        "OnUpdateFriendSerivcePolicys", "OnUpdateFriendSerivcePolicys"}),
              Heard(recorder.get()));
    Api().UnregisterEventModule(b.h, recorder.get());

    // A reload gives back the same records.
    RostBaseHandle again = Api().LoadW(b.account.c_str());
    for (const wchar_t* id : {L"n1", L"n2", L"n3", L"13900000003", L"u2001"}) {
        FriendInfoW mem = {}, disk = {};
        ASSERT_TRUE(Api().GetFriendInfoW(b.h, b.F(id), &mem));
        ASSERT_TRUE(Api().GetFriendInfoW(again, Api().IsUserInFriendsW(again, id, nullptr), &disk)) << id;
        EXPECT_EQ(0, std::memcmp(&mem, &disk, sizeof(mem))) << id;
    }
    ServicePolicyInfoW q = {};
    ASSERT_TRUE(Api().QueryFriendServicePolicyW(again, Api().IsUserInFriendsW(again, L"u2001", nullptr), 9, &q));
    EXPECT_STREQ(L"k=2", q.codes[0]);
    FriendInfoA back = {};
    ASSERT_TRUE(Api().GetFriendInfoA(again, Api().IsUserInFriendsA(again, "n2", nullptr), &back));
    EXPECT_EQ(testkit::Ansi("甲乙"), std::string(back.nickname));
    Api().Unload(again);
}

TEST(ContactFileUpdates, GroupsMovesAndListsReachTheFile) {
    Book b(L"rb_upd_groups", GbkFile(DownloadedBook()));
    GroupInfoW g = {};
    lstrcpyW(g.id, L"103");
    lstrcpyW(g.name, L"新组");
    ASSERT_TRUE(Api().AddGroupW(b.h, &g, b.G(L"101")));
    XmlNode family = b.At(L"AddressList/FriendList/Group[@id='10']/Group[@id='101']");
    EXPECT_EQ((std::vector<std::wstring>{L"Friend:13900000002", L"Group:1011", L"Group:103"}), ChildIds(family));
    EXPECT_EQ((std::vector<std::wstring>{L"id", L"name"}), AttributeNames(family.FirstChildElement().NextSiblingElement().NextSiblingElement()));

    lstrcpyW(g.name, L"改名");
    ASSERT_TRUE(Api().ModifyGroupW(b.h, b.G(L"103"), &g));
    EXPECT_EQ(L"改名", b.At(L"AddressList/FriendList/Group/Group/Group[@id='103']").AttributeOr(L"name"));

    ASSERT_TRUE(Api().ChangeFriendGroup(b.h, b.F(L"13900000002"), b.G(L"101"), b.G(L"102")));
    XmlNode moved = b.At(L"AddressList/FriendList/Group[@id='10']/Group[@id='102']/Friend");
    EXPECT_EQ(L"13900000002", moved.AttributeOr(L"id"));
    EXPECT_EQ(kDownloadOrder, AttributeNames(moved)) << "moved unchanged";

    ASSERT_TRUE(Api().DelFriend(b.h, b.F(L"13900000001"), b.G(L"10")));
    EXPECT_FALSE(b.At(L"AddressList/FriendList/Group[@id='10']/Friend"));

    // Blocking moves the element with everything it holds.
    ASSERT_TRUE(Api().PreventUser(b.h, b.F(L"u2001"), b.G(L"11")));
    XmlNode black = b.At(L"AddressList/BlackList");
    EXPECT_EQ((std::vector<std::wstring>{L"Friend:bad1", L"Friend:u2001"}), ChildIds(black));
    EXPECT_EQ(2u, ChildIds(black.FirstChildElement().NextSiblingElement()).size()) << "policies went along";
    EXPECT_FALSE(b.At(L"AddressList/FriendList/Group[@id='11']/Friend"));
    ASSERT_TRUE(Api().DelBlackUserW(b.h, L"bad1"));
    FriendHandle u2001 = nullptr;
    Api().EnumBlackList(b.h, [](FriendHandle e, GroupHandle, UINT_PTR u) CALLBACK -> BOOL {
        *reinterpret_cast<FriendHandle*>(u) = e;
        return FALSE;
    }, reinterpret_cast<UINT_PTR>(&u2001));
    ASSERT_TRUE(Api().DelUserFromBlackList(b.h, u2001));
    EXPECT_TRUE(ChildIds(b.At(L"AddressList/BlackList")).empty());

    ASSERT_TRUE(Api().DelGroup(b.h, b.G(L"101"), b.G(L"10")));
    EXPECT_EQ((std::vector<std::wstring>{L"Group:102"}), ChildIds(b.At(L"AddressList/FriendList/Group[@id='10']")));

    // The reloaded file holds what memory holds.
    RostBaseHandle again = Api().LoadW(b.account.c_str());
    DWORD total = 0, totalAgain = 0;
    Api().StatFriends(b.h, Api().GetOffRootGroup(b.h), &total, nullptr);
    Api().StatFriends(again, Api().GetOffRootGroup(again), &totalAgain, nullptr);
    EXPECT_EQ(total, totalAgain);
    EXPECT_NE(nullptr, Api().IsUserInFriendsW(again, L"13900000002", nullptr));
    EXPECT_EQ(nullptr, Api().IsUserInFriendsW(again, L"13900000003", nullptr)) << "gone with its group";
    EXPECT_FALSE(Api().IsCodeInBlackListUserW(again, FRIEND_MATCH_ALL, nullptr));
    Api().Unload(again);
}

TEST(ContactFileUpdates, BlackListsAreMadeAndSearchedSoundly) {
    // No BlackList yet, and a friend whose element the group does not hold.
    Book b(L"rb_upd_black",
           GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"t\"><Friend id=\"a\" sex=\"2\"/></Group>"
                   L"<Group id=\"11\" name=\"n\"/></FriendList></AddressList>"));
    FriendInfoW f = Friend(L"m", L"仅内存");
    f.sex = 1;
    f.age = -5;
    FriendHandle m = Api().AddFriendW(b.h, &f, b.G(L"11"));
    PutContactFile(b.account, GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"t\"><Friend id=\"a\" sex=\"2\"/>"
                                      L"</Group><Group id=\"11\" name=\"n\"/></FriendList></AddressList>"));
    ASSERT_TRUE(Api().PreventUser(b.h, m, b.G(L"11")));
    XmlNode black = b.At(L"AddressList/BlackList");
    ASSERT_TRUE(black);
    EXPECT_EQ(L"0", black.AttributeOr(L"id"));
    EXPECT_EQ(L"黑名单", black.AttributeOr(L"name"));
    XmlNode built = black.FirstChildElement();
    EXPECT_EQ(kThirteen, AttributeNames(built)) << "sex included";
    EXPECT_EQ(L"-5", built.AttributeOr(L"age"));
    EXPECT_EQ(L"1", built.AttributeOr(L"sex"));

    // Two BlackList elements: blocking appends to the last, unblocking finds either.
    PutContactFile(b.account, GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"t\"><Friend id=\"a\" sex=\"2\"/>"
                                      L"</Group></FriendList><BlackList id=\"0\"/><BlackList id=\"x\"><Friend id=\"m\"/>"
                                      L"</BlackList></AddressList>"));
    ASSERT_TRUE(Api().DelUserFromBlackList(b.h, m));
    EXPECT_TRUE(ChildIds(b.At(L"AddressList/BlackList[@id='x']")).empty());
    ASSERT_TRUE(Api().PreventUser(b.h, b.F(L"a"), b.G(L"10")));
    EXPECT_EQ((std::vector<std::wstring>{L"Friend:a"}), ChildIds(b.At(L"AddressList/BlackList[@id='x']")));
    EXPECT_EQ(L"2", b.At(L"AddressList/BlackList[@id='x']/Friend").AttributeOr(L"sex"));
}

TEST(ContactFileUpdates, CommentsAndIndentationHideNothing) {
    Book b(L"rb_upd_comments",
           GbkFile(L"<AddressList>\r\n  <!-- downloaded -->\r\n  <FriendList id=\"1\">\r\n    <!-- telephone -->\r\n"
                   L"    <Group id=\"10\" name=\"t\">\r\n      <?note x?>\r\n      <Group id=\"20\" name=\"s\">\r\n"
                   L"        <!-- friends -->\r\n        <Friend id=\"c\" name=\"只有名\"/>\r\n"
                   L"        <Friend id=\"d\" name=\"丁\"/>\r\n      </Group>\r\n    </Group>\r\n"
                   L"    <!-- network -->\r\n    <Group id=\"11\" name=\"n\"><!--x--><Friend id=\"e\"/></Group>\r\n"
                   L"  </FriendList>\r\n</AddressList>\r\n"));
    FriendInfoW f = Friend(L"c", L"昵称");
    ASSERT_TRUE(Api().ModifyFriendW(b.h, b.F(L"c"), &f));
    XmlNode c = b.At(L"AddressList/FriendList/Group/Group[@id='20']/Friend[@id='c']");
    std::vector<std::wstring> expected = {L"id", L"name", L"nickname", L"birthday", L"email", L"voip", L"phone",
                                          L"mobile", L"xlt", L"province", L"city", L"age", L"sex"};
    EXPECT_EQ(expected, AttributeNames(c)) << "id and name in place, the others behind";
    EXPECT_EQ(L"", c.AttributeOr(L"name", L"?"));

    GroupInfoW g = {};
    lstrcpyW(g.id, L"20");
    lstrcpyW(g.name, L"改");
    ASSERT_TRUE(Api().ModifyGroupW(b.h, b.G(L"20"), &g));
    EXPECT_EQ(L"改", b.At(L"AddressList/FriendList/Group/Group[@id='20']").AttributeOr(L"name"));
    ASSERT_TRUE(Api().PreventUser(b.h, b.F(L"e"), b.G(L"11")));
    EXPECT_FALSE(b.At(L"AddressList/FriendList/Group[@id='11']/Friend")) << "moved, not copied";
    EXPECT_TRUE(b.At(L"AddressList/BlackList/Friend[@id='e']"));
    ASSERT_TRUE(Api().DelFriend(b.h, b.F(L"d"), b.G(L"20")));
    EXPECT_FALSE(b.At(L"AddressList/FriendList/Group/Group/Friend[@id='d']"));
    f = Friend(L"z", L"");
    ASSERT_TRUE(Api().AddFriendW(b.h, &f, b.G(L"11")));
    EXPECT_TRUE(b.At(L"AddressList/FriendList/Group[@id='11']/Friend[@id='z']"));
}

TEST(ContactFileUpdates, FriendsKnownByAnIdOfAnyCaseAreFound) {
    // The file's words as the reader takes them: "ID" is the friend's id as well.
    Book b(L"rb_upd_idcase",
           GbkFile(L"<AddressList><FriendList id=\"1\"><Group id=\"10\" name=\"t\"><Friend ID=\"a\" name=\"甲\"/>"
                   L"<Friend id=\"b\" name=\"乙\"/><Friend id=\"\" Id=\"c\"/></Group><Group id=\"11\" name=\"n\"/>"
                   L"</FriendList></AddressList>"));
    FriendInfoW f = Friend(L"a", L"昵称");
    ASSERT_TRUE(Api().ModifyFriendW(b.h, b.F(L"a"), &f));
    EXPECT_EQ(L"昵称", b.At(L"AddressList/FriendList/Group/Friend[@ID='a']").AttributeOr(L"nickname"));
    ASSERT_TRUE(Api().DelFriend(b.h, b.F(L"c"), b.G(L"10")));
    EXPECT_FALSE(b.At(L"AddressList/FriendList/Group/Friend[@Id='c']"));
    EXPECT_TRUE(b.At(L"AddressList/FriendList/Group/Friend[@id='b']"));
}

TEST(ContactFileUpdates, FailedUpdatesLeaveTheFileAsItWas) {
    Book b(L"rb_upd_fail", GbkFile(DownloadedBook()));
    // The group's element is not in the file (the file changed behind the store's back).
    PutContactFile(b.account, GbkFile(L"<AddressList><FriendList><Group id=\"10\" name=\"t\"/></FriendList></AddressList>"));
    std::string before = b.Bytes();
    FriendInfoW f = Friend(L"x1", L"");
    FriendHandle x1 = Api().AddFriendW(b.h, &f, b.G(L"102"));
    EXPECT_NE(nullptr, x1) << "the memory change stands";
    EXPECT_TRUE(Api().ModifyFriendW(b.h, x1, &f));
    EXPECT_TRUE(Api().DelGroup(b.h, b.G(L"1011"), b.G(L"101")));
    EXPECT_TRUE(Api().DelBlackUserW(b.h, L"bad1"));
    EXPECT_EQ(before, b.Bytes());

    // Saved policies lift a read-only mark; other updates leave such a file alone.
    PutContactFile(b.account, GbkFile(DownloadedBook()));
    std::wstring marked = ContactFileOf(b.account);
    SetFileAttributesW(marked.c_str(), FILE_ATTRIBUTE_READONLY);
    ServicePolicyInfoW sp = {};
    sp.id = 44;
    ASSERT_TRUE(Api().AddServicePolicyW(b.h, b.F(L"13900000001"), &sp, 1, 1));
    EXPECT_TRUE(b.At(L"AddressList/FriendList/Group[@id='10']/Friend[@id='13900000001']/ServicePolicy[@id='44']"));
    EXPECT_EQ(0u, GetFileAttributesW(marked.c_str()) & FILE_ATTRIBUTE_READONLY);

    // A save that cannot replace the file: the original stays byte for byte, no temporary is left.
    PutContactFile(b.account, GbkFile(DownloadedBook()));
    before = b.Bytes();
    std::wstring path = ContactFileOf(b.account);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    f = Friend(L"x2", L"");
    EXPECT_EQ(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102"))) << "a change the file did not take is not done";
    EXPECT_EQ(before, b.Bytes());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    vantor::UniqueFind leftovers(FindFirstFileW((folder + L"*.tmp").c_str(), &found));
    EXPECT_FALSE(leftovers);

    // No file, no write: the file is never created by an update.
    DeleteFileW(path.c_str());
    f = Friend(L"x4", L"");
    EXPECT_NE(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102")));
    ServicePolicyInfoW p = {};
    p.id = 1;
    EXPECT_TRUE(Api().AddServicePolicyW(b.h, b.F(L"x4"), &p, 1, 1));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

namespace {
// One change of each kind on the downloaded book: made, and whether a store shows it.
struct BookChange {
    const char* name;
    bool (*make)(Book& b);
    bool (*shown)(RostBaseHandle h);
};

GroupHandle GroupOf(RostBaseHandle h, const wchar_t* friendId) {
    GroupHandle g = nullptr;
    Api().IsUserInFriendsW(h, friendId, &g);
    return g;
}

std::wstring GroupId(RostBaseHandle h, GroupHandle g) {
    GroupInfoW info = {};
    return g && Api().GetGroupInfoW(h, g, &info) ? info.id : L"";
}

std::wstring Nickname(RostBaseHandle h, const wchar_t* friendId) {
    FriendInfoW info = {};
    Api().GetFriendInfoW(h, Api().IsUserInFriendsW(h, friendId, nullptr), &info);
    return info.nickname;
}

bool HasGroup(RostBaseHandle h, const wchar_t* id, const wchar_t* name = nullptr) {
    GroupHandle g = GroupById(h, id);
    GroupInfoW info = {};
    return g && (!name || (Api().GetGroupInfoW(h, g, &info) && lstrcmpW(info.name, name) == 0));
}

const BookChange kChanges[] = {
    {"AddFriendW",
     [](Book& b) {
         FriendInfoW f = Friend(L"x1", L"新人");
         return Api().AddFriendW(b.h, &f, b.G(L"102")) != nullptr;
     },
     [](RostBaseHandle h) { return GroupId(h, GroupOf(h, L"x1")) == L"102"; }},
    {"ModifyFriendW",
     [](Book& b) {
         FriendInfoW f = Friend(L"u2001", L"改过");
         return Api().ModifyFriendW(b.h, b.F(L"u2001"), &f) != FALSE;
     },
     [](RostBaseHandle h) { return Nickname(h, L"u2001") == L"改过"; }},
    {"DelFriend", [](Book& b) { return Api().DelFriend(b.h, b.F(L"13900000002"), b.G(L"101")) != FALSE; },
     [](RostBaseHandle h) { return Api().IsUserInFriendsW(h, L"13900000002", nullptr) == nullptr; }},
    {"ChangeFriendGroup",
     [](Book& b) { return Api().ChangeFriendGroup(b.h, b.F(L"13900000001"), b.G(L"10"), b.G(L"102")) != FALSE; },
     [](RostBaseHandle h) { return GroupId(h, GroupOf(h, L"13900000001")) == L"102"; }},
    {"PreventUser", [](Book& b) { return Api().PreventUser(b.h, b.F(L"13900000003"), b.G(L"1011")) != FALSE; },
     [](RostBaseHandle h) { return Api().IsUserInBlackListW(h, L"13900000003") != FALSE; }},
    {"AddGroupW",
     [](Book& b) {
         GroupInfoW g = {};
         lstrcpyW(g.id, L"g9");
         lstrcpyW(g.name, L"新组");
         return Api().AddGroupW(b.h, &g, b.G(L"101")) != FALSE;
     },
     [](RostBaseHandle h) { return HasGroup(h, L"g9"); }},
    {"DelGroup", [](Book& b) { return Api().DelGroup(b.h, b.G(L"111"), b.G(L"11")) != FALSE; },
     [](RostBaseHandle h) { return !HasGroup(h, L"111"); }},
    {"DelBlackUserW", [](Book& b) { return Api().DelBlackUserW(b.h, L"bad1") != FALSE; },
     [](RostBaseHandle h) { return !Api().IsUserInBlackListW(h, L"bad1"); }},
    {"AddServicePolicyW",
     [](Book& b) {
         ServicePolicyInfoW p = {};
         p.id = 44;
         return Api().AddServicePolicyW(b.h, b.F(L"u2001"), &p, 1, 1) != FALSE;
     },
     [](RostBaseHandle h) {
         return Api().QueryFriendServicePolicyW(h, Api().IsUserInFriendsW(h, L"u2001", nullptr), 44, nullptr) != FALSE;
     }},
    {"ModifyGroupW",
     [](Book& b) {
         GroupInfoW g = {};
         lstrcpyW(g.id, L"102");
         lstrcpyW(g.name, L"同事们");
         return Api().ModifyGroupW(b.h, b.G(L"102"), &g) != FALSE;
     },
     [](RostBaseHandle h) { return HasGroup(h, L"102", L"同事们"); }},
};
}  // namespace

TEST(ContactFileUpdates, AChangeTheFileCannotTakeIsNotMadeAndCanBeMadeAgain) {
    const std::string original = GbkFile(DownloadedBook());
    Book b(L"rb_upd_unsaved", original);
    const std::wstring path = ContactFileOf(b.account);
    vantor::UniqueModule recorder(vantor::LoadProgramLibrary(L"RostRecorder.dll"));
    LONG sequence = 0;
    vantor::ProcAddress<Recorder_ResetProc>(recorder.get(), "Recorder_Reset")(&sequence, nullptr);
    ASSERT_TRUE(Api().RegisterEventModule(b.h, recorder.get(), 3));

    // What stands in the way, and what takes it away again.
    std::string badBytes = original;
    badBytes.insert(badBytes.find("u2001") + 2, "\x81\x20");  // a lead byte without its trail byte
    struct Obstacle {
        const char* name;
        std::function<void()> put, lift;
    };
    vantor::UniqueHandle held;
    const std::wstring blocker = path + L".save.tmp";
    const Obstacle obstacles[] = {
        {"the file held without sharing",
         [&] { held.reset(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); },
         [&] { held.reset(); }},
        {"bytes its encoding does not allow", [&] { PutContactFile(b.account, badBytes); },
         [&] { PutContactFile(b.account, original); }},
        {"a file the parser refuses", [&] { PutContactFile(b.account, original.substr(0, original.size() / 2)); },
         [&] { PutContactFile(b.account, original); }},
        {"a save that cannot be made", [&] { CreateDirectoryW(blocker.c_str(), nullptr); },
         [&] { RemoveDirectoryW(blocker.c_str()); }},
    };
    for (const Obstacle& obstacle : obstacles) {
        obstacle.put();
        std::string before = b.Bytes();
        for (const BookChange& change : kChanges) {
            EXPECT_FALSE(change.make(b)) << change.name << " answered as done with " << obstacle.name;
            EXPECT_FALSE(change.shown(b.h)) << change.name << " made in memory with " << obstacle.name;
        }
        EXPECT_EQ(before, b.Bytes()) << obstacle.name;
        obstacle.lift();
    }
    EXPECT_TRUE(Heard(recorder.get()).empty()) << "modules told of changes not made";
    EXPECT_EQ(original, b.Bytes());

    // The same changes made again, once nothing is in the way: each is done, told and saved.
    for (const BookChange& change : kChanges) EXPECT_TRUE(change.make(b)) << change.name;
    EXPECT_EQ(10u, Heard(recorder.get()).size());
    RostBaseHandle again = Api().LoadW(b.account.c_str());
    for (const BookChange& change : kChanges) EXPECT_TRUE(change.shown(again)) << change.name << " not in the file";
    Api().Unload(again);
}

namespace {
struct PolicyAdd {
    RostBaseHandle h;
    FriendHandle entry;
    BOOL result;
};

DWORD WINAPI AddPolicySeven(void* param) {
    auto* add = static_cast<PolicyAdd*>(param);
    ServicePolicyInfoW p = {};
    p.id = 7;
    p.flags[SERVICE_POLICY_STATUS_FLAG] = 1;
    add->result = Api().AddServicePolicyW(add->h, add->entry, &p, 1, 1);
    return 0;
}

WORD PolicyStatus(RostBaseHandle h, FriendHandle entry, DWORD id) {
    ServicePolicyInfoW p = {};
    return Api().QueryFriendServicePolicyW(h, entry, id, &p) ? p.flags[SERVICE_POLICY_STATUS_FLAG] : 0xFFFF;
}
}  // namespace

TEST(ContactFileUpdates, APolicyChangeWaitingForTheFileKeepsWhatChangedMeanwhile) {
    Book b(L"rb_upd_policy_wait", GbkFile(DownloadedBook()));
    FriendHandle self = Api().GetCurrentAccount(b.h);
    ServicePolicyInfoW service = {};
    service.id = 19;
    ASSERT_TRUE(Api().AddServicePolicyW(b.h, self, &service, 1, 0));
    PolicyAdd add = {b.h, self, FALSE};
    HANDLE thread = nullptr;
    {
        // Another writer holds the file: the saved add waits for it.
        vantor::xml::FileWriterLock other(ContactFileOf(b.account));
        ASSERT_TRUE(other);
        thread = CreateThread(nullptr, 0, AddPolicySeven, &add, 0, nullptr);
        Sleep(300);
        EXPECT_EQ(0xFFFF, PolicyStatus(b.h, self, 7)) << "readers see the book as it was";
        // Meanwhile the service's status changes in memory.
        service.flags[SERVICE_POLICY_STATUS_FLAG] = 1;
        EXPECT_TRUE(Api().UpdateServicePolicyDataW(b.h, 19, &service));
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_TRUE(add.result);
    EXPECT_EQ(1, PolicyStatus(b.h, self, 7));
    EXPECT_EQ(1, PolicyStatus(b.h, self, 19)) << "the status changed meanwhile was lost";
}

namespace {
struct Writer {
    RostBaseHandle h;
    GroupHandle group;
    wchar_t prefix;
    int done;
};

DWORD WINAPI AddSixtyFriends(void* param) {
    vantor::ScopedCom com;
    Writer* w = static_cast<Writer*>(param);
    for (int i = 0; i < 60; ++i) {
        FriendInfoW add = {};
        swprintf(add.id, 24, L"%c%d", w->prefix, i);
        if (Api().AddFriendW(w->h, &add, w->group)) ++w->done;
    }
    return 0;
}
}  // namespace

TEST(ContactFileUpdates, AFailedSaveIsReportedAndConcurrentWritersLoseNothing) {
    Book b(L"rb_upd_report", GbkFile(DownloadedBook()));
    std::wstring path = ContactFileOf(b.account);
    // Something in the way of the save's temporary file: every save fails, and says so.
    std::wstring blocker = path + L".save.tmp";
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    std::string before = b.Bytes();
    FriendInfoW f = Friend(L"y1", L"");
    EXPECT_EQ(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102")));
    GroupInfoW g = {};
    lstrcpyW(g.id, L"y2");
    EXPECT_FALSE(Api().AddGroupW(b.h, &g, b.G(L"102")));
    EXPECT_EQ(before, b.Bytes());
    RemoveDirectoryW(blocker.c_str());
    f = Friend(L"y3", L"");
    EXPECT_NE(nullptr, Api().AddFriendW(b.h, &f, b.G(L"102")));

    // Two stores of one book (as two processes have) adding at once: every add answered
    // as done is in the file.
    RostBaseHandle other = Api().LoadW(b.account.c_str());
    Writer writers[2] = {{b.h, Api().GetOnRootGroup(b.h), L'p'}, {other, Api().GetOnRootGroup(other), L'q'}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) threads[i] = CreateThread(nullptr, 0, AddSixtyFriends, &writers[i], 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE t : threads) CloseHandle(t);
    Api().Unload(other);
    int inFile = 0;
    for (const XmlNode& n : b.Saved().SelectNodes(L"//Friend")) {
        std::wstring id = n.AttributeOr(L"id");
        if (!id.empty() && (id[0] == L'p' || id[0] == L'q')) ++inFile;
    }
    EXPECT_EQ(120, writers[0].done + writers[1].done);
    EXPECT_EQ(writers[0].done + writers[1].done, inFile);
}

namespace {
std::string g_tempSeen;
bool RefuseReplace(const std::wstring& temp) {
    g_tempSeen = testkit::ReadFileBytes(temp);
    return false;
}
}  // namespace

TEST(ContactFileUpdates, ASaveInterruptedBeforeTheReplaceKeepsTheOriginal) {
    vantor::ScopedCom com;
    std::wstring dir = testkit::FreshDir(L"rb_interrupted");
    std::wstring path = dir + L"rostledger.xml";
    std::string original = GbkFile(DownloadedBook());
    ASSERT_TRUE(testkit::WriteFileBytes(path, original));
    XmlDoc doc;
    XmlFile file;
    ASSERT_TRUE(file.Load(path, &doc));
    XmlNode root = doc.Root();
    ASSERT_TRUE(root.Remove(root.FirstChildElement()));
    EXPECT_FALSE(file.Save(doc, path, RefuseReplace));
    EXPECT_EQ(original, testkit::ReadFileBytes(path));
    EXPECT_EQ(file.Encode(doc), g_tempSeen) << "the temporary file was complete";
    WIN32_FIND_DATAW found;
    vantor::UniqueFind leftovers(FindFirstFileW((dir + L"*.tmp").c_str(), &found));
    EXPECT_FALSE(leftovers);
    EXPECT_TRUE(file.Save(doc, path));
    EXPECT_NE(original, testkit::ReadFileBytes(path));
}
