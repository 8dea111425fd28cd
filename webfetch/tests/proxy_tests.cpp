// The WinHTTP engine's proxy routes through a real forward proxy (tinyproxy). Names
// under ".invalid" can't be reached directly: only the open proxy reaches them (it
// hands them to the fake server as its upstream).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "ShortLimit.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebFetch.h"
#include "WebServers.h"

namespace {

std::string ProxyLog(const WebServers& servers, const wchar_t* name) {
    return testkit::ReadFileBytes(servers.state + name);
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class ProxyRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
        ASSERT_NE(0, servers->proxy) << "proxies not started";
        dir = vantor::WideToAnsi(testkit::FreshDir(L"webfetch-proxy"));
        small = servers->RootFile("data100k.bin");
        proxy = "127.0.0.1:" + std::to_string(servers->proxy);
        hole = "127.0.0.1:" + std::to_string(servers->blackhole);
        fakeProxy = "127.0.0.1:" + std::to_string(servers->fake);
    }
    std::string Local(const char* name) const { return dir + name; }
    bool Same(const std::string& path) const { return testkit::ReadFileBytes(vantor::AnsiToWide(path)) == small; }

    const WebServers* servers = nullptr;
    std::string dir;
    std::string small;
    std::string proxy;
    std::string hole;        // where connections get no answer
    std::string fakeProxy;   // the fake server, which serves absolute urls like a proxy
    const std::string hidden = "http://nohost.invalid/files/data100k.bin";
};

TEST_F(ProxyRoutes, NamedProxyIsFoundKeptAndTriedFirst) {
    CNetHttp http;
    ASSERT_TRUE(http.Open(2));
    // No proxies and no detection: nothing can send the request.
    EXPECT_EQ(HTTP_FETCH_SEND_FAILED, http.Download(hidden.c_str(), Local("none.bin").c_str(), nullptr, 0));

    std::string dead = "127.0.0.1:" + std::to_string(ClosedPort());
    http.AddProxySetting(dead.c_str(), "", "");
    http.AddProxySetting("", "", nullptr);   // nothing given: not an entry
    http.AddProxySetting(proxy.c_str(), "*.example.com", "");
    ASSERT_EQ(0, http.Download(hidden.c_str(), Local("a.bin").c_str(), nullptr, 0));
    EXPECT_TRUE(Same(Local("a.bin")));
    EXPECT_EQ(0u, servers->LastRequest("/files/data100k.bin").find("GET http://nohost.invalid"));
    EXPECT_NE(std::string::npos, ProxyLog(*servers, L"tinyproxy.log").find("GET http://nohost.invalid"));

    int kind = -1;
    char first[WEBFETCH_UNSIZED_OUT_CHARS] = {}, second[WEBFETCH_UNSIZED_OUT_CHARS] = {};
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, first, second));
    EXPECT_EQ(0, kind);
    EXPECT_EQ(proxy, first);
    EXPECT_STREQ("*.example.com", second);
    wchar_t wideFirst[64] = {};
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, wideFirst, 64, nullptr, 0));
    EXPECT_EQ(vantor::AnsiToWide(proxy), wideFirst);

    // The kept route serves the next download; a route preset on an object without
    // entries is the only way such a name can be reached.
    size_t before = CountOf(ProxyLog(*servers, L"tinyproxy.log"), "GET http://nohost.invalid");
    ASSERT_EQ(0, http.Download(hidden.c_str(), Local("b.bin").c_str(), nullptr, 0));
    EXPECT_TRUE(Same(Local("b.bin")));
    CNetHttp preset;
    ASSERT_TRUE(preset.Open(2));
    preset.SetUsedProxy(0, proxy.c_str(), nullptr);
    ASSERT_EQ(0, preset.Download(hidden.c_str(), Local("c.bin").c_str(), nullptr, 0));
    EXPECT_TRUE(Same(Local("c.bin")));
    EXPECT_EQ(before + 2, CountOf(ProxyLog(*servers, L"tinyproxy.log"), "GET http://nohost.invalid"));
}

