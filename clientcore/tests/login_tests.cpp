// Login, logoff and service application against the stand-in platform, the fake presence
// server and the real contact store, in a program folder of their own.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "CcoTestApi.h"
#include "FakeControl.h"
#include "ModulePath.h"
#include "RostBase.h"
#include "TestSupport.h"
#include "Text.h"

using namespace cctest;

namespace {

// --- the fake presence server (started beside the tests), programmed over HTTP

int PresencePort() {
    std::string ports = testkit::ReadFileBytes(ParentProgramDir() + L"presence-fake.port");
    return atoi(ports.c_str());
}

std::string Control(const std::string& what, const std::string& body = std::string()) {
    return testkit::PostToFake(PresencePort(), "/_ctl/" + what, body);
}

using testkit::FromHex;

struct PresencePost {
    std::string path, cookie, body;
};

std::vector<PresencePost> PresencePosts() {
    std::vector<PresencePost> posts;
    std::string log = Control("log");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        std::string line = log.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? log.size() : end + 1;
        std::vector<std::string> f;
        size_t at = 0;
        for (;;) {
            size_t tab = line.find('\t', at);
            f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        if (f.size() == 4) posts.push_back({f[1], f[2], FromHex(f[3])});
    }
    return posts;
}

const PresencePost* FindPost(const std::vector<PresencePost>& posts, const std::string& action) {
    for (const PresencePost& p : posts) {
        if (p.path.find("/" + action + ".do") != std::string::npos) return &p;
    }
    return nullptr;
}

std::string Cell(const char* name, const char* utf8) {
    return std::string("<cell name=\"") + name + "\" type=\"8\">" + utf8 + "</cell>";
}

std::string PresenceReply(const std::string& inner) { return A(("<lwData docId=\"1\" opname=\"x\">" + inner + "</lwData>").c_str()); }

void ProgramPresenceServer() {
    ASSERT_EQ("ok", Control("reset"));
    Control("default?action=GetFriendIP&status=200",
            PresenceReply(Cell("statuscode", "1") + Cell("localip", "127.0.0.1") + Cell("localport", "6082") +
                          Cell("ip", "10.0.0.5") + Cell("port", "7000")));
    std::string friends = "<item>" + Cell("friendID", "f1") + Cell("contactname", "老朋友") + "</item>";
    std::string groups = "<cell name=\"groupList\" type=\"27\">" + Cell("groupID", "1") +
                         "<cell name=\"friendList\" type=\"27\"><item>" + Cell("groupID", "11") +
                         Cell("groupName", "网上好友") + "<cell name=\"friendList\" type=\"27\">" + friends +
                         "</cell></item></cell></cell>";
    Control("default?action=IncrementGetAddressList&status=200", PresenceReply(Cell("time", "20240101000000") + groups));
}

// --- the login's own program folder

void WriteOwnConfig() {
    std::wstring dir = testkit::ProgramDir() + L"config\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    CopyFileW((ParentProgramDir() + L"config\\commprof.cfg").c_str(), (dir + L"commprof.cfg").c_str(), FALSE);
    CopyFileW((ParentProgramDir() + L"config\\version.cfg").c_str(), (dir + L"version.cfg").c_str(), FALSE);
    std::string ps = "[PSConfig]\r\npsUrl=http://127.0.0.1:" + std::to_string(PresencePort()) +
                     "/web/\r\ngkenable=0\r\nLocalTcpPort=6082\r\n";
    testkit::WriteFileBytes(dir + L"psimprof.cfg", ps);
}

struct Progress {
    std::vector<int> steps;
    std::vector<std::string> texts;
    std::vector<std::wstring> wideTexts;
    int cancelAt = 0;
    BOOL cancelAnswer = FALSE;
    BOOL Answer(int step) { return step == cancelAt ? cancelAnswer : TRUE; }
};

BOOL CALLBACK RecordA(int step, const char* text, void* context) {
    Progress* p = static_cast<Progress*>(context);
    p->steps.push_back(step);
    p->texts.push_back(text);
    return p->Answer(step);
}

BOOL CALLBACK RecordW(int step, const wchar_t* text, void* context) {
    Progress* p = static_cast<Progress*>(context);
    p->steps.push_back(step);
    p->wideTexts.push_back(text);
    return p->Answer(step);
}

template <typename F>
void OnOwnThread(F f) {
    std::thread t(f);
    t.join();
}

bool Loaded(const wchar_t* module) { return GetModuleHandleW(module) != nullptr; }

RostBaseHandle Store() { return Cco().GetRostBaseHandle ? Cco().GetRostBaseHandle() : nullptr; }

template <typename Fn>
Fn Rost(const char* name) {
    return vantor::ProcAddress<Fn>(GetModuleHandleW(L"RostBase.dll"), name);
}
#define ROST(name) Rost<decltype(&::name)>(#name)

std::vector<ServicePolicyInfoA> StorePolicies() {
    std::vector<ServicePolicyInfoA> policies(16);
    DWORD n = 16;
    auto current = ROST(RostBase_GetCurrentAccount);
    auto get = ROST(RostBase_GetFriendServicePolicysA);
    if (!current || !get || !get(Store(), current(Store()), policies.data(), &n)) n = 0;
    policies.resize(n);
    return policies;
}

bool StoreHasPolicy(DWORD id) {
    for (const ServicePolicyInfoA& p : StorePolicies()) {
        if (p.id == id) return true;
    }
    return false;
}

class LoginChild : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ChildMode("login")) GTEST_SKIP() << "child run only";
        ASSERT_NE(0, PresencePort()) << "fake presence server not running";
        WriteOwnConfig();
        ASSERT_NE(nullptr, Cco().LoginA);
        ASSERT_EQ(0, Cco().IsAlive(nullptr));
        Stub().Reset();
        ProgramPresenceServer();
    }
    void TearDown() override {
        if (ChildMode("login")) Cco().Logoff();
    }
};

