// The platform binding: loading, missing library and functions, result mapping, the
// last-failure text across threads, and the COM bracket.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "CcoTestApi.h"
#include "TestSupport.h"

using namespace cctest;

namespace {

class Binding : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Cco().module) << "ClientCore.dll not beside the test program";
        ASSERT_NE(nullptr, Stub().Reset) << "zumbase stand-in not beside the test program";
        Stub().Reset();
    }
};

TEST_F(Binding, ConnectsWithConfiguredAddressClientTypeAndVersion) {
    int connected = 0;
    EXPECT_EQ(0, Cco().IsAlive(&connected));
    EXPECT_EQ(1, connected);
    EXPECT_TRUE(LogHas("Zum_SetServerURL(http://127.0.0.1:8600/zum/)=2147483647")) << ZumLog();
    EXPECT_TRUE(LogHas("Zum_Connect(HQ730,1.0.0)=2147483647")) << ZumLog();
    EXPECT_EQ(0, Cco().IsAlive(nullptr));
    EXPECT_STREQ("", Cco().GetLastMsg());
}

TEST_F(Binding, PlatformStatusesMapToResultCodes) {
    struct Case {
        const char* status;
        int expected;
    } cases[] = {
        {"5", 30005},           {"0", 30000},         {"-1004", 38996},       {"-5", 39995},
        {"-1001", 38999},       {"-10000", 30000},    {"2147453647", 2147483647},
        // Codes that would land on ClientCore's own results, or overflow.
        {"-10001", 39999},      {"-39990", 39999},    {"-40000", 39999},      {"-2147483648", 39999},
        {"2147453648", 39999},  {"2147483646", 39999},
    };
    Stub().Set("Errors", "Zum_Connect", A("连接服务平台失败").c_str());
    for (const Case& c : cases) {
        Stub().Set("Connect", "status", c.status);
        int connected = 7;
        EXPECT_EQ(c.expected, Cco().IsAlive(&connected)) << "status " << c.status;
        EXPECT_EQ(7, connected);
        EXPECT_EQ(A("连接服务平台失败"), Cco().GetLastMsg());
    }
    // A later success empties the text again.
    Stub().Set("Connect", "status", nullptr);
    EXPECT_EQ(0, Cco().IsAlive(nullptr));
    EXPECT_STREQ("", Cco().GetLastMsg());
}

TEST_F(Binding, StubsAndKeptValuesTreatTheLastMessageAsSpecified) {
    EXPECT_EQ(0, Cco().IsForceUpdate());
    EXPECT_EQ(A("不支持本接口"), Cco().GetLastMsg());
    EXPECT_EQ(nullptr, Cco().GetMessengerUrlW(nullptr));
    EXPECT_EQ(A("不支持本接口"), Cco().GetLastMsg());
    EXPECT_EQ(nullptr, Cco().GetMessengerUrlA(nullptr));
    EXPECT_STREQ("", Cco().GetLastMsg());

    EXPECT_EQ(7, Cco().GetAccountListW(nullptr, nullptr));
    EXPECT_EQ(A("不支持本接口"), Cco().GetLastMsg());
    typedef int(WINAPI * AccountListFn)(void*, void*);
    for (int ordinal : {2, 3, 16, 17}) {
        auto fn = reinterpret_cast<AccountListFn>(
            reinterpret_cast<void*>(GetProcAddress(Cco().module, MAKEINTRESOURCEA(ordinal))));
        ASSERT_NE(nullptr, fn) << "ordinal " << ordinal;
        EXPECT_EQ(7, fn(nullptr, nullptr));
    }
    EXPECT_EQ(nullptr, GetProcAddress(Cco().module, "Cco_GetRostBaseHandle"));
    ASSERT_NE(nullptr, Cco().GetRostBaseHandle);
    EXPECT_EQ(nullptr, Cco().GetRostBaseHandle());
    EXPECT_STREQ("", Cco().GetLastMsg());
    EXPECT_STREQ("", Cco().GetServiceSuiteId());
    EXPECT_EQ(0, CountCalls("Zum_GetUniqueServiceSuiteID"));
}

