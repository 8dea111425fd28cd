// Login, logoff, heart beat, result mapping and the gatekeeper, against the fake server.
#include "PresenceHarness.h"

#include <atomic>
#include <thread>

#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"

using namespace pstest;
using testkit::Ansi;

namespace {

const char kAccountBody[] = "UserID=u1001&NickName=张三&Province=11&City=北京&Sex=1&Age=30&Birthday=1990-01-01";

// The login body after the optional "localip=..." pair (whose address depends on the host).
std::string WithoutLocalIp(const std::string& body) {
    if (body.compare(0, 8, "localip=") != 0) return body;
    size_t amp = body.find('&');
    return amp == std::string::npos ? std::string() : body.substr(amp + 1);
}

using SessionTest = PresenceTest;

// While one lives, inet_ntoa answers null to PresenceCore: its import slot is pointed
// at a stand-in.
class FailingAddressText {
public:
    explicit FailingAddressText(HMODULE module) : slot_(ImportSlot(module)) {
        if (slot_) original_ = Swap(reinterpret_cast<ULONG_PTR>(&NoText));
    }
    ~FailingAddressText() {
        if (slot_) Swap(original_);
    }
    bool Active() const { return slot_ != nullptr; }

private:
    static char* WINAPI NoText(in_addr) { return nullptr; }

    static ULONG_PTR* ImportSlot(HMODULE module) {
        auto* base = reinterpret_cast<BYTE*>(module);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (!imports.VirtualAddress) return nullptr;
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
             ++entry) {
            if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "ws2_32.dll") != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++slots) {
                bool match = IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)
                                 ? IMAGE_ORDINAL(names->u1.Ordinal) == 11
                                 : strcmp(reinterpret_cast<const char*>(
                                              reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                                                  ->Name),
                                          "inet_ntoa") == 0;
                if (match) return reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    ULONG_PTR Swap(ULONG_PTR value) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        ULONG_PTR was = *slot_;
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, old, &old);
        return was;
    }

    ULONG_PTR* slot_;
    ULONG_PTR original_ = 0;
};

TEST_F(SessionTest, LoginPostsAccountAndKeepsCookiesForLaterPosts) {
    FriendInfoA account = Account();
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "sess1", "sso1"));
    Post login = FakeServer::Only();
    EXPECT_EQ("/web/LoginPS.do", login.path);
    EXPECT_EQ(Ansi("localport=6082&") + Ansi(kAccountBody), WithoutLocalIp(login.body));
    EXPECT_TRUE(login.HasCookie("JSESSIONID=sess1")) << login.cookie;
    EXPECT_TRUE(login.HasCookie("iPlanetDirectoryPro=sso1")) << login.cookie;

    FakeServer::Reset();
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, nullptr, nullptr));
    ASSERT_EQ(0, ps.PS_Cco_Logoff());
    std::vector<Post> posts = FakeServer::Log();
    ASSERT_EQ(3u, posts.size());
    EXPECT_EQ("/web/HeartBeat2PS.do", posts[0].path);
    EXPECT_EQ("", posts[0].body);
    EXPECT_EQ("/web/LogoffPS.do", posts[2].path);
    for (const Post& p : posts) {
        EXPECT_TRUE(p.HasCookie("JSESSIONID=sess1")) << p.path << ": " << p.cookie;
        EXPECT_TRUE(p.HasCookie("iPlanetDirectoryPro=sso1")) << p.path << ": " << p.cookie;
    }

    FakeServer::Reset();
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "sess2", nullptr));
    Post again = FakeServer::Only();
    EXPECT_TRUE(again.HasCookie("JSESSIONID=sess2")) << again.cookie;
    EXPECT_TRUE(again.HasCookie("iPlanetDirectoryPro=sso1")) << again.cookie;
}

