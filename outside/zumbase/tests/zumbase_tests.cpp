// The stand-in platform: scripts, call log, session rules and both readings of the
// arguments its callers disagree on.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "ModulePath.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/zumbase.h"

namespace {

struct Zum {
    HMODULE module = vantor::LoadProgramLibrary(L"zumbase.dll");
#define ZUM_FN(name) decltype(&::name) name = vantor::ProcAddress<decltype(&::name)>(module, #name)
    ZUM_FN(ZumStub_Reset);
    ZUM_FN(ZumStub_LoadScript);
    ZUM_FN(ZumStub_Set);
    ZUM_FN(ZumStub_GetLog);
    ZUM_FN(Zum_SetServerURL);
    ZUM_FN(Zum_Connect);
    ZUM_FN(Zum_Login2);
    ZUM_FN(Zum_Login);
    ZUM_FN(Zum_FindFirstService);
    ZUM_FN(Zum_FindNextService);
    ZUM_FN(Zum_GetService);
    ZUM_FN(Zum_SubscribeService);
    ZUM_FN(Zum_RegisterUser);
    ZUM_FN(Zum_GetLastError);
    ZUM_FN(Zum_GetCatalog);
    ZUM_FN(Zum_GetSubject);
    ZUM_FN(Zum_GetUniqueServiceSuiteID);
#undef ZUM_FN
    std::string Log() {
        std::string log(65536, '\0');
        log.resize(static_cast<size_t>(ZumStub_GetLog(&log[0], 65536)));
        return log;
    }
};

Zum& Z() {
    static Zum z;
    return z;
}

class Stand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(nullptr, Z().module);
        Z().ZumStub_Reset();
    }
};

TEST_F(Stand, ScriptDrivesLoginServicesAndFailures) {
    std::wstring dir = testkit::FreshDir(L"zum-script");
    std::string script =
        "[Stub]\r\nstrict=1\r\n[Login2]\r\nseq=-1018,-1004,2147483647\r\n[Services]\r\nlist=19,9\r\n"
        "[Service.19]\r\nname=" + testkit::Ansi("助理") + "\r\ncodes=1\r\ncode0=a=b;c\r\n"
        "[Service.9]\r\nstate=1\r\n[Suite]\r\nid=S1\r\n"
        "[Fail]\r\nZum_FindNextService#1=-20\r\n[Errors]\r\nZum_FindNextService=" + testkit::Ansi("断开") + "\r\n";
    ASSERT_TRUE(testkit::WriteFileBytes(dir + L"platform.ini", script));
    // Pointed at the script through the server address, relative paths from its own folder.
    std::string url = "script:" + vantor::WideToAnsi(dir) + "platform.ini";
    EXPECT_EQ(ZumSuccess, Z().Zum_SetServerURL(url.c_str()));

    EXPECT_EQ(ZumErrNotConnected, Z().Zum_Login2()) << "strict: no login before a connection";
    EXPECT_EQ(ZumSuccess, Z().Zum_Connect("HQ730", "1.0"));
    ZumServiceInfo s = {};
    EXPECT_EQ(ZumErrNotLoggedIn, Z().Zum_FindFirstService(&s));
    EXPECT_EQ(ZumErrNeedUserInfo, Z().Zum_Login2());
    EXPECT_EQ(ZumErrRetryLogin, Z().Zum_Login2());
    EXPECT_EQ(ZumSuccess, Z().Zum_Login2());
    EXPECT_EQ(ZumSuccess, Z().Zum_Login2()) << "the last status repeats";

    EXPECT_EQ(ZumSuccess, Z().Zum_FindFirstService(&s));
    EXPECT_STREQ("19", s.id);
    EXPECT_EQ(testkit::Ansi("助理"), s.name);
    EXPECT_STREQ("a=b;c", s.codes[0]);
    EXPECT_EQ(-20, Z().Zum_FindNextService(&s));
    EXPECT_EQ(testkit::Ansi("断开"), Z().Zum_GetLastError());
    EXPECT_STREQ("S1", Z().Zum_GetUniqueServiceSuiteID());
    EXPECT_NE(std::string::npos, Z().Log().find("Zum_FindNextService(out)=-20\n")) << Z().Log();
}

