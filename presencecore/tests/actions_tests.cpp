// Contact actions, queries, online friends and search against the fake server.
#include "PresenceHarness.h"

#include <functional>

#include "TestSupport.h"

using namespace pstest;
using testkit::Ansi;
using testkit::Wide;

namespace {

using ActionTest = PresenceTest;

FriendInfoA Friend() {
    FriendInfoA f = {};
    strcpy(f.id, "u2001");
    strcpy(f.nickname, Ansi("李四").c_str());
    f.sex = 1;
    return f;
}

FriendInfoW FriendW() {
    FriendInfoW f = {};
    wcscpy(f.id, L"u2001");
    wcscpy(f.nickname, Wide("李四").c_str());
    f.sex = 1;
    return f;
}

TEST_F(ActionTest, EachActionPostsItsFieldsAndReportsRefusal) {
    FriendInfoA f = Friend();
    FriendInfoA withMobile = Friend();
    strcpy(withMobile.mobile, "139");
    FriendInfoW fw = FriendW();
    GroupInfoA group = {"g", "n"};
    GroupInfoW groupW = {L"g", L"n"};
    LONG count = 0;
    struct Case {
        std::string action;
        std::string body;
        std::function<int()> call;
    };
    const std::string contact = Ansi("customer_name=李四&gender=1");
    const Case cases[] = {
        {"AddFriend2PS", "group_id=10&" + contact, [&] { return ps.PS_Cco_AddOffFriendA(&f, "10"); }},
        {"AddFriend2PS", "group_id=10&" + contact + "&mobile=139", [&] { return ps.PS_Cco_AddOffFriendA(&withMobile, "10"); }},
        {"AddFriend2PS", "group_id=10&" + contact, [&] { return ps.PS_Cco_AddOffFriendW(&fw, L"10"); }},
        {"AddHWFriend2PS", "id=u2001&group_id=10&" + contact, [&] { return ps.PS_Cco_AddOnFriendA(&f, "10"); }},
        {"AddHWFriend2PS", "id=u2001&group_id=10&" + contact, [&] { return ps.PS_Cco_AddOnFriendW(&fw, L"10"); }},
        {"ModFriendInf2PS",
         "id=u2001&group_id=10&" + contact + "&birthday=&mobile=&email=&phone=&voip_number=&xiaolingtong=",
         [&] { return ps.PS_Cco_ModifyFriendInfoA(&f, "10"); }},
        {"ModFriendInf2PS",
         "id=u2001&group_id=10&" + contact + "&birthday=&mobile=&email=&phone=&voip_number=&xiaolingtong=",
         [&] { return ps.PS_Cco_ModifyFriendInfoW(&fw, L"10"); }},
        {"ChangeGroup", "friendID=f&GroupID=11&proxyflag=1", [&] { return ps.PS_Cco_MoveFriendA("f", "11", 7); }},
        {"ChangeGroup", "friendID=f&GroupID=0&proxyflag=0", [&] { return ps.PS_Cco_MoveFriendW(L"f", L"0", 0); }},
        {"DelFriend2PS", "id=f&proxyflag=1", [&] { return ps.PS_Cco_DelFriendA("f", "1"); }},
        {"DelFriend2PS", "id=f&proxyflag=1", [&] { return ps.PS_Cco_DelFriendW(L"f", L"1"); }},
        {"DeleteBlackUser", "FriendID=f&proxyflag=1", [&] { return ps.PS_Cco_DelBlackUserA("f", "1"); }},
        {"DeleteBlackUser", "FriendID=f&proxyflag=1", [&] { return ps.PS_Cco_DelBlackUserW(L"f", L"1"); }},
        {"DeleteGroup", "GroupID=g&proxyflag=0", [&] { return ps.PS_Cco_DelGroupA("g"); }},
        {"DeleteGroup", "GroupID=g&proxyflag=0", [&] { return ps.PS_Cco_DelGroupW(L"g"); }},
        {"RenameGroup", "GroupID=g&NewGroupName=n", [&] { return ps.PS_Cco_ModifyGroupInfoA(&group); }},
        {"RenameGroup", "GroupID=g&NewGroupName=n", [&] { return ps.PS_Cco_ModifyGroupInfoW(&groupW); }},
        {"AddNewGroup", "GroupName=n&ParGroupID=10", [&] { return ps.PS_Cco_AddGroupA(&group, "10"); }},
        {"AddNewGroup", "GroupName=n&ParGroupID=10", [&] { return ps.PS_Cco_AddGroupW(&groupW, L"10"); }},
        {"UpdateUserStatus", "type=0&value=1&proxyflag=0&friend-id=a|b", [&] { return ps.PS_Cco_UpdateStatusA(0, "1", "a|b", 0); }},
        {"UpdateUserStatus", "type=3&value=" + Ansi("忙") + "&proxyflag=2&friend-id=",
         [&] { return ps.PS_Cco_UpdateStatusW(3, Wide("忙").c_str(), L"", 2); }},
        {"SendRequestValidFriend2PS", "target_id=t", [&] { return ps.PS_Cco_SendRequestValidA("t", nullptr); }},
        {"SendRequestValidFriend2PS", "target_id=t&request_inf=", [&] { return ps.PS_Cco_SendRequestValidA("t", ""); }},
        {"SendRequestValidFriend2PS", "target_id=t&request_inf=" + Ansi("你好%26"),
         [&] { return ps.PS_Cco_SendRequestValidW(L"t", Wide("你好&").c_str()); }},
        {"SendResponseValidFriend2PS", "target_id=t&response_code=1&proxyflag=1",
         [&] { return ps.PS_Cco_SendResponseValidA("t", 1, reinterpret_cast<UINT_PTR>("why"), 5); }},
        {"SendResponseValidFriend2PS", "target_id=t&response_code=0&proxyflag=0",
         [&] { return ps.PS_Cco_SendResponseValidW(L"t", 0, 0, 0); }},
        {"GetFriendIP", "linkertype=client&target_id=t", [&] { return ps.PS_Cco_GetFriendIpA("t", &f); }},
        {"GetFriendIP", "linkertype=client&target_id=t", [&] { return ps.PS_Cco_GetFriendIpW(L"t", &fw); }},
        {"GetFriendInf2PS", "id=t", [&] { return ps.PS_Cco_GetFriendInfoA("t", &f); }},
        {"GetFriendInf2PS", "id=t", [&] { return ps.PS_Cco_GetFriendInfoW(L"t", &fw); }},
        {"GetOnlineUserCount", "", [&] { return ps.PS_Cco_GetOnlineCount(&count); }},
    };
    for (const Case& c : cases) {
        FakeServer::Reset();
        f = Friend();
        fw = FriendW();
        ASSERT_EQ(0, c.call()) << c.body;
        Post post = FakeServer::Only();
        EXPECT_EQ("/web/" + c.action + ".do", post.path);
        EXPECT_EQ(c.body, post.body);

        FakeServer::Reset();
        FakeServer::Queue(c.action, Reply(Cell("message", "不允许").c_str(), "0"));
        EXPECT_EQ(20, c.call()) << c.body;
    }
}

TEST_F(ActionTest, RepliesFillTheCallersRecords) {
    FriendInfoA f = Friend();
    FakeServer::Queue("AddFriend2PS", Reply(Cell("id", "f777").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_AddOffFriendA(&f, "10"));
    EXPECT_STREQ("f777", f.id);

    // The two forms read different cells for the new group's id.
    const std::string both = Reply((Cell("groupid", "A1") + Cell("id", "W1")).c_str());
    GroupInfoA g = {"old", "n"};
    GroupInfoW gw = {L"old", L"n"};
    FakeServer::Queue("AddNewGroup", both);
    ASSERT_EQ(0, ps.PS_Cco_AddGroupA(&g, "10"));
    FakeServer::Queue("AddNewGroup", both);
    ASSERT_EQ(0, ps.PS_Cco_AddGroupW(&gw, L"10"));
    EXPECT_STREQ("A1", g.id);
    EXPECT_STREQ(L"W1", gw.id);

    const std::string info = Reply((Cell("id", "u2001") + Cell("customer-name", "王五") + Cell("gender", "1") +
                                    Cell("birthday", "1990-02-03") + Cell("mobile", "139") + Cell("email", "a@b") +
                                    Cell("phone", "010") + Cell("voip-number", "v1") + Cell("xiaolingtong", "x1") +
                                    Cell("pictype", "3") + Cell("group_id", "10"))
                                       .c_str());
    FriendInfoA a;
    memset(&a, 0x7F, sizeof a);
    a.id[0] = 0;
    FakeServer::Queue("GetFriendInf2PS", info);
    ASSERT_EQ(0, ps.PS_Cco_GetFriendInfoA("u2001", &a));
    EXPECT_STREQ("u2001", a.id);
    EXPECT_EQ(Ansi("王五"), a.nickname);
    EXPECT_EQ(1, a.sex);
    EXPECT_STREQ("1990-02-03", a.birthday);
    EXPECT_STREQ("139", a.mobile);
    EXPECT_STREQ("a@b", a.email);
    EXPECT_STREQ("010", a.phone);
    EXPECT_STREQ("v1", a.voip);
    EXPECT_STREQ("x1", a.xlt);
    EXPECT_EQ(0x7F7F, static_cast<unsigned short>(a.age));
    EXPECT_EQ(0x7F, a.name[0]);
    EXPECT_EQ(0x7F, a.province[0]);
    EXPECT_EQ(0x7F, a.city[0]);
    FriendInfoW w = {};
    FakeServer::Queue("GetFriendInf2PS", info);
    ASSERT_EQ(0, ps.PS_Cco_GetFriendInfoW(L"u2001", &w));
    EXPECT_EQ(Wide("王五"), w.nickname);
    EXPECT_STREQ(L"x1", w.xlt);

    LONG count = 0;
    FakeServer::Queue("GetOnlineUserCount", Reply(Cell("onlineusercount", "12345").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_GetOnlineCount(&count));
    EXPECT_EQ(12345, count);

    // Nothing of a refused reply is copied.
    FriendInfoA keep = Friend();
    strcpy(keep.id, "keep");
    FriendInfoA before = keep;
    FakeServer::Queue("AddFriend2PS", Reply((Cell("message", "no") + Cell("id", "f9")).c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_AddOffFriendA(&keep, "10"));
    EXPECT_EQ(0, memcmp(&before, &keep, sizeof keep));
    FakeServer::Queue("GetOnlineUserCount", Reply((Cell("message", "no") + Cell("onlineusercount", "7")).c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_GetOnlineCount(&count));
    EXPECT_EQ(12345, count);
}

TEST_F(ActionTest, FriendAddressesLandInNetworkOrderAndKeepTheId) {
    FriendInfoA f = Friend();
    FakeServer::Queue("GetFriendIP", Reply((Cell("friendid", "zzz") + Cell("statuscode", "1") + Cell("localip", "192.168.1.2") +
                                            Cell("ip", "bogus") + Cell("localport", "6082") + Cell("port", "40000"))
                                               .c_str()));
    // One record as both the id and the output, as the login does for the account.
    ASSERT_EQ(0, ps.PS_Cco_GetFriendIpA(reinterpret_cast<const char*>(&f), &f));
    EXPECT_EQ("linkertype=client&target_id=u2001", FakeServer::Only().body);
    const unsigned char* ip = reinterpret_cast<const unsigned char*>(&f.status.localIp);
    EXPECT_EQ(0xC0, ip[0]);
    EXPECT_EQ(0xA8, ip[1]);
    EXPECT_EQ(0x01, ip[2]);
    EXPECT_EQ(0x02, ip[3]);
    EXPECT_EQ(0xFFFFFFFFu, f.status.publicIp);
    EXPECT_EQ(6082, f.status.localPort);
    EXPECT_EQ(40000, f.status.publicPort);
    EXPECT_EQ(1, f.status.status);
    EXPECT_STREQ("u2001", f.id);
}

TEST_F(ActionTest, OversizedServerTextIsCutNeverOverrun) {
    std::string longName;
    for (int i = 0; i < 50000; ++i) longName += "长";
    const std::string reply = Reply((Cell("id", std::string(5000, 'i').c_str()) + Cell("customer-name", longName.c_str()) +
                                     Cell("email", std::string(10000, 'e').c_str()) + Cell("birthday", "1990-01-01-0123456789"))
                                        .c_str());
    Guarded<FriendInfoA> a;
    strcpy(a.rec.id, "keep");
    FakeServer::Queue("GetFriendInf2PS", reply);
    ASSERT_EQ(0, ps.PS_Cco_GetFriendInfoA("keep", &a.rec));
    EXPECT_TRUE(a.Intact());
    EXPECT_STREQ("keep", a.rec.id);   // a cut id would name somebody else
    EXPECT_EQ(22u, strlen(a.rec.nickname));   // eleven whole double-byte characters
    EXPECT_EQ(std::string(31, 'e'), a.rec.email);
    EXPECT_EQ(15u, strlen(a.rec.birthday));

    Guarded<FriendInfoW> w;
    FakeServer::Queue("GetFriendInf2PS", reply);
    ASSERT_EQ(0, ps.PS_Cco_GetFriendInfoW(L"keep", &w.rec));
    EXPECT_TRUE(w.Intact());
    EXPECT_EQ(23u, wcslen(w.rec.nickname));
    EXPECT_EQ(0, w.rec.id[0]);

    FakeServer::Queue("GetFriendInf2PS", Reply(Cell("message", std::string(1 << 20, 'm').c_str()).c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_GetFriendInfoA("keep", &a.rec));
    std::string many;
    for (int i = 0; i < 20000; ++i) many += Cell("email", "x@y");
    FakeServer::Queue("GetFriendInf2PS", Reply(many.c_str()));
    EXPECT_EQ(0, ps.PS_Cco_GetFriendInfoA("keep", &a.rec));
    EXPECT_TRUE(a.Intact());
}

// What the list procedures received.
struct Received {
    std::vector<FriendInfoA> records;
    std::vector<FriendInfoW> wide;
    int stopAfter = -1;
};

int __stdcall Collect(FriendInfoA record, UINT_PTR context) {
    auto* r = reinterpret_cast<Received*>(context);
    r->records.push_back(record);
    return static_cast<int>(r->records.size()) != r->stopAfter;
}

int __stdcall CollectW(FriendInfoW record, UINT_PTR context) {
    auto* r = reinterpret_cast<Received*>(context);
    r->wide.push_back(record);
    return 1;
}

std::string OnlineRecord(const char* id, const char* localIp) {
    return "<record>" + Cell("friendid", id) + Cell("statuscode", "1") + Cell("localip", localIp) +
           Cell("localport", "6082") + Cell("ip", "10.1.2.3") + Cell("port", "40000") + "</record>";
}

TEST_F(ActionTest, OnlineFriendsReachTheProcedureInOrder) {
    const std::string list = "<cell name=\"friend-list\" type=\"27\">" + OnlineRecord("u2001", "192.168.1.20") +
                             "<record>" + Cell("statuscode", "1") + "</record>" + "<other>" + Cell("friendid", "no") +
                             "</other>" + "<record>" + Cell("friendid", std::string(200, 'x').c_str()) + "</record>" +
                             OnlineRecord("u2002", "bad") + "<record>" + Cell("friendid", "u2003", 3) + "</record></cell>";
    FakeServer::Queue("GetUserContactFriendIP", Reply(list.c_str()));
    Received got;
    ASSERT_EQ(0, ps.PS_Cco_GetOnlineFriendsA(Collect, reinterpret_cast<UINT_PTR>(&got)));
    EXPECT_EQ("linkertype=client", FakeServer::Only().body);
    ASSERT_EQ(2u, got.records.size());
    FriendInfoA expected = {};
    strcpy(expected.id, "u2001");
    expected.status.status = 1;
    expected.status.localIp = htonl(0xC0A80114);
    expected.status.localPort = 6082;
    expected.status.publicIp = htonl(0x0A010203);
    expected.status.publicPort = 40000;
    EXPECT_EQ(0, memcmp(&expected, &got.records[0], sizeof expected));
    EXPECT_STREQ("u2002", got.records[1].id);
    EXPECT_EQ(0xFFFFFFFFu, got.records[1].status.localIp);

    // Stopped by the procedure: 10, and the messages after the list are not taken.
    FakeServer::Queue("GetUserContactFriendIP", Reply((list + "<P><V><C><ID>p</ID></C></V></P>").c_str()));
    Received once;
    once.stopAfter = 1;
    EXPECT_EQ(10, ps.PS_Cco_GetOnlineFriendsA(Collect, reinterpret_cast<UINT_PTR>(&once)));
    EXPECT_EQ(1u, once.records.size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ProgramFolder() + L"u1001\\psproxy.ppi").c_str()));

    FakeServer::Queue("GetUserContactFriendIP", Reply(list.c_str()));
    Received wide;
    ASSERT_EQ(0, ps.PS_Cco_GetOnlineFriendsW(CollectW, reinterpret_cast<UINT_PTR>(&wide)));
    ASSERT_EQ(2u, wide.wide.size());
    EXPECT_STREQ(L"u2001", wide.wide[0].id);
    EXPECT_EQ(40000, wide.wide[0].status.publicPort);

    FakeServer::Queue("GetUserContactFriendIP", Reply(("<cell name=\"friend-list\" type=\"8\">" + OnlineRecord("u1", "1.2.3.4") + "</cell>").c_str()));
    Received none;
    EXPECT_EQ(0, ps.PS_Cco_GetOnlineFriendsA(Collect, reinterpret_cast<UINT_PTR>(&none)));
    EXPECT_TRUE(none.records.empty());
}

TEST_F(ActionTest, SearchPagesAskForTheirRowsAndHandOutUsers) {
    const std::string page = "<cell name=\"friend-list\" type=\"27\"><record>" + Cell("friend-id", "u5") +
                             Cell("friend-nicename", "小明") + Cell("friend-age", "20") + "</record><record>" +
                             Cell("friend-id", "u6") + Cell("friend-sex", "2") + Cell("friend-province", "11") +
                             Cell("friend-city", "北京") + "</record></cell>";
    FakeServer::Queue("SearchFriendList2PS", Reply(page.c_str()));
    Received got;
    ASSERT_EQ(0, ps.PS_Cco_SearchUserA("id=123", 0, Collect, reinterpret_cast<UINT_PTR>(&got)));
    ASSERT_EQ(2u, got.records.size());
    FriendInfoA first = {};
    strcpy(first.id, "u5");
    strcpy(first.nickname, Ansi("小明").c_str());
    first.age = 20;
    EXPECT_EQ(0, memcmp(&first, &got.records[0], sizeof first));
    EXPECT_EQ(2, got.records[1].sex);
    EXPECT_EQ(Ansi("北京"), got.records[1].city);

    ASSERT_EQ(0, ps.PS_Cco_SearchUserA(nullptr, 1, Collect, reinterpret_cast<UINT_PTR>(&got)));
    Received wide;
    FakeServer::Queue("SearchFriendList2PS", Reply(page.c_str()));
    ASSERT_EQ(0, ps.PS_Cco_SearchUserW(L"nicename=x", 2, CollectW, reinterpret_cast<UINT_PTR>(&wide)));
    ASSERT_EQ(2u, wide.wide.size());
    EXPECT_EQ(Wide("小明"), wide.wide[0].nickname);
    FakeServer::Queue("SearchFriendList2PS", Reply(Cell("message", "没有了").c_str(), "0"));
    Received refused;
    EXPECT_EQ(20, ps.PS_Cco_SearchUserA("id=1", 3, Collect, reinterpret_cast<UINT_PTR>(&refused)));
    EXPECT_TRUE(refused.records.empty());

    std::vector<Post> posts = FakeServer::Log();
    ASSERT_EQ(4u, posts.size());
    EXPECT_EQ("id=123&&begrec=1&endrec=10", posts[0].body);
    EXPECT_EQ("&begrec=11&endrec=20", posts[1].body);
    EXPECT_EQ("nicename=x&&begrec=21&endrec=30", posts[2].body);

    // A procedure that has seen enough stops the page: 10.
    FakeServer::Queue("SearchFriendList2PS", Reply(page.c_str()));
    Received stopped;
    stopped.stopAfter = 1;
    EXPECT_EQ(10, ps.PS_Cco_SearchUserA("id=1", 0, Collect, reinterpret_cast<UINT_PTR>(&stopped)));
    ASSERT_EQ(1u, stopped.records.size());
    EXPECT_STREQ("u5", stopped.records[0].id);

    // The page size is read once per process.
    WriteConfig(L"SearchFriendsBatchRecord", L"20");
    Reload();
    FakeServer::Reset();
    ASSERT_EQ(0, ps.PS_Cco_SearchUserA(nullptr, 2, Collect, reinterpret_cast<UINT_PTR>(&got)));
    WriteConfig(L"SearchFriendsBatchRecord", L"5");
    ASSERT_EQ(0, ps.PS_Cco_SearchUserA(nullptr, 2, Collect, reinterpret_cast<UINT_PTR>(&got)));
    posts = FakeServer::Log();
    ASSERT_EQ(2u, posts.size());
    EXPECT_EQ("&begrec=41&endrec=60", posts[0].body);
    EXPECT_EQ("&begrec=41&endrec=60", posts[1].body);
}

}  // namespace
