// The plug-in in a signed-in session (PresenceChild.h): records from friends, the proxy
// store, the heart beat, online friends, the own status, commands and teardown.
#include <atomic>

#include "PeerChannel.h"
#include "PresenceChild.h"

using namespace pttest;
using namespace ptchild;

namespace {

TEST_F(PresenceChild, RecordsFromFriendsReachTheWindowAndTheBook) {
    Online({});
    Create();
    EXPECT_EQ(std::vector<std::string>{"30303031003030303000"}, Send(PeerFields("0001", "q1", "张三"), "pieces"));
    ASSERT_EQ(1u, g_caught.size());
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_REQUEST), g_caught[0].message);
    EXPECT_STREQ("q1", g_caught[0].notice.id);
    EXPECT_EQ(A("张三"), g_caught[0].notice.nickname);
    EXPECT_EQ(A("你好，加个好友"), g_caught[0].notice.message);
    // Answers to requests never made reach nothing (the dialog tests ask first).
    Send(PeerFields("0002", "q2", "", "02", "0000"));
    Send(PeerFields("0002", "q3", "", "02", "0001"));
    EXPECT_EQ(1u, g_caught.size());

    // Block and deletion notices take the sender out of the book and the contact file.
    ASSERT_NE(nullptr, Find("x1"));
    ASSERT_TRUE(FileHas("x1"));
    // (The server says where they are: the records wait for its answer.)
    Send(PeerFields("0004", "x1"));
    EXPECT_TRUE(PumpUntil([&] { return Find("x1") == nullptr; }));
    EXPECT_FALSE(FileHas("x1"));
    Send(PeerFields("0006", "w1"));
    EXPECT_TRUE(PumpUntil([&] { return Find("w1") == nullptr; }));
    EXPECT_FALSE(FileHas("w1"));

    // Status notices: coming online asks the server for the addresses, going off clears them.
    FriendHandle z = Find("z1");
    ASSERT_NE(nullptr, z);
    EXPECT_EQ(0, Info(z).status.status);
    Send(PeerFields("0005", "z1", "2", "01"));
    EXPECT_TRUE(PumpUntil([&] { return Info(z).status.status == 2; }));
    EXPECT_EQ(0x0100007Fu, Info(z).status.publicIp);
    EXPECT_NE(std::string::npos, LastBody("GetFriendIP").find("target_id=z1"));
    int asked = server->Count("GetFriendIP");
    Send(PeerFields("0005", "z1", "3", "01"));
    EXPECT_EQ(3, Info(z).status.status);
    EXPECT_EQ(asked, server->Count("GetFriendIP")) << "an online friend keeps its addresses";
    Send(PeerFields("0005", "z1", "0", "01"));
    EXPECT_EQ(0, Info(z).status.status);
    EXPECT_EQ(0u, Info(z).status.publicIp);
    EXPECT_EQ(0u, Info(z).status.localIp);
    Send(PeerFields("0005", "z1", "2", "02"));
    EXPECT_EQ(std::vector<std::string>{"30303039003030303031"}, Send(PeerFields("0009", "z1")));
    EXPECT_EQ(0, Info(z).status.status);

    // Broken and hostile records: answered or dropped, nothing changes, nothing hangs.
    EXPECT_EQ(std::vector<std::string>{"-"}, Send(PeerFields("0004", "y1"), "half"));
    Send(PeerFields("0004", "y1"), "lower");
    Send(PeerFields("0004", "y1"), "misaddressed");
    Send(PeerFields("0001", "y1", "很长的名字"), "unterminated");
    EXPECT_NE(nullptr, Find("y1"));
    // A hundred at once from one host: those beyond its share are closed unanswered.
    std::vector<std::string> replies = Send(PeerFields("0005", "y1", "0", "02"), "whole", 100);
    size_t answered = std::count(replies.begin(), replies.end(), std::string("30303035003030303000"));
    EXPECT_GE(answered, static_cast<size_t>(presence::kMaxPerAddress));
    EXPECT_EQ(100u, answered + std::count(replies.begin(), replies.end(), std::string("-")));
    EXPECT_EQ(1u, g_caught.size()) << "full fields carry no receiver of ours";
    EXPECT_NE(nullptr, Find("y1"));
}