TEST_F(Stand, SubscriptionAcceptsBothArgumentShapes) {
    ZumSubscribeInfo info = {};
    info.params = "a=b";
    EXPECT_EQ(ZumSuccess, Z().Zum_SubscribeService("19", &info));
    EXPECT_EQ(ZumSuccess, Z().Zum_SubscribeService("3", "province=GD"));
    info.params = nullptr;
    EXPECT_EQ(ZumSuccess, Z().Zum_SubscribeService("11", &info));
    Z().ZumStub_Set("Stub", "subscribe_arg", "text");
    EXPECT_EQ(ZumSuccess, Z().Zum_SubscribeService("12", ""));
    std::string log = Z().Log();
    EXPECT_NE(std::string::npos, log.find("Zum_SubscribeService(19,info:a=b)=2147483647\n")) << log;
    EXPECT_NE(std::string::npos, log.find("Zum_SubscribeService(3,text:province=GD)=2147483647\n")) << log;
    EXPECT_NE(std::string::npos, log.find("Zum_SubscribeService(11,info:(null))=2147483647\n")) << log;
    EXPECT_NE(std::string::npos, log.find("Zum_SubscribeService(12,text:)=2147483647\n")) << log;

    // An accepted service is no longer pending, and a new one joins the customer's list.
    ZumServiceInfo s = {};
    EXPECT_EQ(ZumSuccess, Z().Zum_GetService("19", &s));
    EXPECT_EQ(1, s.state);
    EXPECT_EQ(ZumSuccess, Z().Zum_GetService("3", &s));
    EXPECT_EQ(ZumErrNoSuchItem, Z().Zum_GetService("77", &s));

    // The enrolment form registers with the text alone.
    EXPECT_EQ(ZumSuccess, Z().Zum_RegisterUser("form", nullptr));
    EXPECT_EQ(ZumSuccess, Z().Zum_Login(0));
    EXPECT_NE(std::string::npos, Z().Log().find("Zum_RegisterUser(form,null)=2147483647\n"));
}

TEST_F(Stand, CatalogFindsBoardsByResourceAndSkipsScriptedItems) {
    Z().ZumStub_Set("Catalog", "fail", "0");
    ZumCatalogInfo board = {};
    EXPECT_EQ(2, Z().Zum_GetCatalog("HQ730", -1, &board, 1));
    EXPECT_EQ(-1, Z().Zum_GetCatalog("HQ730", 0, &board, 0));
    EXPECT_EQ(2, Z().Zum_GetCatalog("HQ730", 1, &board, 0));
    EXPECT_STREQ("board-102", board.resource);
    ZumSubjectInfo subject = {};
    EXPECT_EQ(2, Z().Zum_GetSubject(-1, &board, &subject));
    EXPECT_EQ(2, Z().Zum_GetSubject(1, &board, &subject));
    EXPECT_STREQ("9", subject.serviceId);
    strcpy(board.resource, "board-999");
    strcpy(board.name, "none");
    EXPECT_EQ(-1, Z().Zum_GetSubject(-1, &board, &subject));
    EXPECT_NE(std::string(), Z().Zum_GetLastError());
}

TEST_F(Stand, DelayedCallsWaitWithoutHoldingUpOtherCalls) {
    ASSERT_NE(nullptr, Z().ZumStub_Set);
    Z().ZumStub_Set("Delay", "Zum_Connect", "400");
    DWORD connectTook = 0;
    std::thread slow([&] {
        DWORD start = GetTickCount();
        Z().Zum_Connect("HQ730", "1.0");
        connectTook = GetTickCount() - start;
    });
    Sleep(100);
    DWORD start = GetTickCount();
    EXPECT_NE(nullptr, Z().Zum_GetUniqueServiceSuiteID());
    DWORD otherTook = GetTickCount() - start;
    slow.join();
    EXPECT_GE(connectTook, 380u);
    EXPECT_LT(otherTook, 200u) << "another call waited for the delayed one";

    Z().ZumStub_Set("Delay", "Zum_Connect", nullptr);
    start = GetTickCount();
    Z().Zum_Connect("HQ730", "1.0");
    EXPECT_LT(GetTickCount() - start, 200u);
}

}  // namespace