TEST_F(LoginChild, FullLoginFillsTheStoreAndLogoffReleasesIt) {
    Progress progress;
    int result = -1;
    HRESULT comAfter = E_FAIL;
    OnOwnThread([&] {
        result = Cco().LoginA(0, 0, 0, RecordA, &progress);
        comAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(comAfter)) CoUninitialize();
    });
    ASSERT_EQ(0, result) << Cco().GetLastMsg();
    EXPECT_EQ(S_FALSE, comAfter) << "a successful login leaves COM initialised";
    EXPECT_EQ((std::vector<int>{3, 4, 5, 6, 7, 7, 8, 9, 10, 10}), progress.steps);
    EXPECT_EQ(A("正在验证帐号和密码... ..."), progress.texts[0]);
    EXPECT_EQ(A("正在登录在线服务器... ..."), progress.texts[7]);
    EXPECT_EQ(A("正在加载通讯录... ..."), progress.texts[9]);

    // Platform calls in their order; the pending service 19 applied, then a second walk.
    std::string log = ZumLog();
    size_t login2 = log.find("Zum_Login2()"), info = log.find("Zum_GetCustomerPublicInfo((null))"),
           notice = log.find("Zum_GetNotice(-1)"), suite = log.find("Zum_GetUniqueServiceSuiteID()"),
           walk = log.find("Zum_FindFirstService"), catalog = log.find("Zum_GetCatalog(HQ730,-1,1)"),
           subscribe = log.find("Zum_SubscribeService(19,info:(null))=2147483647"), getService = log.find("Zum_GetService(19)");
    ASSERT_NE(std::string::npos, subscribe) << log;
    EXPECT_TRUE(login2 < info && info < notice && notice < suite && suite < walk && walk < catalog &&
                catalog < subscribe && subscribe < getService)
        << log;
    EXPECT_EQ(2, CountCalls("Zum_FindFirstService"));
    EXPECT_STREQ("DEMO", Cco().GetServiceSuiteId());

    // The presence server: login with both cookie values, own addresses, the contact list.
    std::vector<PresencePost> posts = PresencePosts();
    const PresencePost* ps = FindPost(posts, "LoginPS");
    ASSERT_NE(nullptr, ps);
    EXPECT_NE(std::string::npos, ps->cookie.find("JSESSIONID=DEMOSESSION")) << ps->cookie;
    EXPECT_EQ(std::string::npos, ps->cookie.find("DEMOSESSION;Path")) << ps->cookie;
    EXPECT_NE(std::string::npos, ps->cookie.find("iPlanetDirectoryPro=DEMOSSO")) << ps->cookie;
    ASSERT_NE(nullptr, FindPost(posts, "GetFriendIP"));
    EXPECT_NE(std::string::npos, FindPost(posts, "GetFriendIP")->body.find("target_id=demo01"));
    EXPECT_NE(nullptr, FindPost(posts, "IncrementGetAddressList"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((testkit::ProgramDir() + L"demo01\\rostledger.xml").c_str()));

    // The store: account, policies, boards with subjects, the downloaded friends.
    ASSERT_NE(nullptr, Store());
    FriendInfoA self = {};
    ASSERT_TRUE(ROST(RostBase_GetFriendInfoA)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), &self));
    EXPECT_STREQ("demo01", self.id);
    EXPECT_EQ(A("演示用户"), self.nickname);
    EXPECT_EQ(1, self.status.status);
    std::vector<ServicePolicyInfoA> policies = StorePolicies();
    ASSERT_EQ(2u, policies.size());
    EXPECT_EQ(9u, policies[0].id);
    EXPECT_EQ(19u, policies[1].id);
    EXPECT_EQ(1, policies[1].flags[4]);
    ServiceBoardInfoA boards[4];
    DWORD boardCount = 4;
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceBoardsA)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), boards, &boardCount));
    EXPECT_EQ(2u, boardCount);
    ServiceSubjectInfoA subjects[4];
    DWORD subjectCount = 4;
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceSubjectsA)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), "102",
                                                          subjects, &subjectCount));
    EXPECT_EQ(2u, subjectCount);
    EXPECT_EQ(A("影视"), subjects[1].caption);
    GroupHandle group = nullptr;
    ASSERT_NE(nullptr, ROST(RostBase_IsUserInFriendsA)(Store(), "f1", &group));
    GroupInfoA groupInfo = {};
    ROST(RostBase_GetGroupInfoA)(Store(), group, &groupInfo);
    EXPECT_STREQ("11", groupInfo.id);

    // Logged in: the platform's bulletin and notices.
    char bulletin[CCO_URL_OUT_CHARS];
    Cco().GetBulletinUrlA(bulletin);
    EXPECT_STREQ("http://127.0.0.1:8600/bulletin/DEMO/index.htm", bulletin);
    NoticeInfo notices[2] = {};
    UINT n = 0;
    EXPECT_EQ(0, Cco().GetVantorMessenger(nullptr, &n));
    EXPECT_EQ(1u, n);
    EXPECT_EQ(0, Cco().GetVantorMessenger(notices, &n));
    EXPECT_EQ(A("欢迎使用"), notices[0].t0);

    // Logoff releases the store, the presence login and the platform connection.
    Control("reset");
    EXPECT_EQ(0, Cco().Logoff());
    EXPECT_NE(nullptr, FindPost(PresencePosts(), "LogoffPS"));
    EXPECT_FALSE(Loaded(L"RostBase.dll"));
    EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
    EXPECT_EQ(nullptr, Store());
    EXPECT_TRUE(LogHas("Zum_Disconnect()=2147483647"));
    Cco().GetBulletinUrlA(bulletin);
    EXPECT_NE(nullptr, strstr(bulletin, "\\web\\Callboard\\index.htm"));
    EXPECT_STREQ("DEMO", Cco().GetServiceSuiteId());
}

