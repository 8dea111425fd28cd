// The plug-in in a signed-in session: ClientCore logs in (zumbase stand-in, fake presence
// server), then PresenceTab runs with its hidden window on this thread. Ticks are posted
// WM_TIMER 101 (the window's own timer is stopped); friends are fake clients on
// 127.0.0.2 and up, we listen on 127.0.0.1. The session runs as a child of this program
// in a program folder of its own, since the kernel keeps the account folder beside it.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ClientCore.h"
#include "FakeServers.h"
#include "ModulePath.h"
#include "PresenceMessages.h"
#include "TabPlug.h"
#include "TestSupport.h"
#include "WebServers.h"
#include "Text.h"
#include "outside/RostLedger.h"
#include "outside/zumbase.h"

using namespace pttest;

namespace {

const wchar_t kChildVariable[] = L"PRESENCETAB_TEST_PARENT";
const char kOwnId[] = "demo01";

std::wstring ParentDir() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(kChildVariable, value, MAX_PATH);
    return value;
}

bool IsChild() { return !ParentDir().empty(); }

std::string A(const char* utf8) { return testkit::Ansi(utf8); }

// Runs the message loop of this thread until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    DWORD started = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount() - started > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// Notices the window was sent, caught on their way to it.
struct Caught {
    UINT message;
    presence::PresenceNotice notice;
};
std::vector<Caught> g_caught;
WNDPROC g_original = nullptr;

LRESULT CALLBACK Catcher(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= presence::PTM_VERIFY_REQUEST && message <= presence::PTM_VERIFY_REFUSED && lParam) {
        g_caught.push_back({message, *reinterpret_cast<const presence::PresenceNotice*>(lParam)});
    }
    return CallWindowProcW(g_original, window, message, wParam, lParam);
}

std::string Group(const char* id, const char* name, const std::string& inner) {
    return "<item>" + Cell("groupID", id) + Cell("groupName", A(name)) + "<cell name=\"friendList\" type=\"27\">" + inner +
           "</cell></item>";
}

std::string Friend(const char* id, const char* nick) {
    std::string cells = Cell("friendID", id);
    if (*nick) cells += Cell("contactname", A(nick));
    return "<item>" + cells + "</item>";
}

class PresenceChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (!IsChild()) GTEST_SKIP() << "child run only";
        folder = testkit::ProgramDir();
        presencePort = PresencePort(ParentDir());
        ASSERT_GT(presencePort, 0) << "the fake presence server is not running";
        ASSERT_GT(PeerControlPort(ParentDir()), 0) << "the fake peer is not running";
        server.reset(new FakePresence(presencePort));
        peer.reset(new FakePeer(PeerControlPort(ParentDir())));
        ASSERT_TRUE(peer->Reset());
        port = ClosedPort();
        WriteConfig();
        ProgramServer();

        kernel = vantor::LoadProgramLibrary(L"ClientCore.dll");
        ASSERT_NE(nullptr, kernel);
        zum = LoadLibraryW((folder + L"zumbase.dll").c_str());
        auto set = vantor::ProcAddress<decltype(&::ZumStub_Set)>(zum, "ZumStub_Set");
        ASSERT_NE(nullptr, set);
        set("User.z1", "nickname", A("小Z").c_str());
        set("CustomerService.x1", "count", "1");
        set("CustomerService.x1.0", "id", "14");
        set("CustomerService.x1.0", "name", A("短信").c_str());
        set("Services", "list", "9,19");
        LogIn();
        auto storeOf = vantor::ProcAddress<decltype(&::Cco_GetRostBaseHandle)>(kernel, MAKEINTRESOURCEA(27));
        ASSERT_NE(nullptr, storeOf());
        ledger = vantor::LoadProgramLibrary(L"RostLedger.dll");
        ASSERT_NE(nullptr, ledger);
        // What the kernel's login sent is not this test's business.
        ASSERT_TRUE(server->Reset());
        ProgramServer();
    }

    void TearDown() override {
        if (plug) Destroy();
        if (ledger) FreeLibrary(ledger);
        if (kernel) {
            auto logoff = vantor::ProcAddress<decltype(&::Cco_Logoff)>(kernel, "Cco_Logoff");
            if (logoff) logoff();
            FreeLibrary(kernel);
        }
        if (zum) FreeLibrary(zum);
        if (peer) peer->Reset();
    }

    void LogIn() {
        auto alive = vantor::ProcAddress<decltype(&::Cco_IsAlive)>(kernel, "Cco_IsAlive");
        auto login = vantor::ProcAddress<decltype(&::Cco_LoginA)>(kernel, "Cco_LoginA");
        int connected = 0;
        ASSERT_EQ(0, alive(&connected));
        ASSERT_EQ(0, login(0, 0, 0, nullptr, nullptr));
    }

    // Signs in again as an account whose services are `list`.
    void LogInWithServices(const char* list) {
        vantor::ProcAddress<decltype(&::Cco_Logoff)>(kernel, "Cco_Logoff")();
        vantor::ProcAddress<decltype(&::ZumStub_Set)>(zum, "ZumStub_Set")("Services", "list", list);
        LogIn();
        ASSERT_TRUE(server->Reset());
        ProgramServer();
    }

    void WriteConfig() {
        CreateDirectoryW((folder + L"config").c_str(), nullptr);
        for (const wchar_t* cfg : {L"config\\commprof.cfg", L"config\\version.cfg"}) {
            CopyFileW((ParentDir() + cfg).c_str(), (folder + cfg).c_str(), FALSE);
        }
        std::string ps = "[PSConfig]\r\npsUrl=http://127.0.0.1:" + std::to_string(presencePort) +
                         "/web/\r\ngkenable=0\r\nLocalTcpPort=" + std::to_string(port) + "\r\nLocalTcpAddress=127.0.0.1\r\n";
        testkit::WriteFileBytes(folder + L"config\\psimprof.cfg", ps);
    }

    void ProgramServer() {
        server->Default("GetFriendIP", Reply(Cell("statuscode", "1") + Cell("localip", "127.0.0.1") +
                                             Cell("localport", std::to_string(port)) + Cell("ip", "127.0.0.1") +
                                             Cell("port", std::to_string(port))));
        std::string network = Group("11", "网络好友",
                                    Friend("x1", "小X") + Friend("y1", "小Y") + Friend("z1", "") +
                                        Group("111", "同学", Friend("w1", "小W")));
        std::string book = "<cell name=\"groupList\" type=\"27\">" + Cell("groupID", "1") +
                           "<cell name=\"friendList\" type=\"27\">" + Group("10", "电话好友", "") + network +
                           "</cell></cell>";
        server->Default("IncrementGetAddressList", Reply(Cell("time", "20240101000000") + book));
        server->Default("GetOnlineUserCount", Reply(Cell("onlineusercount", "{seq}")));
        server->Default("HeartBeat2PS", Reply(Cell("interval", "5")));
    }

    void Online(const std::vector<std::pair<const char*, const char*>>& friends) {
        std::string list;
        for (const auto& f : friends) list += OnlineRecord(f.first, f.second, port);
        server->Default("GetUserContactFriendIP", Reply("<cell name=\"friend-list\" type=\"27\">" + list + "</cell>"));
    }

    void Create() {
        plugModule = LoadLibraryW((folder + L"PresenceTab.dll").c_str());
        ASSERT_NE(nullptr, plugModule);
        auto create = vantor::ProcAddress<PFN_TabPlug_Create>(plugModule, TABPLUG_CREATE_NAME);
        getHwnd = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(plugModule, TABPLUG_GETSAFEHWND_NAME);
        doCommand = vantor::ProcAddress<PFN_TabPlug_DoCommand>(plugModule, TABPLUG_DOCOMMAND_NAME);
        destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(plugModule, TABPLUG_DESTROY_NAME);
        ASSERT_TRUE(create && getHwnd && doCommand && destroy);
        plug = create(nullptr, nullptr, 1, 0);
        ASSERT_NE(nullptr, plug);
        window = getHwnd(plug);
        ASSERT_NE(nullptr, window);
        EXPECT_FALSE(IsWindowVisible(window));
        g_caught.clear();
        g_original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Catcher)));
        // Started once the first cycle asked for the online count; from then on only
        // posted ticks count.
        ASSERT_TRUE(PumpUntil([&] { return server->Count("GetOnlineUserCount") >= 1; })) << "the plug-in did not start";
        KillTimer(window, 101);
    }

    DWORD Destroy() {
        DWORD started = GetTickCount();
        EXPECT_EQ(1, destroy(plug));
        plug = nullptr;
        DWORD spent = GetTickCount() - started;
        EXPECT_FALSE(IsWindow(window));
        FreeLibrary(plugModule);
        plugModule = nullptr;
        return spent;
    }

    void Ticks(int n) {
        for (int i = 0; i < n; ++i) PostMessageW(window, WM_TIMER, 101, 0);
        Pump(100);
    }

    FriendHandle Find(const char* id) {
        auto find = vantor::ProcAddress<PFN_RostLedger_IsUserInFriendsA>(ledger, "RostLedger_IsUserInFriendsA");
        return find(1, id, nullptr);
    }
    FriendInfoA Info(FriendHandle entry) {
        FriendInfoA r = {};
        auto get = vantor::ProcAddress<PFN_RostLedger_GetFriendInfoA>(ledger, "RostLedger_GetFriendInfoA");
        get(1, entry, &r);
        return r;
    }
    FriendInfoA Self() {
        auto current = vantor::ProcAddress<PFN_RostLedger_GetCurrentAccount>(ledger, "RostLedger_GetCurrentAccount");
        return Info(current(1));
    }
    std::string ContactFile() { return testkit::ReadFileBytes(folder + L"demo01\\rostledger.xml"); }
    bool FileHas(const char* id) { return ContactFile().find(std::string("\"") + id + "\"") != std::string::npos; }

    std::string PeerFields(const char* command, const char* sender, const char* nick = "", const char* sub = "02",
                           const char* answer = "", const char* receiver = kOwnId) {
        return std::string("cmd=") + command + "\nsender=" + sender + "\nreceiver=" + receiver + "\nsub=" + sub +
               "\nnick=" + nick + "\nmsg=你好，加个好友\nanswer=" + answer + "\n";
    }
    // Sends from a fake friend to our listener and lets the window dispatch the record.
    std::vector<std::string> Send(const std::string& fields, const char* mode = "whole", int copies = 1) {
        std::vector<std::string> replies = peer->Send("127.0.0.1", port, fields, mode, copies);
        Pump(300);
        return replies;
    }
    std::vector<PeerRecord> RecordsAt(const char* address) {
        std::vector<PeerRecord> out;
        for (const PeerRecord& r : peer->Received()) {
            if (r.where.rfind(std::string(address) + ":", 0) == 0) out.push_back(r);
        }
        return out;
    }
    std::string LastBody(const char* action) {
        std::vector<PresencePost> posts;
        const PresencePost* p = server->Last(action, posts);
        return p ? p->body : std::string("(none)");
    }

    std::wstring folder;
    int presencePort = 0;
    int port = 0;
    std::unique_ptr<FakePresence> server;
    std::unique_ptr<FakePeer> peer;
    HMODULE kernel = nullptr, zum = nullptr, ledger = nullptr, plugModule = nullptr;
    PFN_TabPlug_GetSafeHwnd getHwnd = nullptr;
    PFN_TabPlug_DoCommand doCommand = nullptr;
    PFN_TabPlug_Destroy destroy = nullptr;
    TabPlugHandle plug = nullptr;
    HWND window = nullptr;
};