TEST_F(SessionTest, LoginVariantsOfPortSexAndWideForm) {
    FriendInfoA account = Account();
    account.sex = static_cast<SHORT>(65535);
    account.status.localPort = 5000;
    WriteConfig(L"LocalTcpPort", L"");
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    std::string body = WithoutLocalIp(FakeServer::Only().body);
    EXPECT_EQ(0u, body.find("localport=5000&UserID=u1001&")) << body;
    EXPECT_NE(std::string::npos, body.find("&Sex=-1&")) << body;

    FakeServer::Reset();
    account.status.localPort = 0;
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_EQ(0u, WithoutLocalIp(FakeServer::Only().body).find("UserID=u1001&"));

    // Values that carry form syntax arrive whole.
    FakeServer::Reset();
    WriteConfig(L"LocalTcpPort", L"7777");
    strcpy(account.nickname, "A&B=C+D%");
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_NE(std::string::npos, FakeServer::Only().body.find("localport=7777&UserID=u1001&NickName=A%26B%3DC%2BD%25&"));

    // A port the presence tab cannot listen on is announced as the 6082 it listens on.
    for (const char* port : {"70000", "0", "-1", "abc"}) {
        FakeServer::Reset();
        WriteConfig(L"LocalTcpPort", testkit::Wide(port).c_str());
        ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
        EXPECT_EQ(0u, WithoutLocalIp(FakeServer::Only().body).find("localport=6082&UserID=")) << port;
    }

    // The W form takes address and port from the record, never from the configuration,
    // and posts the same 8-bit text as the A form.
    FakeServer::Reset();
    FriendInfoW wide = {};
    wcscpy(wide.id, L"u1001");
    wcscpy(wide.nickname, testkit::Wide("张三").c_str());
    wcscpy(wide.province, L"11");
    wcscpy(wide.city, testkit::Wide("北京").c_str());
    wcscpy(wide.birthday, L"1990-01-01");
    wide.sex = 1;
    wide.age = 30;
    ASSERT_EQ(0, ps.PS_Cco_LoginW(&wide, L"ws", L"wt"));
    Post w = FakeServer::Only();
    EXPECT_EQ(Ansi(kAccountBody), w.body);
    EXPECT_TRUE(w.HasCookie("JSESSIONID=ws")) << w.cookie;
    FakeServer::Reset();
    wide.status.localIp = htonl(0xC0A80102);
    wide.status.localPort = 6090;
    ASSERT_EQ(0, ps.PS_Cco_LoginW(&wide, nullptr, nullptr));
    EXPECT_EQ("localip=192.168.1.2&localport=6090&" + Ansi(kAccountBody), FakeServer::Only().body);
}

TEST_F(SessionTest, AnAddressWithoutTextIsLeftOut) {
    {
        FailingAddressText failing(ps.module);
        ASSERT_TRUE(failing.Active());
        // The W login posts no local address.
        FriendInfoW wide = {};
        wcscpy(wide.id, L"u1001");
        wide.status.localIp = htonl(0xC0A80102);
        ASSERT_EQ(0, ps.PS_Cco_LoginW(&wide, nullptr, nullptr));
        EXPECT_EQ(std::string::npos, FakeServer::Only().body.find("localip")) << FakeServer::Only().body;
    }
    // A server the gatekeeper names is not usable: the login goes to the gatekeeper's prefix.
    UseGatekeeper();
    FailingAddressText failing(ps.module);
    ASSERT_TRUE(failing.Active());
    FakeServer::Reset();
    std::string server = "127.0.0.1:" + std::to_string(FakeServer::SecondPort());
    FakeServer::Queue("GetAvailablePresenceTab", Reply(Cell("server", server.c_str()).c_str()));
    FriendInfoA account = Account();
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    std::vector<Post> posts = FakeServer::Log();
    ASSERT_EQ(2u, posts.size());
    EXPECT_EQ("/gk/LoginPS.do", posts[1].path);
}