TEST_F(LoginChild, CancelAtEachStepLoadsNothingUntilTheContactStage) {
    for (int k = 3; k <= 10; ++k) {
        Stub().Reset();
        ASSERT_EQ(0, Cco().IsAlive(nullptr));
        Control("reset");
        Progress progress;
        progress.cancelAt = k;
        // Only the low byte of the answer counts.
        progress.cancelAnswer = k == 3 ? 0x100 : FALSE;
        int result = -1;
        HRESULT comAfter = E_FAIL;
        OnOwnThread([&] {
            result = Cco().LoginA(0, 0, 0, RecordA, &progress);
            comAfter = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            if (SUCCEEDED(comAfter)) CoUninitialize();
        });
        EXPECT_EQ(10, result) << "step " << k;
        EXPECT_EQ(k, progress.steps.back());
        EXPECT_EQ(S_OK, comAfter) << "COM undone after a cancel at " << k;
        EXPECT_EQ(k == 3 ? 0 : 1, CountCalls("Zum_Login2")) << k;
        EXPECT_FALSE(Loaded(L"RostBase.dll")) << k;
        EXPECT_EQ(k == 10, Loaded(L"PresenceCore.dll")) << k;
        EXPECT_EQ(k == 10, FindPost(PresencePosts(), "LoginPS") != nullptr) << k;
        char bulletin[CCO_URL_OUT_CHARS];
        Cco().GetBulletinUrlA(bulletin);
        EXPECT_NE(nullptr, strstr(bulletin, "\\web\\Callboard\\")) << "not logged in after a cancel at " << k;
        EXPECT_EQ(0, Cco().Logoff());
        EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
    }
}

