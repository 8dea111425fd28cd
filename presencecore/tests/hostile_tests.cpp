// What a hostile presence server cannot do: hold a heart beat or a login past the
// transfer limit, grow the process without bound, slip numbers, ports or ids past their
// ranges, stall the client with thousands of relayed messages, or leave a contact book
// the store cannot read. Also: a process killed during a download never leaves a short
// contact file.
#include "PresenceHarness.h"

#include <psapi.h>

#include <functional>
#include <thread>

#include "../../webfetch/tests/ShortLimit.h"
#include "Handles.h"
#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"

#include "../../rostbase/RostBase.h"

using namespace pstest;
using testkit::Ansi;

namespace {

using hostile::kShortLimitMs;
using hostile::kSlackMs;
using hostile::ShortLimit;
using hostile::Since;

using HostileTest = PresenceTest;

TEST_F(HostileTest, HeartBeatAndLoginEndWithinTheLimitAgainstASilentOrSlowServer) {
    ShortLimit limit;
    FriendInfoA account = Account();
    FriendInfoW wide = {};
    wcscpy(wide.id, L"u1001");
    struct Case {
        const char* action;
        const char* mode;
        std::function<int()> call;
    };
    int retry = 7, interval = 8;
    const Case cases[] = {
        {"HeartBeat2PS", "silent", [&] { return ps.PS_Cco_HeartBeat(&retry, &interval); }},
        {"HeartBeat2PS", "drip", [&] { return ps.PS_Cco_HeartBeat(&retry, &interval); }},
        {"LoginPS", "silent", [&] { return ps.PS_Cco_LoginA(&account, "s", "t"); }},
        {"LoginPS", "drip", [&] { return ps.PS_Cco_LoginW(&wide, L"s", L"t"); }},
        {"IncrementGetAddressList", "silent", [&] {
             return ps.PS_Cco_DownloadW((ProgramFolder() + L"u1001\\rostledger.xml").c_str());
         }},
    };
    for (const Case& c : cases) {
        FakeServer::QueueHostile(c.action, c.mode, Reply(Cell("interval", "30").c_str()));
        ULONGLONG start = GetTickCount64();
        EXPECT_EQ(PS_TRANSFER_FAILED, c.call()) << c.action << " " << c.mode;
        EXPECT_LT(Since(start), kShortLimitMs + kSlackMs) << c.action << " " << c.mode;
    }
    EXPECT_EQ(7, retry);
    EXPECT_EQ(8, interval);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ProgramFolder() + L"u1001\\rostledger.xml").c_str()));

    // The gatekeeper step of a login is bounded the same way.
    UseGatekeeper();
    FakeServer::QueueHostile("GetAvailablePresenceTab", "silent");
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(PS_TRANSFER_FAILED, ps.PS_Cco_LoginA(&account, "s", "t"));
    EXPECT_LT(Since(start), kShortLimitMs + kSlackMs);
}

TEST_F(HostileTest, AnEndlessReplyFailsAndMemoryStaysBounded) {
    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
    FakeServer::QueueHostile("HeartBeat2PS", "endless");
    int interval = 8;
    EXPECT_EQ(PS_TRANSFER_FAILED, ps.PS_Cco_HeartBeat(nullptr, &interval));
    EXPECT_EQ(8, interval);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    EXPECT_LT(counters.PeakPagefileUsage, 512u << 20) << "the reply grew the process";
    // The post ends where the reply passes what is parsed (8 MiB): no more of it is held.
    // (Under Wine the heap shows in the working set, not in the page file use.)
    EXPECT_LT(counters.PeakWorkingSetSize - before.PeakWorkingSetSize, 40u << 20) << "more of the reply was held";
}