TEST_F(SessionTest, HeartBeatHandsBackServerValues) {
    int retry = 7, interval = 8;
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("retry-times", "3") + Cell("interval", "45") + Cell("interval", "60")).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(3, retry);
    EXPECT_EQ(60, interval);
    // The walk takes "cell" in any case.
    FakeServer::Queue("HeartBeat2PS",
                      Reply((Cell("retry-times", "4") + "<CELL name=\"interval\" type=\"8\">75</CELL>").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(4, retry);
    EXPECT_EQ(75, interval);
    // So is the first cell, where the envelope starts.
    FakeServer::Queue("HeartBeat2PS", Reply("<CELL name=\"retry-times\" type=\"8\">5</CELL>"
                                            "<Cell name=\"interval\" type=\"8\">90</Cell>"));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(5, retry);
    EXPECT_EQ(90, interval);
    FakeServer::Queue("HeartBeat2PS", Reply("<Cell name=\"message\" type=\"8\">busy</Cell>", "0"));
    EXPECT_EQ(20, ps.PS_Cco_HeartBeat(&retry, &interval));
    retry = 3;
    interval = 60;

    // Without cells, or with values that are not text or not usable, nothing changes.
    FakeServer::Queue("HeartBeat2PS", Reply(""));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("interval", "30", 3) + Cell("retry-times", "")).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    FakeServer::Queue("HeartBeat2PS", Reply(Cell("interval", "0").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(3, retry);
    EXPECT_EQ(60, interval);
}

TEST_F(SessionTest, EveryOutcomeMapsToItsResult) {
    struct Case {
        const char* what;
        std::string reply;
        int status;
        int expected;
    };
    const Case cases[] = {
        {"html page", "<html><body>busy</body></html", 200, 500},
        {"empty body", "", 200, 500},
        {"cut reply", "<lwData docId=\"1\"><cell", 200, 500},
        {"other root", "<root docId=\"1\"/>", 200, 501},
        {"docId 2 without cell", "<lwData docId=\"2\"/>", 200, 501},
        {"refusal without cell", "<lwData docId=\"0\"/>", 200, 501},
        {"refusal with cell", Reply(Cell("message", "不允许").c_str(), "0"), 200, 20},
        {"no docId, named cell", "<lwData>" + Cell("x", "1") + "</lwData>", 200, 20},
        {"no docId, unnamed cell", "<lwData><cell type=\"8\">1</cell></lwData>", 200, 501},
        {"plain success", "<lwData docId=\"1\"/>", 200, 0},
        {"trailing controls", "<lwData docId=\"1\"/>\r\n\r\n\x01", 200, 0},
        {"server error", "oops", 500, 10500},
        {"not found", "gone", 404, 10404},
    };
    for (const Case& c : cases) {
        int retry = 7, interval = 8;
        FakeServer::Queue("HeartBeat2PS", c.reply, c.status);
        EXPECT_EQ(c.expected, ps.PS_Cco_HeartBeat(&retry, &interval)) << c.what;
        EXPECT_EQ(7, retry) << c.what;
        EXPECT_EQ(8, interval) << c.what;
    }

    // A reply cannot make the library read a local file into its values.
    testkit::WriteFileBytes(ProgramFolder() + L"secret.txt", "45");
    std::string secret = vantor::WideToAnsi(L"file:///" + ProgramFolder() + L"secret.txt");
    for (char& c : secret)
        if (c == '\\') c = '/';
    std::string external = "<!DOCTYPE lwData [<!ENTITY e SYSTEM \"" + secret + "\">]>" +
                           Reply((Cell("interval", "&e;") + Cell("retry-times", "3")).c_str());
    FakeServer::Queue("HeartBeat2PS", external);
    int retry = 7, interval = 8;
    ps.PS_Cco_HeartBeat(&retry, &interval);
    EXPECT_EQ(8, interval);
    // Nor is any document type parsed: an entity of the reply's own is not expanded
    // into its values, and one that would multiply the reply into minutes of parsing is
    // refused at once.
    std::string internal = "<!DOCTYPE lwData [<!ENTITY e \"45\">]>" +
                           Reply((Cell("interval", "&e;") + Cell("retry-times", "3")).c_str());
    FakeServer::Queue("HeartBeat2PS", internal);
    EXPECT_EQ(500, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(7, retry);
    EXPECT_EQ(8, interval);
    std::string refs;
    for (int i = 0; i < 1000; ++i) refs += "&e;";
    std::string multiplied = "<!DOCTYPE lwData [<!ENTITY e \"" + std::string(65536, 'x') + "\">]>" +
                             Reply(Cell("message", refs.c_str()).c_str());
    FakeServer::Queue("HeartBeat2PS", multiplied);
    ULONGLONG parseStart = GetTickCount64();
    EXPECT_EQ(500, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    EXPECT_LT(GetTickCount64() - parseStart, 5000u);
    // An element with more attributes than any reply carries is refused unparsed.
    std::string attributes = "<lwData docId=\"1\"";
    for (int i = 0; i < 20000; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
    FakeServer::Queue("HeartBeat2PS", attributes + "/>");
    parseStart = GetTickCount64();
    EXPECT_EQ(500, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    EXPECT_LT(GetTickCount64() - parseStart, 5000u);

    // A reply cut short after its headers is never taken for a success.
    FakeServer::Queue("HeartBeat2PS", Reply(Cell("interval", "45").c_str()), 200, 10);
    EXPECT_NE(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));

    wchar_t url[128];
    swprintf(url, 128, L"http://127.0.0.1:%d/web/", FakeServer::DeadPort());
    WriteConfig(L"psUrl", url);
    Reload();
    DWORD start = GetTickCount();
    EXPECT_EQ(2101, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    EXPECT_LT(GetTickCount() - start, 20000u);

    FakeServer::Reset();
    WriteConfig(L"psUrl", L"");
    Reload();
    FriendInfoA account = Account();
    EXPECT_EQ(20000, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    EXPECT_EQ(20000, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_TRUE(FakeServer::Log().empty());

    // An HTTP engine that cannot be opened is reported, and nothing is posted.
    WriteConfig(L"psUrl", (L"http://127.0.0.1:" + std::to_wstring(FakeServer::MainPort()) + L"/web/").c_str());
    ps.Unload();
    // WebFetch goes once the engines have reported its requests closed (a reply broken
    // off by an earlier case is closed within twice its shortened limit, then the rest of its
    // body is read, which a busy machine slows).
    for (ULONGLONG wait = GetTickCount64(); GetModuleHandleW(L"WebFetch.dll") && GetTickCount64() - wait < 150000;) {
        Sleep(20);
    }
    ASSERT_EQ(nullptr, GetModuleHandleW(L"WebFetch.dll"));
    std::wstring copy = ProgramFolder() + L"noengine\\PresenceCore.dll";
    HMODULE noEngine = LoadLibraryExW(copy.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(nullptr, noEngine) << "error " << GetLastError();
    auto heartBeat = vantor::ProcAddress<decltype(&PS_Cco_HeartBeat)>(noEngine, "PS_Cco_HeartBeat");
    auto loginA = vantor::ProcAddress<decltype(&PS_Cco_LoginA)>(noEngine, "PS_Cco_LoginA");
    ASSERT_TRUE(heartBeat && loginA);
    EXPECT_EQ(2100, heartBeat(nullptr, nullptr));
    EXPECT_EQ(2100, loginA(&account, "s", "t"));
    FreeLibrary(noEngine);
    EXPECT_TRUE(FakeServer::Log().empty());
}

TEST_F(SessionTest, GatekeeperPicksTheServer) {
    UseGatekeeper();
    wchar_t gk[128];
    FriendInfoA account = Account();

    // (a) the chosen server gets the login and every later post, under psUrl's path.
    std::string server = "127.0.0.1:" + std::to_string(FakeServer::SecondPort());
    FakeServer::Queue("GetAvailablePresenceTab", Reply(Cell("server", server.c_str()).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    std::vector<Post> posts = FakeServer::Log();
    ASSERT_EQ(3u, posts.size());
    EXPECT_EQ("/gk/GetAvailablePresenceTab.do", posts[0].path);
    EXPECT_EQ(FakeServer::MainPort(), posts[0].port);
    EXPECT_EQ("", posts[0].body);
    EXPECT_EQ("/web/LoginPS.do", posts[1].path);
    EXPECT_EQ(FakeServer::SecondPort(), posts[1].port);
    EXPECT_EQ("/web/HeartBeat2PS.do", posts[2].path);
    EXPECT_EQ(FakeServer::SecondPort(), posts[2].port);

    // (c) no usable answer: the login goes to the gatekeeper's prefix.
    FakeServer::Reset();
    // Relay messages in a gatekeeper reply are not taken.
    FakeServer::Queue("GetAvailablePresenceTab",
                      Reply((Cell("server", "no-port-here") + "<P><V><C><ID>g</ID></C></V></P>").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ProgramFolder() + L"u1001\\psproxy.ppi").c_str()));
    posts = FakeServer::Log();
    ASSERT_EQ(2u, posts.size());
    EXPECT_EQ("/gk/LoginPS.do", posts[1].path);

    // (d) a refusal ends the login before LoginPS.
    FakeServer::Reset();
    FakeServer::Queue("GetAvailablePresenceTab", Reply(Cell("message", "满了").c_str(), "0"));
    EXPECT_EQ(20, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_EQ(1u, FakeServer::Log().size());

    // Logins that ask the gatekeeper again while other threads beat: only the
    // gatekeeper's own post goes to its address.
    FakeServer::Reset();
    FakeServer::Default("GetAvailablePresenceTab", Reply(Cell("server", server.c_str()).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    size_t before = FakeServer::Log().size();
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            FriendInfoA own = Account();
            for (int i = 0; i < 25; ++i) {
                int r = t == 0 ? ps.PS_Cco_LoginA(&own, "s", "t") : ps.PS_Cco_HeartBeat(nullptr, nullptr);
                if (r != 0) ++failures;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(0, failures.load());
    posts = FakeServer::Log();
    ASSERT_EQ(before + 25 * 4, posts.size());
    for (size_t i = before; i < posts.size(); ++i) {
        const Post& p = posts[i];
        bool gatekeeper = p.path == "/gk/GetAvailablePresenceTab.do";
        EXPECT_TRUE(gatekeeper || p.path.compare(0, 5, "/web/") == 0) << p.path;
        EXPECT_EQ(gatekeeper ? FakeServer::MainPort() : FakeServer::SecondPort(), p.port) << p.path;
    }

    // (b) an unreachable gatekeeper: 2101, no login, and the next post reads psUrl again.
    FakeServer::Reset();
    swprintf(gk, 128, L"http://127.0.0.1:%d/gk/", FakeServer::DeadPort());
    WriteConfig(L"gkUrl", gk);
    EXPECT_EQ(2101, ps.PS_Cco_LoginA(&account, "s", "t"));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    Post beat = FakeServer::Only();
    EXPECT_EQ("/web/HeartBeat2PS.do", beat.path);
    EXPECT_EQ(FakeServer::MainPort(), beat.port);
}

}  // namespace