TEST_F(LoginChild, PlatformLoginRoundsWizardsAndServiceWalk) {
    struct Case {
        const char* seq;
        const char* wizard;
        int result;
        int login2Calls;
    } cases[] = {
        {"-1018,2147483647", nullptr, 0, 2},
        {"-1016,2147483647", nullptr, 0, 2},
        {"-1004,-1004,-1004", nullptr, 38996, 3},
        {"-1004,-1004,-1018", nullptr, 0, 3},
        {"-1018", "-5", 39995, 1},
        {"7", nullptr, 30007, 1},
    };
    for (const Case& c : cases) {
        Stub().Reset();
        Stub().Set("Login2", "seq", c.seq);
        if (c.wizard) Stub().Set("Wizard", "userinfo", c.wizard);
        Stub().Set("Errors", "Zum_UpdateUserInfoWizard", A("资料未完善").c_str());
        EXPECT_EQ(c.result, Cco().LoginA(0, 0, 0, nullptr, nullptr)) << c.seq;
        EXPECT_EQ(c.login2Calls, CountCalls("Zum_Login2")) << c.seq;
        if (c.result != 0) {
            EXPECT_EQ(0, CountCalls("Zum_FindFirstService")) << c.seq;
        }
        if (c.wizard) {
            EXPECT_EQ(A("资料未完善"), Cco().GetLastMsg());
        }
        Cco().Logoff();
    }

    Stub().Reset();
    Stub().Set("Fail", "Zum_FindFirstService", "-20");
    Stub().Set("Errors", "Zum_FindFirstService", A("没有服务").c_str());
    EXPECT_EQ(21, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    EXPECT_EQ(A("没有服务"), Cco().GetLastMsg());
    EXPECT_EQ(0, CountCalls("Zum_GetCatalog"));
    EXPECT_EQ(nullptr, Store());
    EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
}

TEST_F(LoginChild, WithoutPresenceServiceAndWithUnusableAccounts) {
    Stub().Set("Services", "list", "19");
    Progress progress;
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, RecordA, &progress));
    EXPECT_EQ((std::vector<int>{3, 4, 5, 6, 7, 7, 8, 9, 10}), progress.steps);
    EXPECT_EQ(A("正在加载基本信息... ..."), progress.texts[7]);
    EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
    EXPECT_TRUE(PresencePosts().empty());
    ASSERT_NE(nullptr, Store());
    EXPECT_TRUE(StoreHasPolicy(19));
    Cco().Logoff();

    // Account ids that are no plain folder name fail before any folder is made: "demo01."
    // and "demo01 " would share the folder of "demo01", and device names name no folder.
    for (const char* bad : {"", "..", "a\\..\\b", "c:x", "x*", "a/b", "demo01.", "demo01 ", "CON", "nul.txt", "com1",
                            "LPT9", "conin$", "clock$", "com0.x"}) {
        Stub().Reset();
        Stub().Set("Customer", "account", bad);
        EXPECT_EQ(39999, Cco().LoginA(0, 0, 0, nullptr, nullptr)) << bad;
        EXPECT_NE(std::string(), Cco().GetLastMsg()) << bad;
        EXPECT_EQ(0, CountCalls("Zum_FindFirstService")) << bad;
        Cco().Logoff();
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((testkit::ProgramDir() + L"b").c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((testkit::ProgramDir() + L"rostledger.xml").c_str()));
}

