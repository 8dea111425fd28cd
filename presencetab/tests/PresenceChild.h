// The fixture of the plug-in's session tests: ClientCore logs in (zumbase stand-in, fake presence
// server), then PresenceTab runs with its hidden window on this thread. Ticks are posted
// WM_TIMER 101 (the window's own timer is stopped); friends are fake clients on
// 127.0.0.2 and up, we listen on 127.0.0.1. The session runs as a child of this program
// in a program folder of its own, since the kernel keeps the account folder beside it.
#pragma once

#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
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
#include "PaneRig.h"

using namespace pttest;

namespace ptchild {

inline constexpr wchar_t kChildVariable[] = L"PRESENCETAB_TEST_PARENT";
inline constexpr char kOwnId[] = "demo01";

inline std::wstring ParentDir() {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(kChildVariable, value, MAX_PATH);
    return value;
}

inline bool IsChild() { return !ParentDir().empty(); }

inline std::string A(const char* utf8) { return testkit::Ansi(utf8); }

// Runs the message loop of this thread until done() or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
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

inline void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// Notices the window was sent, caught on their way to it.
struct Caught {
    UINT message;
    presence::PresenceNotice notice;
};
inline std::vector<Caught> g_caught;
inline WNDPROC g_original = nullptr;

inline LRESULT CALLBACK Catcher(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= presence::PTM_VERIFY_REQUEST && message <= presence::PTM_VERIFY_REFUSED && lParam) {
        g_caught.push_back({message, *reinterpret_cast<const presence::PresenceNotice*>(lParam)});
    }
    return CallWindowProcW(g_original, window, message, wParam, lParam);
}

inline std::string Group(const char* id, const char* name, const std::string& inner) {
    return "<item>" + Cell("groupID", id) + Cell("groupName", A(name)) + "<cell name=\"friendList\" type=\"27\">" + inner +
           "</cell></item>";
}

inline std::string Friend(const char* id, const char* nick) {
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
        for (const wchar_t* cfg : {L"config\\commprof.cfg", L"config\\version.cfg", L"config\\uiprof.cfg"}) {
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
                           "</cell></cell><cell name=\"groupList\" type=\"27\">" + Cell("groupID", "0") +
                           "<cell name=\"friendList\" type=\"27\">" + Friend("q2", "小黑") + "</cell></cell>";
        server->Default("IncrementGetAddressList", Reply(Cell("time", "20240101000000") + book));
        server->Default("GetOnlineUserCount", Reply(Cell("onlineusercount", "{seq}")));
        server->Default("HeartBeat2PS", Reply(Cell("interval", "5")));
        for (const char* action : {"SendRequestValidFriend2PS", "SendResponseValidFriend2PS", "ChangeGroup",
                                   "ModFriendInf2PS"}) {
            server->Default(action, Reply(""));
        }
    }

    // Where the presence server says `id` is (its local address the public one when null).
    void Where(const char* id, const char* ip, const char* localIp = nullptr) {
        std::string p = std::to_string(port);
        server->Default("GetFriendIP", Reply(Cell("statuscode", "1") + Cell("localip", localIp ? localIp : ip) +
                                             Cell("localport", p) + Cell("ip", ip) + Cell("port", p)),
                        200, std::string("target_id=") + id);
    }
    int AsksOf(const char* id) {
        int n = 0;
        for (const PresencePost& p : server->Posts())
            n += p.path.find("/GetFriendIP.do") != std::string::npos &&
                 p.body.find(std::string("target_id=") + id) != std::string::npos;
        return n;
    }

    void Online(const std::vector<std::pair<const char*, const char*>>& friends) {
        std::string list;
        for (const auto& f : friends) list += OnlineRecord(f.first, f.second, port);
        server->Default("GetUserContactFriendIP", Reply("<cell name=\"friend-list\" type=\"27\">" + list + "</cell>"));
    }

    void Create(HWND owner = nullptr) {
        plugModule = LoadLibraryW((folder + L"PresenceTab.dll").c_str());
        ASSERT_NE(nullptr, plugModule);
        auto create = vantor::ProcAddress<PFN_TabPlug_Create>(plugModule, TABPLUG_CREATE_NAME);
        getHwnd = vantor::ProcAddress<PFN_TabPlug_GetSafeHwnd>(plugModule, TABPLUG_GETSAFEHWND_NAME);
        doCommand = vantor::ProcAddress<PFN_TabPlug_DoCommand>(plugModule, TABPLUG_DOCOMMAND_NAME);
        destroy = vantor::ProcAddress<PFN_TabPlug_Destroy>(plugModule, TABPLUG_DESTROY_NAME);
        ASSERT_TRUE(create && getHwnd && doCommand && destroy);
        plug = create(owner, nullptr, 1, 0);
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
    // The same from a fake friend's client at `from`, without waiting for the dispatch.
    std::vector<std::string> SendFrom(const char* from, const std::string& fields) {
        return peer->Send("127.0.0.1", port, fields, "whole", 1, from);
    }
    WORD StatusOf(const char* id) { return Info(Find(id)).status.status; }
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

// Runs the child's tests of `filter` in a program folder of its own. The suite runs as
// several CTest tests, each naming its part in PRESENCETAB_PART; without it all parts run.
inline void RunSession(const char* part, const wchar_t* filter) {
    if (IsChild()) GTEST_SKIP();
    char chosen[8] = {};
    GetEnvironmentVariableA("PRESENCETAB_PART", chosen, sizeof chosen);
    if (chosen[0] && strcmp(chosen, part) != 0) GTEST_SKIP() << "the other part";
    std::wstring program = testkit::ProgramDir();
    std::wstring dir = testkit::FreshDir(L"presencetab");
    std::wstring exe = testkit::CopyThisExeTo(dir);
    ASSERT_FALSE(exe.empty());
    for (const wchar_t* dll : {L"ClientCore.dll", L"zumbase.dll", L"RostBase.dll", L"PresenceCore.dll", L"WebFetch.dll",
                               L"RostLedger.dll", L"RostKeeper.dll", L"PresenceTab.dll", L"SkinFrame.dll", L"PictKit.dll",
                               L"KnobKit.dll", L"GlassKit.dll", L"CommonKit.dll", L"HookRelay.dll", L"Toolcrate.dll",
                               L"CoreFront.dll", L"RostDialogs.dll", L"AnchorKit.dll", L"SurfView.dll", L"PlugHost.dll",
                               L"OrderHub.dll"}) {
        ASSERT_TRUE(testkit::CopyFromProgramDir(dir, dll)) << dll;
    }
    ASSERT_TRUE(testkit::CopyFromProgramDir(dir, L"TraceDeck.dll", L"TabDeck.dll"));
    testkit::CopyTree(program + L"Skins", dir + L"Skins");
    std::wstring arguments = std::wstring(L"--gtest_filter=") + filter + L":PresenceChild.ZzReachedTheEnd";
    DWORD code = testkit::RunProgram(exe, arguments, dir, {{kChildVariable, program}}, 240000);
    EXPECT_EQ(0u, code);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir + L"child-done").c_str())) << "the child stopped early";
}

}  // namespace ptchild