TEST_F(PresenceChild, RecordsFromFriendsReachTheWindowAndTheBook) {
    Online({});
    Create();
    EXPECT_EQ(std::vector<std::string>{"30303031003030303000"}, Send(PeerFields("0001", "q1", "张三"), "pieces"));
    ASSERT_EQ(1u, g_caught.size());
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_REQUEST), g_caught[0].message);
    EXPECT_STREQ("q1", g_caught[0].notice.id);
    EXPECT_EQ(A("张三"), g_caught[0].notice.nickname);
    EXPECT_EQ(A("你好，加个好友"), g_caught[0].notice.message);
    Send(PeerFields("0002", "q2", "", "02", "0000"));
    Send(PeerFields("0002", "q3", "", "02", "0001"));
    ASSERT_EQ(3u, g_caught.size());
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_REFUSED), g_caught[1].message);
    EXPECT_EQ(static_cast<UINT>(presence::PTM_VERIFY_ACCEPTED), g_caught[2].message);

    // Block and deletion notices take the sender out of the book and the contact file.
    ASSERT_NE(nullptr, Find("x1"));
    ASSERT_TRUE(FileHas("x1"));
    Send(PeerFields("0004", "x1"));
    EXPECT_EQ(nullptr, Find("x1"));
    EXPECT_FALSE(FileHas("x1"));
    Send(PeerFields("0006", "w1"));
    EXPECT_EQ(nullptr, Find("w1"));
    EXPECT_FALSE(FileHas("w1"));

    // Status notices: coming online asks the server for the addresses, going off clears them.
    FriendHandle z = Find("z1");
    ASSERT_NE(nullptr, z);
    EXPECT_EQ(0, Info(z).status.status);
    Send(PeerFields("0005", "z1", "2", "01"));
    EXPECT_EQ(2, Info(z).status.status);
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
    std::vector<std::string> replies = Send(PeerFields("0005", "y1", "0", "02"), "whole", 100);
    EXPECT_EQ(100, std::count(replies.begin(), replies.end(), std::string("30303035003030303000")));
    EXPECT_EQ(3u, g_caught.size()) << "full fields carry no receiver of ours";
    EXPECT_NE(nullptr, Find("y1"));
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

