// The contact-file download: what the rebuilt file holds, when it is written, and the
// stamp that goes with it.
#include "PresenceHarness.h"

#include "Handles.h"
#include "ModulePath.h"

#include <algorithm>
#include "TestSupport.h"
#include "Text.h"
#include "XmlDoc.h"

#include "../../rostbase/RostBase.h"

using namespace pstest;
using testkit::Ansi;
using testkit::Wide;
using vantor::xml::XmlNode;

namespace {

const char kStamp[] = "20240101120000";

std::string V(const char* name, const char* text) { return Cell(name, text); }

std::string Item(const std::string& values) { return "<item>" + values + "</item>"; }

std::string Container(const std::string& items) { return "<cell name=\"friendList\" type=\"27\">" + items + "</cell>"; }

std::string GroupList(const std::string& values) { return "<cell name=\"groupList\" type=\"27\">" + values + "</cell>"; }

// The reply of a first download: Chinese names, nested groups, flags, lists of each kind.
std::string FullReply(const char* stamp = kStamp, const std::string& extra = std::string()) {
    std::string friends =
        Item(V("friendID", "u2001") + V("contactname", "李四") + V("sex", "1") + V("age", "30") + V("mobile", "139") +
             V("voip-number", "v9") + V("xiaolingtong", "x9") + V("DelFlag", "0")) +
        Item(V("friendID", "u2002") + V("contactname", "删掉") + V("DelFlag", "1")) +
        Item("<value name=\"friendID\" type=\"8\">u2004</value>" + V("BlackState", "1")) +
        Item(V("groupID", "12") + V("groupName", "子组") + V("DelFlag", "1") +
             Container(Item(V("friendID", "u2005") + V("contactname", "王五")))) +
        Item(V("groupID", "13") + V("groupName", "两者") + V("friendID", "u2006")) + Item(V("friendID", "u2007"));
    std::string lists =
        GroupList(V("groupID", "1") + V("groupName", "好友") + V("pargroupID", "") +
                  Container(Item(V("groupID", "11") + V("groupName", "网上好友") + Container(friends)))) +
        GroupList(V("groupID", "0") + Container(Item(V("friendID", "u3001") + V("contactname", "黑")))) +
        "<cell name=\"groupList\" type=\"27\"></cell>" + GroupList(V("groupID", "5"));
    std::string timeCell = stamp ? Cell("time", stamp) : std::string();
    return Reply((timeCell + lists + extra).c_str());
}

// Loads a contact file the way a reader must: bytes in code page 936 behind the
// declaration that names it.
bool LoadContactFile(const std::wstring& path, vantor::xml::XmlDoc* doc, std::string* firstLine) {
    std::string bytes = testkit::ReadFileBytes(path);
    size_t end = bytes.find("?>");
    if (end == std::string::npos) return false;
    *firstLine = bytes.substr(0, end + 2);
    std::wstring text = vantor::DecodeBytes(bytes.data() + end + 2, bytes.size() - end - 2, 936);
    return doc->LoadText(text);
}

std::vector<std::wstring> AttributeNames(const XmlNode& node) {
    std::vector<std::wstring> names;
    for (const auto& a : node.Attributes()) names.push_back(a.first);
    return names;
}

class DownloadTest : public PresenceTest {
protected:
    void SetUp() override {
        PresenceTest::SetUp();
        path_ = ProgramFolder() + L"u1001\\rostledger.xml";
        pathA_ = vantor::WideToAnsi(path_);
        FriendInfoA account = Account();
        ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
        FakeServer::Reset();
    }
    std::string Stamp() { return ReadRunProf("RostLedgerStamp", pathA_.c_str()); }
    bool TmpLeft() { return GetFileAttributesW((path_ + L".tmp").c_str()) != INVALID_FILE_ATTRIBUTES; }
    // Downloads the full reply once, so that a file and a stamp exist.
    void FirstDownload() {
        FakeServer::Queue("IncrementGetAddressList", FullReply());
        ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
        FakeServer::Reset();
    }
    std::wstring path_;
    std::string pathA_;
    vantor::ScopedCom com_;
};

TEST_F(DownloadTest, FirstDownloadWritesTheWholeTree) {
    FakeServer::Queue("IncrementGetAddressList", FullReply(kStamp, "<P><V><C><ID>u9</ID></C></V></P>"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    Post post = FakeServer::Only();
    EXPECT_EQ("/web/IncrementGetAddressList.do", post.path);
    EXPECT_EQ("time=00000000000000", post.body);
    EXPECT_EQ(kStamp, Stamp());
    EXPECT_FALSE(TmpLeft());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ProgramFolder() + L"u1001\\psproxy.ppi").c_str()));