// Friends whose addresses the book lacks (none is online yet): the presence server says
// where each is, and what it said holds for the records that follow, whoever sent first;
// the window's thread goes on meanwhile, however slowly the server answers.
TEST_F(PresenceChild, SendersAreHeldAgainstTheServersAnswerOffTheWindowThread) {
    Where("x1", "127.0.0.2");
    Where("y1", "127.0.0.4");
    Online({});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetUserContactFriendIP") == 1; }));
    Pump(300);
    // x1 going invisible and back twice from its own address: shown as it is each time.
    for (const char* status : {"1", "0", "2", "0", "3"}) {
        SendFrom("127.0.0.2", PeerFields("0005", "x1", status, "01"));
        EXPECT_TRUE(PumpUntil([&] { return StatusOf("x1") == atoi(status); }, 5000)) << status;
    }
    EXPECT_EQ(0x0200007Fu, Info(Find("x1")).status.publicIp);
    EXPECT_EQ(1, AsksOf("x1"));
    // A status in y1's name from another host first: y1's own notice is still taken.
    SendFrom("127.0.0.66", PeerFields("0005", "y1", "2", "01"));
    ASSERT_TRUE(PumpUntil([&] { return AsksOf("y1") == 1; }));
    Pump(300);
    EXPECT_EQ(0, StatusOf("y1"));
    SendFrom("127.0.0.4", PeerFields("0005", "y1", "1", "01"));
    EXPECT_TRUE(PumpUntil([&] { return StatusOf("y1") == 1; }, 5000));
    EXPECT_EQ(0x0400007Fu, Info(Find("y1")).status.publicIp);
    EXPECT_EQ(1, AsksOf("y1"));

    // The server takes three seconds to say where z1 is: the window answers at once meanwhile.
    std::string p = std::to_string(port);
    server->Queue("GetFriendIP", Reply(Cell("statuscode", "1") + Cell("localip", "127.0.0.5") + Cell("localport", p) +
                                       Cell("ip", "127.0.0.5") + Cell("port", p)),
                  200, 3000);
    std::atomic<bool> done{false};
    std::atomic<DWORD> worst{0};
    std::thread probe([&] {
        while (!done) {
            DWORD started = GetTickCount();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
            worst = std::max<DWORD>(worst, GetTickCount() - started);
            Sleep(50);
        }
    });
    SendFrom("127.0.0.5", PeerFields("0005", "z1", "2", "01"));
    EXPECT_TRUE(PumpUntil([&] { return StatusOf("z1") == 2; }, 10000));
    done = true;
    probe.join();
    EXPECT_LT(worst.load(), 1000u) << "the window waited for the server";
    EXPECT_EQ(0x0500007Fu, Info(Find("z1")).status.publicIp);
}

// x1 is online behind another public address than ours, z1 behind ours: a host at x1's
// local address is not x1, while z1's local address is z1's own.
TEST_F(PresenceChild, ALocalAddressIsBelievedOnlyBehindOurPublicAddress) {
    ASSERT_EQ(0x0100007Fu, Self().status.publicIp);
    Where("x1", "127.0.0.2", "127.0.0.6");
    Where("z1", "127.0.0.1", "127.0.0.7");
    server->Default("GetUserContactFriendIP",
                    Reply("<cell name=\"friend-list\" type=\"27\">" + OnlineRecord("x1", "127.0.0.2", port, "127.0.0.6") +
                          OnlineRecord("z1", "127.0.0.1", port, "127.0.0.7") + "</cell>"));
    Create();
    ASSERT_TRUE(PumpUntil([&] { return StatusOf("x1") == 1 && StatusOf("z1") == 1; }));
    SendFrom("127.0.0.6", PeerFields("0005", "x1", "3", "01"));
    SendFrom("127.0.0.6", PeerFields("0006", "x1"));
    ASSERT_TRUE(PumpUntil([&] { return AsksOf("x1") == 1; }));
    Pump(500);
    EXPECT_NE(nullptr, Find("x1"));
    EXPECT_EQ(1, StatusOf("x1"));
    // x1 from its public address, z1 from its local one: both are heard.
    SendFrom("127.0.0.2", PeerFields("0005", "x1", "3", "01"));
    SendFrom("127.0.0.7", PeerFields("0005", "z1", "2", "01"));
    EXPECT_TRUE(PumpUntil([&] { return StatusOf("x1") == 3 && StatusOf("z1") == 2; }));
    SendFrom("127.0.0.7", PeerFields("0006", "z1"));
    EXPECT_TRUE(PumpUntil([&] { return Find("z1") == nullptr; }));
}