TEST_F(HostileTest, AReplyTooLargeToParseIsRefusedBeforeParsing) {
    // The rest of the reply is left to WebFetch, which holds its request (and itself)
    // for twice the limit: shortened, so that the library goes soon after the test.
    ShortLimit limit(10000);
    // Legal, well under the transfer ceiling, but a document of many small elements
    // takes tens of bytes of memory per byte of text while parsed.
    std::string cells;
    cells.reserve(24u << 20);
    while (cells.size() < (24u << 20)) cells += Cell("x", "1");
    FakeServer::Queue("HeartBeat2PS", Reply(cells.c_str()));
    int interval = 8;
    EXPECT_EQ(PS_TRANSFER_FAILED, ps.PS_Cco_HeartBeat(nullptr, &interval));
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
    // The parser's memory shows in the working set under Wine, not in the page file use.
    EXPECT_LT(counters.PeakWorkingSetSize, 512u << 20) << "the reply grew the process";
}

TEST_F(HostileTest, NumbersOutsideTheirRangesAreIgnored) {
    int retry = 7, interval = 8;
    for (const char* bad : {"-5", "86401", "99999999999", "x"}) {
        FakeServer::Queue("HeartBeat2PS",
                          Reply((Cell("retry-times", bad) + Cell("interval", bad)).c_str()));
        ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval)) << bad;
        EXPECT_EQ(7, retry) << bad;
        EXPECT_EQ(8, interval) << bad;
    }
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("retry-times", "0") + Cell("interval", "86400")).c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(&retry, &interval));
    EXPECT_EQ(0, retry);
    EXPECT_EQ(86400, interval);

    LONG count = 5;
    for (const char* bad : {"-3", "99999999999", "none"}) {
        FakeServer::Queue("GetOnlineUserCount", Reply(Cell("onlineusercount", bad).c_str()));
        ASSERT_EQ(0, ps.PS_Cco_GetOnlineCount(&count)) << bad;
        EXPECT_EQ(5, count) << bad;
    }
    FakeServer::Queue("GetOnlineUserCount", Reply(Cell("onlineusercount", "0").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_GetOnlineCount(&count));
    EXPECT_EQ(0, count);
}

TEST_F(HostileTest, AGatekeeperPortOutsideItsRangeIsRefusedNotWrapped) {
    UseGatekeeper();
    FriendInfoA account = Account();
    // Cut to 16 bits, each of these would name the second server.
    for (int port : {FakeServer::SecondPort() + 65536, FakeServer::SecondPort() - 65536}) {
        FakeServer::Reset();
        std::string server = "127.0.0.1:" + std::to_string(port);
        FakeServer::Queue("GetAvailablePresenceTab", Reply(Cell("server", server.c_str()).c_str()));
        ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
        std::vector<Post> posts = FakeServer::Log();
        ASSERT_EQ(2u, posts.size()) << server;
        EXPECT_EQ(FakeServer::MainPort(), posts[1].port) << server;
        EXPECT_EQ("/gk/LoginPS.do", posts[1].path) << server;
    }
}

TEST_F(HostileTest, AnIdTooLongForTheRecordIsAFailure) {
    std::string longId(300, '7');
    FriendInfoA friendA = Account();
    strcpy(friendA.id, "keep");
    FakeServer::Queue("AddFriend2PS", Reply(Cell("id", longId.c_str()).c_str()));
    EXPECT_NE(0, ps.PS_Cco_AddOffFriendA(&friendA, "11"));
    EXPECT_STREQ("keep", friendA.id);

    FriendInfoW friendW = {};
    wcscpy(friendW.id, L"keep");
    FakeServer::Queue("AddFriend2PS", Reply(Cell("id", longId.c_str()).c_str()));
    EXPECT_NE(0, ps.PS_Cco_AddOffFriendW(&friendW, L"11"));
    EXPECT_STREQ(L"keep", friendW.id);

    GroupInfoA groupA = {};
    strcpy(groupA.name, "g");
    FakeServer::Queue("AddNewGroup", Reply(Cell("groupid", longId.c_str()).c_str()));
    EXPECT_NE(0, ps.PS_Cco_AddGroupA(&groupA, "11"));
    EXPECT_STREQ("", groupA.id);

    GroupInfoW groupW = {};
    FakeServer::Queue("AddNewGroup", Reply(Cell("id", longId.c_str()).c_str()));
    EXPECT_NE(0, ps.PS_Cco_AddGroupW(&groupW, L"11"));
    EXPECT_STREQ(L"", groupW.id);

    // An id that fits is still taken.
    FakeServer::Queue("AddNewGroup", Reply(Cell("id", "g23").c_str()));
    EXPECT_EQ(0, ps.PS_Cco_AddGroupW(&groupW, L"11"));
    EXPECT_STREQ(L"g23", groupW.id);
}