TEST_F(LoginChild, RefusedPresenceLoginStillLogsInAndRepeatedLoginsHoldOneComReference) {
    // The presence server refuses the login: the login goes on and fills the store.
    Control("default?action=LoginPS&status=200",
            A("<lwData docId=\"0\" opname=\"LoginPS\"><cell name=\"message\" type=\"8\">帐号已在别处登录</cell></lwData>"));
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr)) << Cco().GetLastMsg();
    EXPECT_NE(nullptr, FindPost(PresencePosts(), "LoginPS"));
    ASSERT_NE(nullptr, Store());
    FriendInfoA self = {};
    ASSERT_TRUE(ROST(RostBase_GetFriendInfoA)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), &self));
    EXPECT_STREQ("demo01", self.id);
    EXPECT_EQ(1, self.status.status);
    EXPECT_TRUE(StoreHasPolicy(9));
    char bulletin[CCO_URL_OUT_CHARS];
    Cco().GetBulletinUrlA(bulletin);
    EXPECT_STREQ("http://127.0.0.1:8600/bulletin/DEMO/index.htm", bulletin) << "logged in";
    EXPECT_EQ(0, Cco().Logoff());

    // Login, logoff and login again on one thread: both logins work, and the thread is left
    // with one COM reference from them, not one per login.
    ProgramPresenceServer();
    int first = -1, second = -1;
    bool storeAfterSecond = false;
    HRESULT comAfter = E_FAIL;
    OnOwnThread([&] {
        first = Cco().LoginA(0, 0, 0, nullptr, nullptr);
        Cco().Logoff();
        second = Cco().LoginA(0, 0, 0, nullptr, nullptr);
        storeAfterSecond = Store() != nullptr;
        Cco().Logoff();
        CoUninitialize();
        comAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(comAfter)) CoUninitialize();
    });
    EXPECT_EQ(0, first);
    EXPECT_EQ(0, second);
    EXPECT_TRUE(storeAfterSecond);
    EXPECT_EQ(S_OK, comAfter) << "one uninitialisation ends what the logins kept";
}

// A presence server that takes the posts and never answers holds the login only as long as
// the transfer limit (shortened here through the library's test setting): the presence
// steps fail and the login still ends logged in.
TEST_F(LoginChild, SilentPresenceServerHoldsTheLoginOnlyToTheTransferLimit) {
    const DWORD limitMs = 1000;
    SetEnvironmentVariableW(L"WEBFETCH_TEST_TRANSFER_LIMIT_MS", std::to_wstring(limitMs).c_str());
    for (const char* action : {"LoginPS", "GetFriendIP", "IncrementGetAddressList"})
        ASSERT_EQ("ok", Control(std::string("queue?action=") + action + "&hostile=silent"));
    ULONGLONG start = GetTickCount64();
    int result = Cco().LoginA(0, 0, 0, nullptr, nullptr);
    ULONGLONG took = GetTickCount64() - start;
    SetEnvironmentVariableW(L"WEBFETCH_TEST_TRANSFER_LIMIT_MS", nullptr);
    EXPECT_EQ(0, result) << Cco().GetLastMsg();
    // At most the three presence steps, each within its limit, plus process slack.
    EXPECT_LT(took, 3 * limitMs + 6000) << "ms";
    EXPECT_NE(nullptr, FindPost(PresencePosts(), "LoginPS"));
    EXPECT_NE(nullptr, Store());
    EXPECT_EQ(0, Cco().Logoff());
}

