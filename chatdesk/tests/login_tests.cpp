// Login through the gatekeeper, the retries and the re-logins, against the fake IM server.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include "ChildRun.h"
#include "DebugLines.h"
#include "ServiceHarness.h"

using namespace cdtest;

namespace {

const DWORD kLoginMs = 8000;

// Waits for the gatekeeper to have seen `count` posts; the time it took, or ~0u.
DWORD TimeToPosts(size_t count, DWORD limitMs) {
    DWORD start = GetTickCount();
    if (!Eventually([&] { return GatekeeperPosts() >= count; }, limitMs)) return ~0u;
    return GetTickCount() - start;
}

class ChildLogin : public ChildTest {
protected:
    ChildLogin() : ChildTest("login") {}
};

TEST_F(ChildLogin, PostsTheFormLogsInFetchesAndLogsInAgainOnlyWhenTheServerLinkGoes) {
    testkit::DebugLines lines;
    Service service;
    ASSERT_NE(nullptr, service.get());
    ASSERT_TRUE(service.WaitForLogin(kLoginMs));
    EXPECT_EQ(6, service->StatusPictureCount()) << "six 16x16 pictures from the configured strip";

    std::vector<std::string> posts = FakeLines("gatekeeper_log");
    ASSERT_EQ(1u, posts.size());
    EXPECT_EQ("Flag=CLogin", Unhex(posts[0]));
    std::vector<std::string> logins = FakeFramesIn("001S");
    ASSERT_EQ(1u, logins.size());
    ASSERT_EQ(206u, logins[0].size());
    EXPECT_EQ(std::string("10001\0", 6), logins[0].substr(64, 6));
    EXPECT_EQ(std::string(134, '\0'), logins[0].substr(70, 134));
    EXPECT_EQ("\r\n", logins[0].substr(204));
    ASSERT_TRUE(Eventually([] { return FakeFramesIn("015S").size() == 1; }, 3000));
    std::string fetch = FakeFramesIn("015S")[0];
    ASSERT_EQ(86u, fetch.size());
    EXPECT_EQ(std::string("10001\0", 6), fetch.substr(64, 6));
    EXPECT_TRUE(lines.WaitFor(L"登录im服务器成功了！"));

    // An inbound link from the server's own address is no direct link, and its end is
    // no reason to log in again.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = ClientEndpoint();
    ASSERT_EQ(0, connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to));
    PumpFor(500);
    closesocket(s);
    PumpFor(1500);
    EXPECT_EQ(1u, GatekeeperPosts());
    EXPECT_TRUE(service->LoggedIn());

    // The server ending the session: exactly one new login.
    Fake().Control("close?id=10001");
    ASSERT_TRUE(lines.WaitFor(L"由于和im服务器的连接断了"));
    ASSERT_TRUE(Eventually([] { return GatekeeperPosts() == 2; }, 5000));
    ASSERT_TRUE(service.WaitForLogin(kLoginMs));
    PumpFor(2000);
    EXPECT_EQ(2u, GatekeeperPosts());
    EXPECT_EQ(2u, FakeFramesIn("001S").size());
    EXPECT_EQ(1u, lines.Count(L"由于和im服务器的连接断了"));
}

TEST_F(ChildLogin, ARefusedLoginIsTriedOnceMoreAfterThePauseWithOneSessionAtATime) {
    Fake().Control("login_result?result=1&count=1");
    testkit::DebugLines lines;
    Service service;
    ASSERT_TRUE(lines.WaitFor(L"登录im服务器失败了！", 1, kLoginMs));
    DWORD refused = GetTickCount();
    // The refused session is closed before the next attempt.
    ASSERT_TRUE(Eventually([&] { return !service->HasServerLink(); }, 2000));
    EXPECT_EQ(1u, GatekeeperPosts());
    ASSERT_TRUE(Eventually([&] { return service->LoggedIn(); }, 15000));
    DWORD pause = GetTickCount() - refused;
    EXPECT_GE(pause, 9000u);
    EXPECT_LE(pause, 13000u);
    EXPECT_EQ(2u, GatekeeperPosts());
    EXPECT_EQ(2u, FakeFramesIn("001S").size());
    PumpFor(1000);
    EXPECT_EQ(2u, GatekeeperPosts()) << "one retry, not two";
}

TEST_F(ChildLogin, AnUnreachableOrGarbledGatekeeperIsTriedEveryTenSeconds) {
    Fake().Control("gatekeeper?mode=refuse");
    testkit::DebugLines lines;
    Service service;
    ASSERT_NE(~0u, TimeToPosts(1, 5000));
    EXPECT_TRUE(lines.WaitFor(L"发送HTTP请求到IM的GK失败！"));
    Fake().Control("gatekeeper?mode=garbled");
    DWORD second = TimeToPosts(2, 14000);
    EXPECT_GE(second, 8500u);
    EXPECT_LE(second, 12500u);
    EXPECT_FALSE(service->HasServerLink()) << "a garbled reply names no server";
    Fake().Control("gatekeeper?mode=ok");
    DWORD third = TimeToPosts(3, 14000);
    EXPECT_GE(third, 8500u);
    EXPECT_LE(third, 12500u);
    EXPECT_TRUE(Eventually([&] { return service->LoggedIn(); }, 5000));
    EXPECT_EQ(1u, FakeFramesIn("001S").size());
}

// The web library stays through failed attempts and goes with the service.
TEST_F(ChildLogin, FailedAttemptsKeepTheWebLibraryUntilTheServiceStops) {
    Fake().Control("gatekeeper?mode=refuse");
    testkit::DebugLines lines;
    {
        Service service;
        ASSERT_TRUE(lines.WaitFor(L"发送HTTP请求到IM的GK失败！"));
        PumpFor(1000);
        EXPECT_NE(nullptr, GetModuleHandleW(L"WebFetch.dll")) << "freed after a failed attempt";
    }
    EXPECT_TRUE(Eventually([] { return GetModuleHandleW(L"WebFetch.dll") == nullptr; }, 15000))
        << "kept after the service stopped";
}

TEST_F(ChildLogin, AReplyInPiecesIsGatheredWhole) {
    Fake().Control("gatekeeper?mode=split&delay=0.3");
    Service service;
    ASSERT_TRUE(service.WaitForLogin(kLoginMs));
    EXPECT_EQ(1u, GatekeeperPosts());
    EXPECT_EQ(inet_addr("127.0.0.1"), service->ServerAddress());
}

TEST_F(ChildLogin, NoLoginStartsBeforeTheListenerWorks) {
    testkit::StartWinsock();
    SOCKET taken = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = ClientEndpoint();
    ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&at), sizeof at));
    ASSERT_EQ(0, listen(taken, 4));
    Service service;
    PumpFor(3000);
    EXPECT_FALSE(service->NetworkStarted());
    EXPECT_EQ(0u, GatekeeperPosts());
    closesocket(taken);
    DWORD start = GetTickCount();
    ASSERT_TRUE(service.WaitForLogin(20000));
    EXPECT_GE(GetTickCount() - start, 4000u) << "the next try comes with the timer";
    EXPECT_EQ(1u, GatekeeperPosts());
}

TEST(ChatDeskLogin, RunsInAChild) {
    if (InChild()) GTEST_SKIP() << "parent run only";
    ASSERT_TRUE(Fake().loaded) << "the im_fake fixture did not run";
    EXPECT_TRUE(RunChild("login", "ChildLogin.*"));
}

}  // namespace