TEST_F(Binding, LastMessageStaysWholeWhileWorkerThreadsFail) {
    Stub().Set("Fail", "Zum_GetCustomerPublicInfo", "-7");
    Stub().Set("Errors", "Zum_GetCustomerPublicInfo", A("读取用户公开信息失败，请稍后再试").c_str());
    const std::set<std::string> allowed = {"", A("读取用户公开信息失败，请稍后再试"), A("不支持本接口")};
    std::atomic<int> running{4};
    std::atomic<int> wrongResults{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                FriendInfoA info = {};
                if (Cco().GetUserPublicInfoA("demo02", &info) != 39993) ++wrongResults;
            }
            --running;
        });
    }
    int reads = 0;
    while (running > 0 || reads < 100) {
        Cco().IsForceUpdate();
        std::string text = Cco().GetLastMsg();
        EXPECT_EQ(1u, allowed.count(text)) << "torn text: " << text;
        ++reads;
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(0, wrongResults.load());
}

TEST_F(Binding, ComBracketLeavesTheCallersApartmentAlone) {
    std::thread mta([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        FriendInfoA info = {};
        EXPECT_EQ(0, Cco().GetUserPublicInfoA("demo02", &info));
        // Still in the multithreaded apartment the thread entered itself.
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
    });
    mta.join();
    std::thread fresh([] {
        FriendInfoA info = {};
        EXPECT_EQ(0, Cco().GetUserPublicInfoA("demo02", &info));
        // The call's own initialisation was undone.
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
    });
    fresh.join();
}

TEST(BindingProcess, MissingLibraryIsLoadedOnceItIsThere) {
    EXPECT_TRUE(RunChild(testkit::FreshDir(L"cco-missing"), "missing", "BindingChild.*", nullptr));
}

TEST(BindingProcess, MissingFunctionsAnswerLibraryMissing) {
    EXPECT_TRUE(RunChild(testkit::FreshDir(L"cco-lean"), "lean", "BindingChild.*", L"zumbase_lean.dll"));
}

TEST(BindingProcess, AFailedLogoffKeepsTheConnectedLibrary) {
    EXPECT_TRUE(RunChild(testkit::FreshDir(L"cco-logoff"), "logoff", "BindingChild.*", L"zumbase.dll"));
}

// --- run only as children, in folders of their own

BOOL CALLBACK CountSteps(int step, const char*, void* context) {
    static_cast<std::vector<int>*>(context)->push_back(step);
    return TRUE;
}