TEST_F(LoginChild, WideLoginCarriesChineseTextsAndAppliesWithoutSecondWalk) {
    Progress progress;
    ASSERT_EQ(0, Cco().LoginW(0, 0, 0, RecordW, &progress));
    EXPECT_EQ((std::vector<int>{3, 4, 5, 6, 7, 7, 8, 9, 10}), progress.steps);
    EXPECT_EQ(W("正在加载通讯录... ..."), progress.wideTexts.back());
    EXPECT_EQ(1, CountCalls("Zum_FindFirstService"));
    EXPECT_EQ(0, CountCalls("Zum_GetNotice"));
    ASSERT_NE(nullptr, Store());
    FriendInfoW self = {};
    ASSERT_TRUE(ROST(RostBase_GetFriendInfoW)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), &self));
    EXPECT_EQ(W("演示用户"), self.nickname);
    EXPECT_EQ(W("深圳"), self.city);
    ServicePolicyInfoW policy = {};
    ASSERT_TRUE(ROST(RostBase_QueryFriendServicePolicyW)(Store(), ROST(RostBase_GetCurrentAccount)(Store()), 9, &policy));
    EXPECT_EQ(W("在线通讯录"), policy.name);
    EXPECT_NE(nullptr, FindPost(PresencePosts(), "IncrementGetAddressList"));
}

TEST_F(LoginChild, ServiceApplicationAfterLoginReachesTheStore) {
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    Stub().ClearLog();
    ServicePolicyInfoA out;
    memset(&out, 0, sizeof out);
    EXPECT_EQ(0, Cco().ApplyServiceA(19, "a=b", &out));
    EXPECT_TRUE(LogHas("Zum_SubscribeService(19,info:a=b)=2147483647")) << ZumLog();
    EXPECT_EQ(19u, out.id);
    EXPECT_EQ(A("家庭助理"), out.name);
    EXPECT_EQ(3, CountCalls("Zum_GetCatalog")) << "the boards are refreshed";

    // A service the store does not hold yet is added to it.
    Stub().Set("Service.5", "name", A("新服务").c_str());
    EXPECT_FALSE(StoreHasPolicy(5));
    ServicePolicyInfoW wide;
    EXPECT_EQ(0, Cco().ApplyServiceW(5, W("城市=北京").c_str(), &wide));
    EXPECT_TRUE(LogHas("Zum_SubscribeService(5,info:" + A("城市=北京") + ")=2147483647")) << ZumLog();
    EXPECT_EQ(W("新服务"), wide.name);
    EXPECT_TRUE(StoreHasPolicy(5));

    // A refused subscription: its code, nothing read back; a failed read-back still counts.
    Stub().ClearLog();
    Stub().Set("Subscribe", "19", "3");
    memset(&out, 0x66, sizeof out);
    EXPECT_EQ(30003, Cco().ApplyServiceA(19, nullptr, &out));
    EXPECT_EQ(0, CountCalls("Zum_GetService"));
    Stub().Set("Subscribe", "19", nullptr);
    Stub().Set("GetService", "19", "-7");
    Stub().Set("Errors", "Zum_GetService", A("读取服务失败").c_str());
    EXPECT_EQ(0, Cco().ApplyServiceA(19, nullptr, &out));
    EXPECT_EQ(A("读取服务失败"), Cco().GetLastMsg());
    EXPECT_EQ(0x66, static_cast<unsigned char>(out.name[0]));
    EXPECT_EQ(0, Cco().ApplyServiceA(-5, nullptr, nullptr));
    EXPECT_TRUE(LogHas("Zum_SubscribeService(-5,info:(null))=2147483647")) << ZumLog();
}