TEST_F(ProxyRoutes, ScriptChoosesTheProxyAndAStaleRouteIsDropped) {
    CNetHttp http;
    ASSERT_TRUE(http.Open(2));
    std::string script = servers->NginxUrl("/proxy.pac");
    http.AddProxySetting(nullptr, nullptr, script.c_str());
    ASSERT_EQ(0, http.Download(hidden.c_str(), Local("pac.bin").c_str(), nullptr, 0));
    EXPECT_TRUE(Same(Local("pac.bin")));
    int kind = -1;
    char first[WEBFETCH_UNSIZED_OUT_CHARS] = {};
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, first, nullptr));
    EXPECT_EQ(1, kind);
    EXPECT_EQ(script, first);

    // A preset route that no longer works is forgotten; direct then does the job.
    CNetHttp stale;
    ASSERT_TRUE(stale.Open(2));
    std::string dead = "127.0.0.1:" + std::to_string(ClosedPort());
    stale.SetUsedProxy(0, dead.c_str(), nullptr);
    ASSERT_TRUE(stale.GetUsedProxySetting(&kind, first, nullptr));
    EXPECT_EQ(dead, first);
    EXPECT_EQ(0, stale.Download(servers->NginxUrl("/data100k.bin").c_str(), Local("c.bin").c_str(), nullptr, 0));
    EXPECT_FALSE(stale.GetUsedProxySetting(&kind, first, nullptr));
    EXPECT_EQ(HTTP_FETCH_SEND_FAILED, stale.Download(hidden.c_str(), Local("d.bin").c_str(), nullptr, 0));
}

// Routes on a network that drops connections: the blackhole port never answers, so a
// direct attempt or a stale proxy there fails only at the limit. The fake server serves
// a request for an absolute url like a proxy that reaches it.
TEST_F(ProxyRoutes, EveryRouteIsTriedWithinTheCall) {
    ASSERT_NE(0, servers->blackhole);
    hostile::ShortLimit limit;
    CNetHttp http;
    ASSERT_TRUE(http.Open(2));
    // Direct, the first entry's proxy and (it has no script) direct again each drop the
    // connection; the second entry's proxy works.
    http.AddProxySetting(hole.c_str(), "", "");
    http.AddProxySetting(fakeProxy.c_str(), "", "");
    std::string dropped = "http://" + hole + "/files/data100k.bin";
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, http.Download(dropped.c_str(), Local("routes.bin").c_str(), nullptr, 0));
    EXPECT_LT(hostile::Since(start), 3 * hostile::kShortLimitMs + hostile::kSlackMs);
    EXPECT_TRUE(Same(Local("routes.bin")));
    int kind = -1;
    char first[WEBFETCH_UNSIZED_OUT_CHARS] = {};
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, first, nullptr));
    EXPECT_EQ(0, kind);
    EXPECT_EQ(fakeProxy, first);
}

TEST_F(ProxyRoutes, AnEngineIsItsCallersAloneOnceACallReturns) {
    ASSERT_NE(0, servers->blackhole);
    hostile::ShortLimit limit;
    CNetHttp http;
    ASSERT_TRUE(http.Open(2));
    http.SetUsedProxy(0, hole.c_str(), nullptr);   // a route that worked once
    http.AddProxySetting(fakeProxy.c_str(), "", "");
    std::string dropped = "http://" + hole + "/files/data100k.bin";
    http.Download(dropped.c_str(), Local("state.bin").c_str(), nullptr, 0);
    std::string atReturn = testkit::ReadFileBytes(vantor::AnsiToWide(Local("state.bin")));
    // The caller changes its routes at once; nothing of the call that returned touches
    // them, nor the file, afterwards.
    http.SetUsedProxy(0, "127.0.0.1:1", "mine");
    for (int i = 0; i < 100; ++i) http.AddProxySetting(("127.0.0.1:" + std::to_string(2 + i)).c_str(), "", "");
    Sleep(3 * hostile::kShortLimitMs);
    int kind = -1;
    char first[WEBFETCH_UNSIZED_OUT_CHARS] = {}, second[WEBFETCH_UNSIZED_OUT_CHARS] = {};
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, first, second));
    EXPECT_EQ(0, kind);
    EXPECT_STREQ("127.0.0.1:1", first);
    EXPECT_STREQ("mine", second);
    EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(Local("state.bin"))) == atReturn);
    // The engine serves its caller's next transfers; closed and opened again, too.
    http.Close();
    ASSERT_TRUE(http.Open(2));
    EXPECT_EQ(0, http.PostRequest(servers->FakeUrl("/after-state").c_str(), nullptr, "a", nullptr, 0, nullptr, 0,
                                  nullptr, 0));
}

TEST_F(ProxyRoutes, EmptyFileAsksForTheWholeRangeAndBreakWaits) {
    CNetHttp http;
    ASSERT_TRUE(http.Open(2));
    ASSERT_EQ(0, http.Download(servers->FakeUrl("/files/data100k.bin").c_str(), Local("e.bin").c_str(), nullptr, 0));
    EXPECT_EQ("bytes=0-", RequestHeader(servers->LastRequest("/files/data100k.bin"), "Range"));

    for (int engine : {1, 2}) {
        CNetHttp idle;
        ASSERT_TRUE(idle.Open(engine));
        auto start = std::chrono::steady_clock::now();
        idle.Break();
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_GE(took.count(), engine == 1 ? 90 : 490) << "engine " << engine;
        EXPECT_TRUE(idle.IsBreaked());
    }
}

}  // namespace