TEST(BindingChild, MissingLibrary) {
    if (!ChildMode("missing")) GTEST_SKIP() << "child run only";
    CcoApi& c = Cco();
    ASSERT_NE(nullptr, c.module);
    const std::string missing = A("加载zum库失败");
    int connected = 5;
    EXPECT_EQ(38999, c.IsAlive(&connected));
    EXPECT_EQ(5, connected);
    EXPECT_EQ(missing, c.GetLastMsg());
    FriendInfoA info = {};
    EXPECT_EQ(38999, c.GetUserPublicInfoA("demo02", &info));
    EXPECT_EQ(missing, c.GetLastMsg());
    EXPECT_EQ(38999, c.RegisterUserA("form", nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(20, c.SearchUserA(0, nullptr, nullptr, 0));
    EXPECT_EQ(missing, c.GetLastMsg());
    UINT n = 3;
    EXPECT_EQ(0, c.GetServicePolicysA("demo02", nullptr, &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(missing, c.GetLastMsg());
    RemoteUrlInfoA url;
    memset(&url, 0x5A, sizeof url);
    EXPECT_EQ(38999, c.GetRemoteUrlA(1, &url));
    EXPECT_EQ(0x5A, static_cast<unsigned char>(url.url[0]));
    EXPECT_STREQ("", c.GetServiceSuiteId());
    // A login ends at its first step, with nothing loaded.
    std::vector<int> steps;
    EXPECT_EQ(38999, c.LoginA(0, 0, 0, CountSteps, &steps));
    EXPECT_EQ(std::vector<int>{3}, steps);
    EXPECT_EQ(missing, c.GetLastMsg());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"PresenceCore.dll"));

    // Put in place while the program runs: the next call loads it.
    ASSERT_TRUE(CopyFileW((ParentProgramDir() + L"zumbase.dll").c_str(),
                          (testkit::ProgramDir() + L"zumbase.dll").c_str(), FALSE));
    EXPECT_EQ(0, c.IsAlive(&connected));
    EXPECT_EQ(1, connected);
    EXPECT_NE(nullptr, GetModuleHandleW(L"zumbase.dll"));

    // The log-off frees it; the next call loads it again.
    EXPECT_EQ(0, c.Logoff());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll"));
    EXPECT_EQ(0, c.IsAlive(&connected));
    // Unloading ClientCore frees nothing from its DllMain: the library stays to the process.
    ASSERT_TRUE(FreeLibrary(c.module));
    EXPECT_EQ(nullptr, GetModuleHandleW(L"ClientCore.dll"));
    EXPECT_NE(nullptr, GetModuleHandleW(L"zumbase.dll"));
    ChildDone();
}

// ClientCore holds the only reference to zumbase here: the stand-in is scripted and read
// through the module ClientCore loaded.
static FARPROC LoadedStub(const char* name) { return GetProcAddress(GetModuleHandleW(L"zumbase.dll"), name); }

TEST(BindingChild, FailedLogoff) {
    if (!ChildMode("logoff")) GTEST_SKIP() << "child run only";
    CcoApi& c = Cco();
    ASSERT_EQ(0, c.IsAlive(nullptr));
    auto set = reinterpret_cast<decltype(&ZumStub_Set)>(reinterpret_cast<void*>(LoadedStub("ZumStub_Set")));
    ASSERT_NE(nullptr, set);
    set("Stub", "strict", "1");  // every call wants the connection
    set("Disconnect", "status", "-9");
    set("Errors", "Zum_Disconnect", A("断开连接失败").c_str());
    EXPECT_EQ(39991, c.Logoff());
    EXPECT_EQ(A("断开连接失败"), c.GetLastMsg());
    // Still connected: the next call reaches the library that holds the connection.
    EXPECT_EQ(0, c.RegisterUserA("form", nullptr, 0, nullptr, nullptr));
    auto getLog = reinterpret_cast<decltype(&ZumStub_GetLog)>(reinterpret_cast<void*>(LoadedStub("ZumStub_GetLog")));
    ASSERT_NE(nullptr, getLog);
    char log[4096] = "";
    getLog(log, sizeof log);
    EXPECT_NE(nullptr, strstr(log, "Zum_Connect(")) << log;
    set("Disconnect", "status", nullptr);
    EXPECT_EQ(0, c.Logoff());
    EXPECT_EQ(nullptr, GetModuleHandleW(L"zumbase.dll")) << "disconnected: the library goes";
    ChildDone();
}

TEST(BindingChild, MissingFunctions) {
    if (!ChildMode("lean")) GTEST_SKIP() << "child run only";
    CcoApi& c = Cco();
    ASSERT_EQ(0, c.IsAlive(nullptr));
    ASSERT_NE(nullptr, Stub().Set);
    Stub().Set("Fail", "Zum_Connect", "5");
    EXPECT_EQ(30005, c.IsAlive(nullptr));
    EXPECT_STREQ("", c.GetLastMsg()) << "no Zum_GetLastError: the text is empty";
    FriendInfoA info;
    memset(&info, 0x11, sizeof info);
    EXPECT_EQ(38999, c.GetUserPublicInfoA("demo02", &info));
    EXPECT_EQ(0x11, static_cast<unsigned char>(info.nickname[0]));
    EXPECT_STREQ("", c.GetLastMsg());
    // No platform login function: the login fails at its first step.
    std::vector<int> steps;
    EXPECT_EQ(38999, c.LoginA(0, 0, 0, CountSteps, &steps));
    EXPECT_EQ(std::vector<int>{3}, steps);
    EXPECT_EQ(nullptr, c.GetRostBaseHandle());
    ChildDone();
}

}  // namespace