// The hidden window goes with its owner: later commands post nothing anywhere, the
// caller's thread included.
TEST_F(PresenceChild, AWindowGoneWithItsOwnerTakesNoCommands) {
    Online({});
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    Create(owner);
    ASSERT_TRUE(DestroyWindow(owner));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, getHwnd(plug));
    // (The window's end reported the own status once.)
    int reported = server->Count("UpdateUserStatus");
    doCommand(plug, presence::PresCmd_UpdateSelfStatus, 2);
    FriendInfoA target = {};
    strcpy(target.id, "n1");
    doCommand(plug, presence::PresCmd_AddFriendA, reinterpret_cast<INT_PTR>(&target));
    MSG msg = {};
    EXPECT_FALSE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
        << "a thread message " << std::hex << msg.message;
    Pump(300);
    EXPECT_EQ(reported, server->Count("UpdateUserStatus"));
    Destroy();
}

TEST_F(PresenceChild, ProxyStoreIsDrainedInOrderAndHeartBeatBatchesOnce) {
    Online({});
    Create();
    FriendHandle x = Find("x1");
    FriendHandle y = Find("y1");
    ASSERT_TRUE(x && y);
    std::wstring store = folder + L"demo01\\psproxy.ppi";
    testkit::WriteFileBytes(store, A("[1]\r\nopencode=1\r\nID=q1\r\nNA=张三\r\nM=我是张三\r\n"
                                     "[2]\r\nopencode=2\r\nID=q2\r\nS=1\r\n[3]\r\nopencode=2\r\nID=q3\r\nS=0\r\n"
                                     "[4]\r\nopencode=4\r\nID=y1\r\n[5]\r\nopencode=5\r\nID=x1\r\n"
                                     "[6]\r\nopencode=6\r\nID=x1\r\nS=0\r\n[7]\r\nopencode=4\r\nID=nobody\r\n"));
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "PS_Proxy_Msg_Process_Event.qen");
    ASSERT_NE(nullptr, event);
    SetEvent(event);
    CloseHandle(event);
    ASSERT_TRUE(PumpUntil([&] { return testkit::ReadFileBytes(store).find('[') == std::string::npos; }));
    Pump(200);
    ASSERT_EQ(3u, g_caught.size());
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_REQUEST), g_caught[0].message);
    EXPECT_EQ(A("张三"), g_caught[0].notice.nickname);
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_ACCEPTED), g_caught[1].message);
    EXPECT_STREQ("q2", g_caught[1].notice.id);
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_REFUSED), g_caught[2].message);
    EXPECT_EQ(nullptr, Find("y1"));
    EXPECT_FALSE(FileHas("y1"));
    EXPECT_EQ(x, Find("x1")) << "a deletion notice from the server changes nothing";
    EXPECT_EQ(0, Info(x).status.status);

    // A beat whose reply relays a request: stored by PresenceCore, handled once.
    server->Queue("HeartBeat2PS", Reply(Cell("interval", "5") + "<P><V><C><ID>h1</ID><NA>" + A("李四") + "</NA></C></V></P>"));
    Ticks(30);
    ASSERT_TRUE(PumpUntil([&] { return g_caught.size() >= 4; }));
    Pump(500);
    ASSERT_EQ(4u, g_caught.size());
    EXPECT_STREQ("h1", g_caught[3].notice.id);
    EXPECT_EQ(A("李四"), g_caught[3].notice.nickname);
}