    vantor::xml::XmlDoc doc;
    std::string declaration;
    ASSERT_TRUE(LoadContactFile(path_, &doc, &declaration));
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"gb2312\"?>", declaration);
    XmlNode root = doc.Root();
    EXPECT_EQ(L"AddressList", root.Name());
    EXPECT_EQ(L"1.0", root.AttributeOr(L"version"));
    std::vector<XmlNode> lists = root.ChildElements();
    ASSERT_EQ(3u, lists.size());
    EXPECT_EQ(L"FriendList", lists[0].Name());
    EXPECT_EQ((std::vector<std::wstring>{L"id"}), AttributeNames(lists[0]));
    EXPECT_EQ(L"1", lists[0].AttributeOr(L"id"));
    EXPECT_EQ(L"BlackList", lists[1].Name());
    EXPECT_EQ((std::vector<std::wstring>{L"id"}), AttributeNames(lists[1]));
    EXPECT_EQ(L"u3001", lists[1].FirstChildElement().AttributeOr(L"id"));
    EXPECT_EQ(L"FriendList", lists[2].Name());
    EXPECT_EQ(L"5", lists[2].AttributeOr(L"id"));
    EXPECT_TRUE(lists[2].ChildElements().empty());

    std::vector<XmlNode> groups = lists[0].ChildElements();
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ(L"Group", groups[0].Name());
    EXPECT_EQ(Wide("网上好友"), groups[0].AttributeOr(L"name"));
    std::vector<XmlNode> inside = groups[0].ChildElements();
    ASSERT_EQ(4u, inside.size());   // u2001, group 12, group 13, u2007
    EXPECT_EQ(L"Friend", inside[0].Name());
    EXPECT_EQ((std::vector<std::wstring>{L"id", L"nickname", L"name", L"sex", L"birthday", L"email", L"voip",
                                         L"phone", L"mobile", L"xlt", L"province", L"city", L"age"}),
              AttributeNames(inside[0]));
    EXPECT_EQ(L"u2001", inside[0].AttributeOr(L"id"));
    EXPECT_EQ(Wide("李四"), inside[0].AttributeOr(L"nickname"));
    EXPECT_EQ(Wide("李四"), inside[0].AttributeOr(L"name"));
    EXPECT_EQ(L"30", inside[0].AttributeOr(L"age"));
    EXPECT_EQ(L"139", inside[0].AttributeOr(L"mobile"));
    EXPECT_EQ(L"v9", inside[0].AttributeOr(L"voip"));
    EXPECT_EQ(L"x9", inside[0].AttributeOr(L"xlt"));
    EXPECT_TRUE(inside[0].HasAttribute(L"email"));
    // A deleted group keeps its children; a group with a friend id stays a group.
    EXPECT_EQ(L"Group", inside[1].Name());
    EXPECT_EQ(L"12", inside[1].AttributeOr(L"id"));
    EXPECT_EQ(Wide("王五"), inside[1].FirstChildElement().AttributeOr(L"name"));
    EXPECT_EQ(L"Group", inside[2].Name());
    EXPECT_EQ(L"13", inside[2].AttributeOr(L"id"));
    EXPECT_EQ(L"u2007", inside[3].AttributeOr(L"id"));
    EXPECT_EQ(L"", inside[3].AttributeOr(L"nickname", L"missing"));

    // The next download carries the stamp this one left.
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ(std::string("time=") + kStamp, FakeServer::Log().back().body);
}

