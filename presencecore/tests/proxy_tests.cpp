// Proxy messages riding on replies: the queue file, its numbering, the event, and
// what a hostile or busy server cannot do to them.
#include "PresenceHarness.h"

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "Text.h"
#include "TestSupport.h"

using namespace pstest;
using testkit::Ansi;

namespace {

const char kEventName[] = "PS_Proxy_Msg_Process_Event.qen";

std::string Queue(const char* user) { return vantor::WideToAnsi(ProgramFolder()) + user + "\\psproxy.ppi"; }

std::vector<std::string> Sections(const char* user) {
    std::vector<char> names(65536);
    GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()), Queue(user).c_str());
    std::vector<std::string> out;
    for (const char* p = names.data(); *p; p += strlen(p) + 1) out.push_back(p);
    return out;
}

// "key=value" lines of one section, in file order.
std::vector<std::string> Section(const char* user, const char* name) {
    std::vector<char> text(65536);
    GetPrivateProfileSectionA(name, text.data(), static_cast<DWORD>(text.size()), Queue(user).c_str());
    std::vector<std::string> out;
    for (const char* p = text.data(); *p; p += strlen(p) + 1) out.push_back(p);
    return out;
}

class ProxyTest : public PresenceTest {
protected:
    void SetUp() override {
        PresenceTest::SetUp();
        event_ = CreateEventA(nullptr, FALSE, FALSE, kEventName);
        ASSERT_NE(nullptr, event_);
        WaitForSingleObject(event_, 0);
        LoginAs("u1001");
    }
    void TearDown() override {
        CloseHandle(event_);
        PresenceTest::TearDown();
    }
    void LoginAs(const char* id) {
        FriendInfoA account = Account();
        strcpy(account.id, id);
        ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    }
    // Whether the event fired since the last look (it resets itself).
    bool Signalled() { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }
    void Beat(const std::string& inner) {
        FakeServer::Queue("HeartBeat2PS", Reply((Cell("interval", "30") + inner).c_str()));
        ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    }
    HANDLE event_ = nullptr;
};

TEST_F(ProxyTest, MessagesBecomeNumberedSectionsAndFireTheEvent) {
    Beat("<P><V><C><ID>u3001</ID><NA>王五</NA><M>你好</M></C></V></P>");
    EXPECT_EQ((std::vector<std::string>{"1"}), Sections("u1001"));
    EXPECT_EQ((std::vector<std::string>{"opencode=1", "ID=u3001", Ansi("NA=王五"), Ansi("M=你好")}), Section("u1001", "1"));
    EXPECT_EQ("1", ReadRunProf("PSProxy", "u1001"));
    EXPECT_TRUE(Signalled());
    EXPECT_FALSE(Signalled());

    // The next batch goes on while [1] waits; two messages of one batch, one signal.
    Beat("<P><v><C><ID>a</ID></C><C><ID>b</ID></C></v><st><C><ID>c</ID><S>1</S></C></st></P>");
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "4"}), Sections("u1001"));
    EXPECT_EQ((std::vector<std::string>{"opencode=1", "ID=b"}), Section("u1001", "3"));
    EXPECT_EQ((std::vector<std::string>{"opencode=6", "ID=c", "S=1"}), Section("u1001", "4"));
    EXPECT_TRUE(Signalled());

    // Once the consumer emptied the queue, numbering starts over.
    DeleteFileA(Queue("u1001").c_str());
    Beat("<P><R><C><ID>d</ID></C></R></P>");
    EXPECT_EQ((std::vector<std::string>{"1"}), Sections("u1001"));
    EXPECT_EQ("opencode=2", Section("u1001", "1")[0]);
    EXPECT_EQ("1", ReadRunProf("PSProxy", "u1001"));
    EXPECT_TRUE(Signalled());

    // Unknown kinds, other tags and empty messages store nothing and fire nothing; an
    // empty message still uses up its number.
    Beat("<P><X><C><ID>x</ID></C></X><V><Q><ID>q</ID></Q><C/></V></P>");
    EXPECT_EQ((std::vector<std::string>{"1"}), Sections("u1001"));
    EXPECT_FALSE(Signalled());
    Beat("<P><D><C><ID>e</ID></C></D></P>");
    EXPECT_EQ((std::vector<std::string>{"1", "3"}), Sections("u1001"));
    EXPECT_TRUE(Signalled());

    // A reply far longer than one read, with double-byte text across every place it
    // may be cut: the message arrives whole.
    std::string text = "x";
    for (int i = 0; i < 12000; ++i) text += "中";
    Beat("<P><V><C><M>" + text + "</M></C></V></P>");
    std::vector<std::string> names = Sections("u1001");
    ASSERT_EQ(3u, names.size());
    std::vector<std::string> keys = Section("u1001", names.back().c_str());
    ASSERT_EQ(2u, keys.size());
    EXPECT_TRUE(keys[1] == "M=" + Ansi(text.c_str())) << "message text changed";
}