TEST_F(PresenceChild, BeatsFollowTheIntervalAndARefusalLogsInAgain) {
    Online({});
    Create();
    Ticks(29);
    Pump(300);
    EXPECT_EQ(0, server->Count("HeartBeat2PS"));
    Ticks(1);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("HeartBeat2PS") == 1; }));
    // Each cycle fetches the count again and stores it.
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") == 2; }));
    Pump(200);
    auto storeOf = vantor::ProcAddress<decltype(&::Cco_GetRostBaseHandle)>(kernel, MAKEINTRESOURCEA(27));
    typedef DWORD(WINAPI * GetCount)(RostBaseHandle, DWORD*);
    auto count = vantor::ProcAddress<GetCount>(GetModuleHandleW(L"RostBase.dll"), "RostBase_GetOnlineCount");
    ASSERT_NE(nullptr, count);
    DWORD second = 0;
    DWORD first = count(storeOf(), &second);
    EXPECT_GE(first, 2u);

    // The server's interval (5) counts from the cycle start.
    Ticks(4);
    Pump(300);
    EXPECT_EQ(1, server->Count("HeartBeat2PS"));
    server->Queue("HeartBeat2PS", Reply(Cell("interval", "0")));
    Ticks(1);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("HeartBeat2PS") == 2; }));
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") == 3; }));
    // 0 keeps the interval; a refused beat logs in again with the policy's cookies.
    server->Queue("HeartBeat2PS", "busy", 500);
    Ticks(5);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("LoginPS") == 1 && server->Count("GetFriendIP") == 1; }));
    std::vector<PresencePost> posts;
    const PresencePost* login = server->Last("LoginPS", posts);
    ASSERT_NE(nullptr, login);
    EXPECT_NE(std::string::npos, login->cookie.find("DEMOSESSION")) << login->cookie;
    EXPECT_NE(std::string::npos, login->cookie.find("DEMOSSO")) << login->cookie;
    EXPECT_EQ(std::string::npos, login->cookie.find("DEMOSESSION;Path")) << "the session value ends at its ';'";
    EXPECT_NE(std::string::npos, LastBody("GetFriendIP").find("target_id=demo01"));
    EXPECT_EQ(1, Self().status.status);
    // The beats go on by the interval after the refusal.
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") == 4; }));
    Ticks(4);
    Pump(300);
    EXPECT_EQ(3, server->Count("HeartBeat2PS"));
    Ticks(1);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("HeartBeat2PS") == 4; }));
    EXPECT_EQ(1, server->Count("LoginPS"));
}

TEST_F(PresenceChild, WithoutTheOnlineServiceARefusedBeatDoesNotLogIn) {
    LogInWithServices("19");
    // Held here, so the beat finds the presence client whatever the kernel keeps.
    HMODULE presenceCore = LoadLibraryW((folder + L"PresenceCore.dll").c_str());
    ASSERT_NE(nullptr, presenceCore);
    Online({});
    Create();
    server->Queue("HeartBeat2PS", "busy", 500);
    Ticks(30);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") == 2; }));
    Pump(500);
    EXPECT_EQ(1, server->Count("HeartBeat2PS"));
    EXPECT_EQ(0, server->Count("LoginPS"));
    EXPECT_EQ(0, server->Count("GetFriendIP"));
    Destroy();
    FreeLibrary(presenceCore);
}