TEST_F(DownloadTest, UnchangedAnswerKeepsFileAndStamp) {
    FirstDownload();
    std::string before = testkit::ReadFileBytes(path_);
    FakeServer::Queue("IncrementGetAddressList", FullReply(nullptr, "<P><V><C><ID>u9</ID></C></V></P>"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ(before, testkit::ReadFileBytes(path_));
    EXPECT_EQ(kStamp, Stamp());
    EXPECT_FALSE(TmpLeft());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ProgramFolder() + L"u1001\\psproxy.ppi").c_str()));

    // A read-only file is replaced all the same.
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
    FakeServer::Queue("IncrementGetAddressList",
                      Reply((Cell("time", "20250101000000") + GroupList(V("groupID", "7"))).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_NE(std::string::npos, testkit::ReadFileBytes(path_).find("<FriendList id=\"7\""));
    EXPECT_EQ("20250101000000", Stamp());

    // A stamp with line breaks stays one value: it cannot write keys of its own into
    // the run profile.
    FakeServer::Queue("IncrementGetAddressList",
                      Reply((Cell("time", "2026&#13;&#10;[Forged]&#13;&#10;key=77") + GroupList(V("groupID", "7"))).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ("<none>", ReadRunProf("Forged", "key"));
    EXPECT_EQ(0u, Stamp().find("2026")) << Stamp();
    EXPECT_NE(std::string::npos, Stamp().find("key=77")) << Stamp();
}

TEST_F(DownloadTest, FailuresLeaveFileAndStampAlone) {
    FirstDownload();
    std::string before = testkit::ReadFileBytes(path_);
    const struct {
        std::string reply;
        int status;
        int expected;
    } cases[] = {{"busy", 500, 10500}, {"<html>", 200, 500}, {Reply(Cell("message", "不行").c_str(), "0"), 200, 20}};
    for (const auto& c : cases) {
        FakeServer::Queue("IncrementGetAddressList", c.reply, c.status);
        EXPECT_EQ(c.expected, ps.PS_Cco_DownloadA(pathA_.c_str()));
        EXPECT_EQ(before, testkit::ReadFileBytes(path_));
        EXPECT_EQ(kStamp, Stamp());
        EXPECT_FALSE(TmpLeft());
    }

    // A contact file held open by someone else: the old file and stamp stay, and the
    // failure is reported.
    {
        vantor::UniqueHandle held(CreateFileW(path_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        FakeServer::Queue("IncrementGetAddressList", FullReply("20990101000000"));
        EXPECT_NE(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
        EXPECT_EQ(kStamp, Stamp());
        EXPECT_FALSE(TmpLeft());
    }
    EXPECT_EQ(before, testkit::ReadFileBytes(path_));

    // Without the file, a stamp alone would never bring it back: everything is asked for.
    DeleteFileW(path_.c_str());
    FakeServer::Reset();
    FakeServer::Queue("IncrementGetAddressList", Reply(""));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ("time=00000000000000", FakeServer::Only().body);

    wchar_t url[128];
    swprintf(url, 128, L"http://127.0.0.1:%d/web/", FakeServer::DeadPort());
    WriteConfig(L"psUrl", url);
    Reload();
    EXPECT_EQ(2101, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ(kStamp, Stamp());
}

TEST_F(DownloadTest, DeepNestingAndTheWideForm) {
    // Groups nested deeper than any contact book: a bounded tree, never a crash.
    auto nestedReply = [](int levels) {
        std::string nested = Item(V("friendID", "deep"));
        for (int i = 0; i < levels; ++i) nested = Item(V("groupID", std::to_string(100 + i).c_str()) + Container(nested));
        return Reply((Cell("time", kStamp) + GroupList(V("groupID", "1") + Container(nested))).c_str());
    };
    FakeServer::Queue("IncrementGetAddressList", nestedReply(110));
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    std::string bytes = testkit::ReadFileBytes(path_);
    size_t groups = 0;
    for (size_t at = bytes.find("<Group"); at != std::string::npos; at = bytes.find("<Group", at + 1)) ++groups;
    EXPECT_EQ(64u, groups);
    EXPECT_EQ(std::string::npos, bytes.find("deep"));
    // Deeper still, the parser itself refuses the reply; the file stays as it was.
    FakeServer::Queue("IncrementGetAddressList", nestedReply(3000));
    EXPECT_NE(0, ps.PS_Cco_DownloadA(pathA_.c_str()));
    EXPECT_EQ(bytes, testkit::ReadFileBytes(path_));

    std::wstring widePath = ProgramFolder() + Wide("u1001\\通讯录.xml");
    FakeServer::Reset();
    FakeServer::Queue("IncrementGetAddressList", FullReply("20240202000000"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadW(widePath.c_str()));
    EXPECT_EQ("time=00000000000000", FakeServer::Only().body);
    EXPECT_EQ("20240202000000", ReadRunProf("RostLedgerStamp", vantor::WideToAnsi(widePath).c_str()));
    vantor::xml::XmlDoc doc;
    std::string declaration;
    ASSERT_TRUE(LoadContactFile(widePath, &doc, &declaration));
    EXPECT_EQ(Wide("李四"), doc.SelectSingleNode(L"AddressList/FriendList/Group/Friend").AttributeOr(L"name"));
}

// What the contact store made of the file: "group id/parent id" and "group id:friend id=name".
struct StoreView {
    RostBaseHandle store = nullptr;
    decltype(&RostBase_GetGroupInfoA) groupInfo = nullptr;
    decltype(&RostBase_GetFriendInfoA) friendInfo = nullptr;
    std::vector<std::string> lines;
};

std::string GroupId(StoreView* v, GroupHandle g) {
    GroupInfoA info = {};
    if (!g || !v->groupInfo(v->store, g, &info)) return "-";
    return info.id;
}

BOOL CALLBACK ViewFriend(FriendHandle entry, GroupHandle group, UINT_PTR user) {
    auto* v = reinterpret_cast<StoreView*>(user);
    FriendInfoA info = {};
    v->friendInfo(v->store, entry, &info);
    v->lines.push_back(GroupId(v, group) + ":" + info.id + "=" + info.nickname);
    return TRUE;
}

struct GroupWalk {
    StoreView* v;
    std::vector<GroupHandle>* groups;
};

BOOL CALLBACK ViewGroup(GroupHandle g, GroupHandle parent, UINT_PTR user) {
    auto* w = reinterpret_cast<GroupWalk*>(user);
    w->groups->push_back(g);
    w->v->lines.push_back(GroupId(w->v, g) + "/" + GroupId(w->v, parent));
    return TRUE;
}

TEST_F(DownloadTest, ContactStoreLoadsTheRebuiltTree) {
    // The contact store reads "<its folder>\<account>\rostledger.xml".
    vantor::UniqueModule rost(vantor::LoadProgramLibrary(L"RostBase.dll"));
    if (!rost) GTEST_SKIP() << "RostBase.dll is not staged";
    FakeServer::Queue("IncrementGetAddressList", FullReply());
    ASSERT_EQ(0, ps.PS_Cco_DownloadA(pathA_.c_str()));

    auto load = vantor::ProcAddress<decltype(&RostBase_LoadA)>(rost.get(), "RostBase_LoadA");
    auto unload = vantor::ProcAddress<decltype(&RostBase_Unload)>(rost.get(), "RostBase_Unload");
    auto onRoot = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rost.get(), "RostBase_GetOnRootGroup");
    auto enumGroup = vantor::ProcAddress<decltype(&RostBase_EnumGroup)>(rost.get(), "RostBase_EnumGroup");
    auto groupFriends = vantor::ProcAddress<decltype(&RostBase_EnumGroupFriends)>(rost.get(), "RostBase_EnumGroupFriends");
    auto blackList = vantor::ProcAddress<decltype(&RostBase_EnumBlackList)>(rost.get(), "RostBase_EnumBlackList");
    StoreView v;
    v.groupInfo = vantor::ProcAddress<decltype(&RostBase_GetGroupInfoA)>(rost.get(), "RostBase_GetGroupInfoA");
    v.friendInfo = vantor::ProcAddress<decltype(&RostBase_GetFriendInfoA)>(rost.get(), "RostBase_GetFriendInfoA");
    ASSERT_TRUE(load && unload && onRoot && enumGroup && groupFriends && blackList && v.groupInfo && v.friendInfo);

    v.store = load("u1001");
    ASSERT_NE(nullptr, v.store);
    GroupHandle root = onRoot(v.store);
    GroupInfoA rootInfo = {};
    ASSERT_TRUE(v.groupInfo(v.store, root, &rootInfo));
    EXPECT_STREQ("11", rootInfo.id);
    EXPECT_EQ(Ansi("网上好友"), rootInfo.name);

    std::vector<GroupHandle> groups;
    GroupWalk walk{&v, &groups};
    enumGroup(v.store, 2, ViewGroup, reinterpret_cast<UINT_PTR>(&walk));
    for (GroupHandle g : groups) groupFriends(v.store, g, ViewFriend, reinterpret_cast<UINT_PTR>(&v));
    blackList(v.store, ViewFriend, reinterpret_cast<UINT_PTR>(&v));
    unload(v.store);

    auto has = [&](const std::string& line) {
        return std::find(v.lines.begin(), v.lines.end(), line) != v.lines.end();
    };
    EXPECT_TRUE(has("12/11"));
    EXPECT_TRUE(has("13/11"));
    EXPECT_TRUE(has(Ansi("11:u2001=李四")));
    EXPECT_TRUE(has("11:u2007="));
    EXPECT_TRUE(has(Ansi("12:u2005=王五")));
    EXPECT_TRUE(has(Ansi(":u3001=黑")));   // the black list group carries no id of its own
    for (const char* gone : {"u2002", "u2004", "u2006"})
        for (const std::string& line : v.lines) EXPECT_EQ(std::string::npos, line.find(gone)) << line;
}

}  // namespace