TEST_F(PresenceChild, ZzReachedTheEnd) { testkit::WriteFileBytes(folder + L"child-done", "done"); }

// Runs the child's tests of `filter` in a program folder of its own. The silent friends'
// time-outs make one part slow, so the suite runs as two CTest tests, each naming its
// part in PRESENCETAB_PART; without it both parts run.
void RunSession(const char* part, const wchar_t* filter) {
    if (IsChild()) GTEST_SKIP();
    char chosen[8] = {};
    GetEnvironmentVariableA("PRESENCETAB_PART", chosen, sizeof chosen);
    if (chosen[0] && strcmp(chosen, part) != 0) GTEST_SKIP() << "the other part";
    std::wstring program = testkit::ProgramDir();
    std::wstring dir = testkit::FreshDir(L"presencetab");
    std::wstring exe = testkit::CopyThisExeTo(dir);
    ASSERT_FALSE(exe.empty());
    for (const wchar_t* dll : {L"ClientCore.dll", L"zumbase.dll", L"RostBase.dll", L"PresenceCore.dll", L"WebFetch.dll",
                               L"RostLedger.dll", L"RostKeeper.dll", L"PresenceTab.dll"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(dir, dll)) << dll;
    }
    std::wstring arguments = std::wstring(L"--gtest_filter=") + filter + L":PresenceChild.ZzReachedTheEnd";
    DWORD code = testkit::RunProgram(exe, arguments, dir, {{kChildVariable, program}}, 240000);
    EXPECT_EQ(0u, code);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"child-done").c_str())) << "the child stopped early";
}

TEST(PresenceTab, SessionWithRecordsStoresAndBeats) {
    RunSession("1", L"PresenceChild.Records*:PresenceChild.Proxy*:PresenceChild.Beats*:PresenceChild.Without*:"
                    L"PresenceChild.Commands*");
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