TEST_F(PresenceChild, OnlineFriendsAreStoredAndToldOurStatus) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    ASSERT_TRUE(peer->Listen("127.0.0.3", port, "silent"));
    Online({{"x1", "127.0.0.2"}, {"y1", "127.0.0.3"}, {"stranger", "127.0.0.5"}, {"z1", "127.0.0.4"}});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return server->Count("UpdateUserStatus") == 1; }, 40000));
    for (const char* id : {"x1", "y1", "z1"}) {
        EXPECT_EQ(1, Info(Find(id)).status.status) << id;
    }
    EXPECT_EQ(0x0400007Fu, Info(Find("z1")).status.publicIp);
    EXPECT_EQ(0, Info(Find("w1")).status.status);
    EXPECT_EQ(A("小Z"), Info(Find("z1")).nickname) << "an empty nickname is filled from the platform";
    std::vector<PeerRecord> atX = RecordsAt("127.0.0.2");
    ASSERT_EQ(1u, atX.size());
    EXPECT_EQ("0005", atX[0].command);
    EXPECT_EQ("01", atX[0].subCode);
    EXPECT_EQ(kOwnId, atX[0].sender);
    EXPECT_EQ("x1", atX[0].receiver);
    EXPECT_EQ("1", atX[0].nickname);
    // One call names both, in the order they were visited (by handle).
    std::string body = LastBody("UpdateUserStatus");
    EXPECT_TRUE(body == "type=0&value=1&proxyflag=0&friend-id=y1|z1" || body == "type=0&value=1&proxyflag=0&friend-id=z1|y1")
        << body;
    EXPECT_TRUE(RecordsAt("127.0.0.5").empty());
    // The friend's services came from the platform.
    auto query = vantor::ProcAddress<PFN_RostLedger_QueryFriendServicePolicyA>(ledger, "RostLedger_QueryFriendServicePolicyA");
    ServicePolicyInfoA policy = {};
    EXPECT_TRUE(query(1, Find("x1"), 14, &policy));
}

TEST_F(PresenceChild, OwnStatusReachesOnlineFriendsAndTheLastRequestWins) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    ASSERT_TRUE(peer->Listen("127.0.0.3", port, "late", 1500));
    Online({{"x1", "127.0.0.2"}, {"y1", "127.0.0.3"}});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.3").size() == 1 && server->Count("UpdateUserStatus") == 0 &&
                                       RecordsAt("127.0.0.2").size() == 1; }, 10000));
    Pump(1800);
    ASSERT_TRUE(peer->Reset());
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    ASSERT_TRUE(peer->Listen("127.0.0.3", port, "late", 1500));
    ASSERT_TRUE(server->Reset());
    ProgramServer();
    Online({{"x1", "127.0.0.2"}, {"y1", "127.0.0.3"}});

    // 2, then 1 while the slow friend still holds the first pass.
    doCommand(plug, presence::PresCmd_UpdateSelfStatus, 2);
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.3").size() == 1; }));
    doCommand(plug, presence::PresCmd_UpdateSelfStatus, 1);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("UpdateUserStatus") >= 1; }, 15000));
    Pump(500);
    EXPECT_EQ(1, server->Count("UpdateUserStatus"));
    EXPECT_EQ("type=0&value=1&proxyflag=0&friend-id=", LastBody("UpdateUserStatus"));
    EXPECT_EQ(1, Self().status.status);

    // 2 again: every friend with a status gets it on its public address and port.
    ASSERT_TRUE(peer->Reset());
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    ASSERT_TRUE(peer->Listen("127.0.0.3", port, "answer"));
    doCommand(plug, presence::PresCmd_UpdateSelfStatus, 2);
    ASSERT_TRUE(PumpUntil([&] { return server->Count("UpdateUserStatus") == 2; }, 15000));
    EXPECT_EQ("type=0&value=2&proxyflag=0&friend-id=", LastBody("UpdateUserStatus"));
    // The book hears of it right after the server.
    EXPECT_TRUE(PumpUntil([&] { return Self().status.status == 2; }, 3000));
    for (const char* at : {"127.0.0.2", "127.0.0.3"}) {
        std::vector<PeerRecord> got = RecordsAt(at);
        ASSERT_EQ(1u, got.size()) << at;
        EXPECT_EQ("0005", got[0].command);
        EXPECT_EQ("2", got[0].nickname);
    }
    // The status already stored: nothing is sent.
    doCommand(plug, presence::PresCmd_UpdateSelfStatus, 2);
    Pump(500);
    EXPECT_EQ(2, server->Count("UpdateUserStatus"));
}