TEST_F(HostileTest, SixThousandRelayedMessagesInOneReplyAreStoredQuickly) {
    FriendInfoA account = Account();
    ASSERT_EQ(0, ps.PS_Cco_LoginA(&account, "s", "t"));
    std::string batch = "<P><V>";
    for (int i = 0; i < 6000; ++i) batch += "<C><ID>u" + std::to_string(i) + "</ID><M>m</M></C>";
    batch += "</V></P><P><R><C><ID>last</ID></C></R></P>";
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("interval", "30") + batch).c_str()));
    ULONGLONG start = GetTickCount64();
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    // Written in one go this takes well under a second; a write per message would rewrite
    // the file 12,000 times.
    // The bound leaves room for a machine busy with other work.
    EXPECT_LT(Since(start), 4000u);

    std::string queue = vantor::WideToAnsi(ProgramFolder()) + "u1001\\psproxy.ppi";
    char value[64] = {};
    GetPrivateProfileStringA("1", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("u0", value);
    GetPrivateProfileStringA("6000", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("u5999", value);
    GetPrivateProfileStringA("6001", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("last", value);
    GetPrivateProfileStringA("6001", "opencode", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("2", value);
    EXPECT_EQ("6001", ReadRunProf("PSProxy", "u1001"));

    // The next reply goes on behind them, also in a queue the profile functions wrote.
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("interval", "30") + "<P><D><C><ID>n</ID></C></D></P>").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    GetPrivateProfileStringA("6002", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("n", value);
    WritePrivateProfileStringA("6002", nullptr, nullptr, queue.c_str());
    FakeServer::Queue("HeartBeat2PS", Reply((Cell("interval", "30") + "<P><D><C><ID>o</ID></C></D></P>").c_str()));
    ASSERT_EQ(0, ps.PS_Cco_HeartBeat(nullptr, nullptr));
    GetPrivateProfileStringA("6003", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("o", value);
    GetPrivateProfileStringA("6001", "ID", "", value, sizeof value, queue.c_str());
    EXPECT_STREQ("last", value);
}

// The reply of a download with `friends` friends under the network root; the first
// friend's name is `firstName`.
std::string Book(int friends, const std::string& firstName, const char* stamp) {
    std::string items;
    for (int i = 0; i < friends; ++i) {
        std::string name = i == 0 ? firstName : "f" + std::to_string(i);
        items += "<item>" + Cell("friendID", ("u" + std::to_string(5000 + i)).c_str()) +
                 Cell("contactname", name.c_str()) + "</item>";
    }
    std::string lists = "<cell name=\"groupList\" type=\"27\">" + Cell("groupID", "1") +
                        "<cell name=\"friendList\" type=\"27\"><item>" + Cell("groupID", "11") +
                        Cell("groupName", "net") + "<cell name=\"friendList\" type=\"27\">" + items +
                        "</cell></item></cell></cell>";
    return Reply((Cell("time", stamp) + lists).c_str());
}

int CountStoredFriends(const char* account) {
    vantor::UniqueModule rost(vantor::LoadProgramLibrary(L"RostBase.dll"));
    auto load = vantor::ProcAddress<decltype(&RostBase_LoadA)>(rost.get(), "RostBase_LoadA");
    auto unload = vantor::ProcAddress<decltype(&RostBase_Unload)>(rost.get(), "RostBase_Unload");
    auto onRoot = vantor::ProcAddress<decltype(&RostBase_GetOnRootGroup)>(rost.get(), "RostBase_GetOnRootGroup");
    auto friends =
        vantor::ProcAddress<decltype(&RostBase_EnumGroupFriends)>(rost.get(), "RostBase_EnumGroupFriends");
    if (!load || !unload || !onRoot || !friends) return -1;
    RostBaseHandle store = load(account);
    int count = 0;
    friends(store, onRoot(store), [](FriendHandle, GroupHandle, UINT_PTR n) CALLBACK -> BOOL {
        ++*reinterpret_cast<int*>(n);
        return TRUE;
    }, reinterpret_cast<UINT_PTR>(&count));
    unload(store);
    return count;
}

TEST_F(HostileTest, AHugeNameIsCutSoTheBookStaysReadable) {
    vantor::ScopedCom com;
    std::wstring path = ProgramFolder() + L"u1001\\rostledger.xml";
    std::string huge(5 << 20, 'n');
    FakeServer::Queue("IncrementGetAddressList", Book(51, huge, "20240101000001"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadW(path.c_str()));
    EXPECT_LT(testkit::ReadFileBytes(path).size(), 64u << 10);
    EXPECT_EQ(51, CountStoredFriends("u1001"));
}

// Child side of the kill test: a watchdog thread ends this process the moment the
// contact file's size changes, while the download runs.
TEST(ContactFileKill, Child) {
    wchar_t target[1024] = {};
    if (!GetEnvironmentVariableW(L"PS_KILL_WATCH", target, 1024)) GTEST_SKIP() << "run by the kill test only";
    Presence ps;
    ASSERT_TRUE(ps.Load());
    WIN32_FILE_ATTRIBUTE_DATA before = {};
    ASSERT_TRUE(GetFileAttributesExW(target, GetFileExInfoStandard, &before));
    std::thread watchdog([&] {
        for (;;) {
            WIN32_FILE_ATTRIBUTE_DATA now = {};
            if (!GetFileAttributesExW(target, GetFileExInfoStandard, &now) || now.nFileSizeLow != before.nFileSizeLow ||
                now.nFileSizeHigh != before.nFileSizeHigh) {
                TerminateProcess(GetCurrentProcess(), 77);
            }
        }
    });
    watchdog.detach();
    ps.PS_Cco_DownloadW(target);
    Sleep(2000);   // the size never changed: give the watchdog no chance to miss it
    TerminateProcess(GetCurrentProcess(), 78);
}

TEST_F(HostileTest, AProcessKilledDuringADownloadLeavesTheOldOrTheNewFile) {
    std::wstring path = ProgramFolder() + L"u1001\\rostledger.xml";
    // Two books of different sizes, as the download writes them.
    FakeServer::Queue("IncrementGetAddressList", Book(3000, "big", "20240101000002"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadW(path.c_str()));
    const std::string bigFile = testkit::ReadFileBytes(path);
    FakeServer::Queue("IncrementGetAddressList", Book(40, "small", "20240101000003"));
    ASSERT_EQ(0, ps.PS_Cco_DownloadW(path.c_str()));
    const std::string smallFile = testkit::ReadFileBytes(path);
    ASSERT_NE(bigFile.size(), smallFile.size());

    char ports[64];
    snprintf(ports, sizeof ports, "%d,%d,%d", FakeServer::MainPort(), FakeServer::SecondPort(), FakeServer::DeadPort());
    std::string expected = smallFile;
    for (int run = 0; run < 10; ++run) {
        bool big = run % 2 == 0;
        FakeServer::Queue("IncrementGetAddressList",
                          big ? Book(3000, "big", "20240101000002") : Book(40, "small", "20240101000003"));
        DWORD code = testkit::RunProgram(testkit::ThisExePath(), L"--gtest_filter=ContactFileKill.Child",
                                         ProgramFolder(),
                                         {{L"PS_FAKE_PORTS", vantor::AnsiToWide(ports)}, {L"PS_KILL_WATCH", path}},
                                         60000);
        EXPECT_EQ(77u, code) << "run " << run << ": the watchdog did not fire";
        std::string now = testkit::ReadFileBytes(path);
        EXPECT_TRUE(now == bigFile || now == smallFile) << "run " << run << ": a file of " << now.size()
                                                         << " bytes is neither the old nor the new one";
    }
}

}  // namespace