TEST_F(LoginChild, SecondLoginReleasesTheFirstAndFailedDisconnectKeepsTheLogin) {
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    Control("reset");
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    EXPECT_NE(nullptr, FindPost(PresencePosts(), "LogoffPS")) << "the first presence login was ended";
    EXPECT_NE(nullptr, Store());

    Stub().Set("Disconnect", "status", "-9");
    EXPECT_EQ(39991, Cco().Logoff());
    EXPECT_FALSE(Loaded(L"RostBase.dll"));
    EXPECT_FALSE(Loaded(L"PresenceCore.dll"));
    char bulletin[CCO_URL_OUT_CHARS];
    Cco().GetBulletinUrlA(bulletin);
    EXPECT_STREQ("http://127.0.0.1:8600/bulletin/DEMO/index.htm", bulletin) << "still logged in";
    Stub().Set("Disconnect", "status", nullptr);
    EXPECT_EQ(0, Cco().Logoff());
    EXPECT_EQ(0, Cco().Logoff()) << "twice: only the disconnect";
}

TEST_F(LoginChild, CatalogEdgesNoticesAndPlatformTextsOfAnyLength) {
    // Three boards: the second unreadable, the third with a long id and one unreadable subject.
    Stub().Set("Catalog", "count", "3");
    Stub().Set("Catalog", "fail", "1");
    std::string longId(120, '7');
    Stub().Set("Board.2", "name", "long");
    Stub().Set("Board.2", "res", ("board-" + longId).c_str());
    Stub().Set("Board.2", "subjects", "3");
    Stub().Set("Board.2", "fail", "1");
    for (int j = 0; j < 3; ++j) {
        std::string sec = "Board.2.Subject." + std::to_string(j);
        Stub().Set(sec.c_str(), "name", ("s" + std::to_string(j)).c_str());
    }
    Stub().Set("Notice", "count", "2");
    Stub().Set("Notice.1", "t0", "second");
    // A suite id far longer than any address buffer, and no text at all for failures.
    Stub().Set("Suite", "id", std::string(200, 'S').c_str());
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));

    ServiceBoardInfoA boards[4];
    DWORD count = 4;
    FriendHandle self = ROST(RostBase_GetCurrentAccount)(Store());
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceBoardsA)(Store(), self, boards, &count));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ("board-101", boards[0].locator);
    ServiceSubjectInfoA subjects[4];
    DWORD subjectCount = 4;
    // The store's own board id for the long one (the store keeps ids of its own width).
    char storeId[260] = {};
    ASSERT_TRUE(ROST(RostBase_GetServiceBoardIdA)(&boards[1], storeId));
    EXPECT_EQ(0u, longId.find(storeId));
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceSubjectsA)(Store(), self, storeId, subjects, &subjectCount));
    ASSERT_EQ(2u, subjectCount);
    EXPECT_STREQ("s2", subjects[1].caption);

    EXPECT_EQ(63u, strlen(Cco().GetServiceSuiteId()));
    RemoteUrlInfoA url;
    EXPECT_EQ(0, Cco().GetRemoteUrlA(4, &url));
    EXPECT_EQ(std::string("http://127.0.0.1:8600/onlinehelp/") + std::string(63, 'S') + "/index.html", url.url);
    // The longest configured bulletin address with the longest suite id still fits the
    // callers' 340 characters, in both forms.
    ASSERT_TRUE(WritePrivateProfileStringA("CommonUrl", "BulletinUrl", std::string(300, 'b').c_str(),
                                           vantor::WideToAnsi(testkit::ProgramDir() + L"config\\commprof.cfg").c_str()));
    const std::string bulletin = std::string(259, 'b') + std::string(63, 'S') + "/index.htm";
    char outA[CCO_URL_OUT_CHARS + 8];
    memset(outA, 0x5A, sizeof outA);
    EXPECT_EQ(1, Cco().GetBulletinUrlA(outA));
    EXPECT_EQ(bulletin, outA);
    EXPECT_EQ(0x5A, static_cast<unsigned char>(outA[CCO_URL_OUT_CHARS]));
    WCHAR outW[CCO_URL_OUT_CHARS + 8];
    wmemset(outW, L'#', CCO_URL_OUT_CHARS + 8);
    EXPECT_EQ(1, Cco().GetBulletinUrlW(outW));
    EXPECT_EQ(vantor::AnsiToWide(bulletin), outW);
    EXPECT_EQ(L'#', outW[CCO_URL_OUT_CHARS]);

    // Each notice is read into a cleared record: nothing of the one before shows through.
    NoticeInfo notices[2];
    memset(notices, 0x41, sizeof notices);
    UINT n = 2;
    EXPECT_EQ(0, Cco().GetVantorMessenger(notices, &n));
    EXPECT_EQ(A("欢迎使用"), notices[0].t0);
    EXPECT_STREQ("second", notices[1].t0);
    EXPECT_STREQ("", notices[1].t1);
    EXPECT_EQ(0, notices[1].value);
    Stub().Set("Fail", "Zum_GetNotice", "-1");
    EXPECT_EQ(20, Cco().GetVantorMessenger(nullptr, &n));
    // Any negative answer is a failure, never a count or a notice.
    Stub().Set("Fail", "Zum_GetNotice", "-1003");
    n = 7;
    EXPECT_EQ(20, Cco().GetVantorMessenger(nullptr, &n));
    EXPECT_EQ(7u, n);
    memset(notices, 0x41, sizeof notices);
    n = 2;
    EXPECT_EQ(0, Cco().GetVantorMessenger(notices, &n));
    EXPECT_EQ(0x41, static_cast<unsigned char>(notices[0].t0[0]));
    Cco().Logoff();

    // A board or subject read that fails with another code than -1 is skipped the same way.
    Stub().Reset();
    Stub().Set("Services", "list", "9");
    Stub().Set("Fail", "Zum_GetCatalog#2", "-1003");
    Stub().Set("Fail", "Zum_GetSubject#2", "-1003");
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    self = ROST(RostBase_GetCurrentAccount)(Store());
    count = 4;
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceBoardsA)(Store(), self, boards, &count));
    ASSERT_EQ(1u, count);
    EXPECT_STREQ("board-102", boards[0].locator);
    subjectCount = 4;
    ASSERT_TRUE(ROST(RostBase_GetFriendServiceSubjectsA)(Store(), self, "102", subjects, &subjectCount));
    ASSERT_EQ(1u, subjectCount);
    EXPECT_EQ(A("影视"), subjects[0].caption);
    Cco().Logoff();

    // A platform that answers no text at all: empty texts, no crash.
    Stub().Reset();
    Stub().Set("Suite", "null", "1");
    Stub().Set("Stub", "null_error", "1");
    Stub().Set("Login2", "seq", "-3");
    EXPECT_EQ(39997, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    EXPECT_STREQ("", Cco().GetLastMsg());
    Stub().Set("Login2", "seq", nullptr);
    ASSERT_EQ(0, Cco().LoginA(0, 0, 0, nullptr, nullptr));
    EXPECT_STREQ("", Cco().GetServiceSuiteId()) << "a login never shows the previous suite id";
}

TEST_F(LoginChild, ZzReachedTheEnd) { ChildDone(); }

TEST(LoginProcess, LoginLogoffAndApplicationInAProgramFolderOfTheirOwn) {
    std::wstring dir = testkit::FreshDir(L"cco-login");
    for (const wchar_t* dll : {L"PresenceCore.dll", L"WebFetch.dll", L"RostBase.dll"}) {
        ASSERT_TRUE(CopyFileW((testkit::ProgramDir() + dll).c_str(), (dir + dll).c_str(), FALSE)) << dll;
    }
    EXPECT_TRUE(RunChild(dir, "login", "LoginChild.*", L"zumbase.dll"));
}

}  // namespace