TEST_F(PresenceChild, DestroyCutsSilentConnectionsAndEndsEveryWorker) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "silent"));
    Online({{"x1", "127.0.0.2"}});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.2").size() == 1; }));
    // A friend that connected to us and says nothing, and a beat that is due.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET quiet = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = 0x0100007F;
    at.sin_port = htons(static_cast<u_short>(port));
    ASSERT_EQ(0, connect(quiet, reinterpret_cast<sockaddr*>(&at), sizeof at));
    Ticks(30);
    DWORD spent = Destroy();
    EXPECT_LT(spent, 5000u);
    closesocket(quiet);
    WSACleanup();
    EXPECT_EQ(nullptr, GetModuleHandleW(L"PresenceTab.dll")) << "the library went with its last thread";
    Pump(500);
    // The port is free for the next plug-in, which starts cleanly.
    Create();
    ASSERT_TRUE(peer->Reset());
    EXPECT_EQ(std::vector<std::string>{"30303033003030303000"}, Send(PeerFields("0003", "x1")));
}

TEST_F(PresenceChild, CommandsTellOnlineFriendsAndLeaveTheWindowAlone) {
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));
    Online({{"x1", "127.0.0.2"}});
    Create();
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.2").size() == 1; }));
    ASSERT_TRUE(PumpUntil([&] { return Info(Find("x1")).status.status == 1; }, 3000));
    ASSERT_TRUE(peer->Reset());
    ASSERT_TRUE(peer->Listen("127.0.0.2", port, "answer"));

    // Placing and showing: the hidden window stays where and as it is.
    RECT before = {}, after = {};
    GetWindowRect(window, &before);
    auto move = vantor::ProcAddress<PFN_TabPlug_Move>(plugModule, TABPLUG_MOVE_NAME);
    auto show = vantor::ProcAddress<PFN_TabPlug_Show>(plugModule, TABPLUG_SHOW_NAME);
    auto skin = vantor::ProcAddress<PFN_SwitchSkin>(plugModule, TABPLUG_SWITCHSKIN_NAME);
    ASSERT_TRUE(move && show && skin);
    EXPECT_EQ(1, move(plug, 10, 20, 300, 400));
    EXPECT_EQ(1, show(plug, SW_SHOW));
    EXPECT_EQ(1, skin(plug));
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_FALSE(IsWindowVisible(window));

    // Commands without a meaning here do nothing.
    for (int command : {1, 6, 8}) doCommand(plug, command, reinterpret_cast<INT_PTR>(Find("x1")));
    Pump(300);

    // Deletion: the online friend hears "0006", an offline one nothing.
    doCommand(plug, presence::PresCmd_DelFriend, reinterpret_cast<INT_PTR>(Find("y1")));
    doCommand(plug, presence::PresCmd_DelFriend, reinterpret_cast<INT_PTR>(Find("x1")));
    ASSERT_TRUE(PumpUntil([&] { return RecordsAt("127.0.0.2").size() == 1; }, 5000));
    Pump(300);
    std::vector<PeerRecord> got = RecordsAt("127.0.0.2");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("0006", got[0].command);
    EXPECT_EQ(kOwnId, got[0].sender);
    EXPECT_EQ("x1", got[0].receiver);
    EXPECT_EQ("02", got[0].subCode);
    EXPECT_EQ(1u, peer->Received().size());

    // No contact dialogs loaded: blocking ends quietly.
    presence::PreventUserParam block = {Find("x1"), nullptr};
    doCommand(plug, presence::PresCmd_PreventUser, reinterpret_cast<INT_PTR>(&block));
    doCommand(plug, presence::PresCmd_PreventUser, 0);
    Pump(300);
    EXPECT_EQ(1u, peer->Received().size());
}