TEST_F(ProxyTest, OnlyRepliesThatCarryMessagesAreSearched) {
    const std::string batch = "<P><V><C><ID>z</ID></C></V></P>";
    // Before the first cell, in login, logoff and gatekeeper replies: not looked at.
    FakeServer::Queue("HeartBeat2PS", Reply((batch + Cell("interval", "30")).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    FakeServer::Queue("LoginPS", Reply((Cell("a", "1") + batch).c_str()));
    FriendInfoA account = Account();
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, nullptr, nullptr));
    FakeServer::Queue("LogoffPS", Reply((Cell("a", "1") + batch).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_Logoff());
    FakeServer::Queue("AddNewGroup", Reply((Cell("message", "no") + batch).c_str(), "0"));
    GroupInfoA group = {};
    EXPECT_EQ(20, ps.PS_Cco_AddGroupA(&group, "10"));
    FakeServer::Queue("SendRequestValidFriend2PS", Reply((Cell("message", "no") + batch).c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_SendRequestValidW(L"u2", nullptr));
    EXPECT_TRUE(Sections("u1001").empty());
    EXPECT_FALSE(Signalled());

    // A refused move keeps the message the reply carried.
    FakeServer::Queue("ChangeGroup", Reply((Cell("message", "no") + batch).c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_MoveFriendA("f", "11", 1));
    EXPECT_EQ((std::vector<std::string>{"1"}), Sections("u1001"));
    EXPECT_TRUE(Signalled());
}

TEST_F(ProxyTest, HostileValuesCannotForgeSectionsOrNumbers) {
    Beat("<P><V><C><ID>u9</ID><M>hi\r\n[77]\r\nopencode=4\r\nID=victim</M><opencode>4</opencode>"
         "<a_x>ok</a_x><id>u10</id></C></V></P>");
    EXPECT_EQ((std::vector<std::string>{"1"}), Sections("u1001"));
    std::vector<std::string> keys = Section("u1001", "1");
    ASSERT_EQ(4u, keys.size());
    EXPECT_EQ("opencode=1", keys[0]);
    EXPECT_EQ("ID=u10", keys[1]) << "a tag differing only in case is the same key; the later value holds";
    EXPECT_EQ(0u, keys[2].find("M=hi ")) << keys[2];
    EXPECT_EQ(std::string::npos, keys[2].find('\n'));
    EXPECT_EQ("a_x=ok", keys[3]);

    // A second user whose queue still holds [1]..[5]: the next message never reuses one.
    CreateDirectoryW((ProgramFolder() + L"u1002").c_str(), nullptr);
    for (int i = 1; i <= 5; ++i)
        WritePrivateProfileStringA(std::to_string(i).c_str(), "ID", "old", Queue("u1002").c_str());
    WritePrivateProfileStringA("PSProxy", "u1002", "5", vantor::WideToAnsi(ConfigFile(L"run_prof.cfg")).c_str());
    LoginAs("u1002");
    Beat("<P><V><C><ID>new</ID></C></V></P>");
    std::vector<std::string> names = Sections("u1002");
    ASSERT_EQ(6u, names.size());
    EXPECT_EQ("6", names.back());
    EXPECT_EQ((std::vector<std::string>{"opencode=1", "ID=new"}), Section("u1002", "6"));
    EXPECT_EQ("6", ReadRunProf("PSProxy", "u1002"));
}

int __stdcall CountFriends(FriendInfoA, UINT_PTR context) {
    ++*reinterpret_cast<std::atomic<int>*>(context);
    return 1;
}

TEST_F(ProxyTest, BusyThreadsAndAConsumerLoseNothing) {
    const std::string relay = "<P><V><C><ID>m{seq}</ID><M>x</M></C></V></P>";
    FakeServer::Default("HeartBeat2PS", Reply((Cell("interval", "30") + relay).c_str()));
    FakeServer::Default("UpdateUserStatus", Reply((Cell("ok", "1") + relay).c_str()));
    FakeServer::Default("GetUserContactFriendIP",
                        Reply(("<cell name=\"friend-list\" type=\"27\"><record>" + Cell("friendid", "u5") +
                               "</record></cell>" + relay).c_str()));

    std::atomic<bool> producing{true};
    std::map<std::string, int> seen;
    std::thread consumer([&] {
        std::string queue = Queue("u1001");
        for (;;) {
            bool done = !producing.load();
            WaitForSingleObject(event_, 50);
            for (;;) {
                std::vector<std::string> names = Sections("u1001");
                if (names.empty()) break;
                char id[64] = {}, code[8] = {};
                GetPrivateProfileStringA(names[0].c_str(), "ID", "", id, sizeof id, queue.c_str());
                GetPrivateProfileStringA(names[0].c_str(), "opencode", "", code, sizeof code, queue.c_str());
                WritePrivateProfileStringA(names[0].c_str(), nullptr, nullptr, queue.c_str());
                ++seen[std::string(id) + "/" + code];
            }
            if (done) return;
        }
    });

    std::atomic<int> failures{0}, friends{0};
    std::vector<std::thread> workers;
    const int kThreads = 8, kCalls = 60;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            FriendInfoA account = Account();
            for (int i = 0; i < kCalls; ++i) {
                int r = 0;
                switch ((t + i) % 4) {
                case 0: r = ps.PS_Cco_HeartBeat(nullptr, nullptr); break;
                case 1: r = ps.PS_Cco_GetOnlineFriendsA(CountFriends, reinterpret_cast<UINT_PTR>(&friends)); break;
                case 2: r = ps.PS_Cco_UpdateStatusA(0, "1", "", 0); break;
                default: {
                    std::string session = "c" + std::to_string(i % 3);
                    r = ps.PS_Cco_LoginA(&account, session.c_str(), "sso");
                }
                }
                if (r != 0) ++failures;
            }
        });
    }
    for (auto& w : workers) w.join();
    producing = false;
    consumer.join();

    EXPECT_EQ(0, failures.load());
    int relayed = 0;
    for (const Post& p : FakeServer::Log()) {
        if (p.path != "/web/LoginPS.do") ++relayed;
        bool known = p.HasCookie("JSESSIONID=s") || p.HasCookie("JSESSIONID=c0") || p.HasCookie("JSESSIONID=c1") ||
                     p.HasCookie("JSESSIONID=c2");
        EXPECT_TRUE(known) << p.path << ": " << p.cookie;
        EXPECT_TRUE(p.HasCookie("iPlanetDirectoryPro=t") || p.HasCookie("iPlanetDirectoryPro=sso")) << p.cookie;
        if (p.path == "/web/HeartBeat2PS.do") {
            EXPECT_EQ("", p.body);
        } else if (p.path == "/web/UpdateUserStatus.do") {
            EXPECT_EQ("type=0&value=1&proxyflag=0&friend-id=", p.body);
        } else if (p.path == "/web/GetUserContactFriendIP.do") {
            EXPECT_EQ("linkertype=client", p.body);
        } else if (p.path == "/web/LoginPS.do") {
            EXPECT_NE(std::string::npos, p.body.find("localport=6082&UserID=u1001&NickName=")) << p.body;
        } else {
            ADD_FAILURE() << "unexpected post " << p.path;
        }
    }
    EXPECT_EQ(kThreads * kCalls * 3 / 4, relayed);
    EXPECT_EQ(static_cast<size_t>(relayed), seen.size());
    for (const auto& kv : seen) {
        EXPECT_EQ(1, kv.second) << kv.first;
        EXPECT_EQ('1', kv.first.back()) << kv.first;
    }
}

}  // namespace