TEST_F(PresenceChild, WindowAndPortOfABadConfiguration) {
    // A port above 65535 would listen on its low 16 bits (here `port`) while the server is
    // told 6082: the plug-in listens on 6082 instead.
    std::string ps = testkit::ReadFileBytes(folder + L"config\\psimprof.cfg");
    std::string ours = "LocalTcpPort=" + std::to_string(port) + "\r\n";
    ASSERT_NE(std::string::npos, ps.find(ours));
    ps.replace(ps.find(ours), ours.size(), "LocalTcpPort=" + std::to_string(port + 65536) + "\r\n");
    testkit::WriteFileBytes(folder + L"config\\psimprof.cfg", ps);
    plugModule = LoadLibraryW((folder + L"PresenceTab.dll").c_str());
    ASSERT_NE(nullptr, plugModule);
    getHwnd = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(plugModule, TABPLUG_GETSAFEHWND_NAME);
    destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(plugModule, TABPLUG_DESTROY_NAME);
    plug = vantor::ProcAddress<PFN_TabPlug_Create>(plugModule, TABPLUG_CREATE_NAME)(nullptr, nullptr, 1, 0);
    ASSERT_NE(nullptr, plug);
    window = getHwnd(plug);
    Pump(1000);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<u_short>(port));
    EXPECT_NE(0, connect(probe, reinterpret_cast<sockaddr*>(&at), sizeof at)) << "listening on the cut port";
    closesocket(probe);
    WSACleanup();

    // The window destroyed from outside (as with its owner): the plug-in forgets it, hands
    // out no dead handle and does not destroy it again.
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_EQ(nullptr, getHwnd(plug));
    Destroy();
}

TEST_F(PresenceChild, ZzReachedTheEnd) { testkit::WriteFileBytes(folder + L"child-done", "done"); }


TEST(PresenceTab, SessionWithRecordsStoresAndBeats) {
    RunSession("1", L"PresenceChild.Records*:PresenceChild.Senders*:PresenceChild.ALocal*:PresenceChild.AWindowGone*:"
                    L"PresenceChild.Proxy*:PresenceChild.Beats*:PresenceChild.Without*:PresenceChild.Commands*:"
                    L"PresenceChild.WindowAndPort*");
}

TEST(PresenceTab, SessionWithSlowAndSilentFriends) {
    RunSession("2", L"PresenceChild.Online*:PresenceChild.OwnStatus*:PresenceChild.Destroy*");
}

TEST(PresenceTab, ExportsWithoutASession) {
    if (IsChild()) GTEST_SKIP();
    HMODULE module = vantor::LoadProgramLibrary(L"PresenceTab.dll");
    ASSERT_NE(nullptr, module);
    auto destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(module, TABPLUG_DESTROY_NAME);
    auto getHwnd = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(module, TABPLUG_GETSAFEHWND_NAME);
    auto doCommand = vantor::ProcAddress<PFN_TabPlug_DoCommand>(module, TABPLUG_DOCOMMAND_NAME);
    ASSERT_TRUE(destroy && getHwnd && doCommand);
    EXPECT_EQ(0, destroy(nullptr));
    EXPECT_EQ(nullptr, getHwnd(nullptr));
    doCommand(nullptr, 4, 2);
    EXPECT_EQ(1, vantor::ProcAddress<PFN_TabPlug_Move>(module, TABPLUG_MOVE_NAME)(nullptr, 0, 0, 1, 1));
    EXPECT_EQ(1, vantor::ProcAddress<PFN_TabPlug_Show>(module, TABPLUG_SHOW_NAME)(nullptr, 1));
    EXPECT_EQ(0, vantor::ProcAddress<PFN_TabPlug_AddChildTabA>(module, TABPLUG_ADDCHILDTABA_NAME)(nullptr, 1, 2, 3, 4, 5, 6));
    EXPECT_EQ(0, vantor::ProcAddress<PFN_TabPlug_AddChildTabW>(module, TABPLUG_ADDCHILDTABW_NAME)(nullptr, 1, 2, 3, 4, 5, 6));
    EXPECT_EQ(0, vantor::ProcAddress<PFN_TabPlug_DelChildTab>(module, TABPLUG_DELCHILDTAB_NAME)(nullptr, 1));
    EXPECT_EQ(0, vantor::ProcAddress<PFN_TabPlug_ChangeParent>(module, TABPLUG_CHANGEPARENT_NAME)(nullptr, nullptr));
    EXPECT_EQ(0, vantor::ProcAddress<PFN_SwitchSkin>(module, TABPLUG_SWITCHSKIN_NAME)(nullptr));
    FreeLibrary(module);
}

}  // namespace
