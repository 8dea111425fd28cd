// CNetHttp against real servers on 127.0.0.1: nginx for files, the fake server for
// posts, cookies and replies a real server won't give on demand. Every case runs over
// each engine.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "Text.h"
#include "WebFetch.h"
#include "ServerShare.h"
#include "WebServers.h"

namespace {

class Recorder : public CFileDownUpProcessCallback {
public:
    void OnTotalSize(DWORD low, DWORD high, DWORD_PTR context) override {
        ++totalCalls;
        total = (static_cast<uint64_t>(high) << 32) | low;
        contexts.push_back(context);
    }
    void OnProgress(DWORD low, DWORD high, DWORD_PTR context) override {
        uint64_t done = (static_cast<uint64_t>(high) << 32) | low;
        if (!progress.empty() && done <= progress.back()) inOrder = false;
        progress.push_back(done);
        lastProgress = done;
        contexts.push_back(context);
    }
    void OnFinished(DWORD stop, DWORD error, DWORD_PTR context) override {
        ++finishedCalls;
        stopFlag = stop & 0xFF;
        lastError = error;
        contexts.push_back(context);
    }
    void OnPostData(const char* chunk, DWORD length, DWORD_PTR context) override {
        if (chunk[length] != '\0') terminated = false;
        posted.append(chunk, length);
        contexts.push_back(context);
    }
    bool AllContextsAre(DWORD_PTR expected) const {
        for (DWORD_PTR c : contexts) {
            if (c != expected) return false;
        }
        return true;
    }

    int totalCalls = 0;
    uint64_t total = 0;
    std::vector<uint64_t> progress;
    std::atomic<uint64_t> lastProgress{0};
    bool inOrder = true;
    int finishedCalls = 0;
    DWORD stopFlag = 0;
    DWORD lastError = 0;
    std::string posted;
    bool terminated = true;
    std::vector<DWORD_PTR> contexts;
};

// A context value that does not fit 32 bits on the 64-bit build.
DWORD_PTR WideContext() {
    return static_cast<DWORD_PTR>(0x5A5A5A5A5A5A5A5AULL & ~static_cast<DWORD_PTR>(0));
}

std::string LocalFile(const std::wstring& dir, const char* name) {
    return vantor::WideToAnsi(dir) + name;
}

class NetHttpEngine : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
        ASSERT_TRUE(hostile::FakeServerServed(*servers)) << "earlier cases' requests still hold the fake server";
    }
    const WebServers* servers = nullptr;
};

TEST_P(NetHttpEngine, PostCarriesBodyAndCookiesAndHandsBackReplyAndSetCookies) {
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    // Sign-on tokens run long: nothing may cut them.
    std::string longCookie = "iPlanetDirectoryPro=" + std::string(600, 't') + "Z";
    std::string session = "JSESSIONID=sess" + std::to_string(GetParam());
    const char* cookies[] = {session.c_str(), longCookie.c_str()};
    std::string body = testkit::Ansi("a=1&b=中");
    std::string path = "/post/cookies" + std::to_string(GetParam());
    std::string url = servers->FakeUrl(path + "?setcookie=JSESSIONID%3Dabc%3B%20Path%3D%2F"
                                              "&setcookie=Token%3Dx%3Dy&setcookie=JSESSIONID%3Dlater&body=reply-text");
    Recorder rec;
    EXPECT_EQ(0, http.PostRequest(url.c_str(), nullptr, body.c_str(), nullptr, 43, cookies, 2, &rec, WideContext()));
    EXPECT_EQ("reply-text", rec.posted);
    EXPECT_TRUE(rec.terminated);
    EXPECT_TRUE(rec.AllContextsAre(WideContext()));

    std::string raw = servers->LastRequest(path);
    EXPECT_EQ(0u, raw.find("POST " + path)) << raw;
    EXPECT_EQ(body, RequestBody(raw));
    EXPECT_EQ("application/x-www-form-urlencoded", RequestHeader(raw, "Content-Type"));
    std::string cookieHeader = RequestHeader(raw, "Cookie");
    EXPECT_NE(std::string::npos, cookieHeader.find(session)) << cookieHeader;
    EXPECT_NE(std::string::npos, cookieHeader.find(longCookie)) << cookieHeader;

    // Cut at the first "=", attributes kept, the first value of a name stays.
    char value[WEBFETCH_UNSIZED_OUT_CHARS] = {};
    ASSERT_TRUE(http.QuerySetCookie("JSESSIONID", value));
    EXPECT_STREQ("abc; Path=/", value);
    ASSERT_TRUE(http.QuerySetCookie("Token", value));
    EXPECT_STREQ("x=y", value);
    wchar_t wide[64] = {};
    ASSERT_TRUE(http.QuerySetCookie(L"JSESSIONID", wide));
    EXPECT_STREQ(L"abc; Path=/", wide);
    char small[5] = {'?', '?', '?', '?', '?'};
    ASSERT_TRUE(http.QuerySetCookie("JSESSIONID", small, sizeof(small)));
    EXPECT_STREQ("abc;", small);
    EXPECT_FALSE(http.QuerySetCookie("Missing", value));

    // The two-argument forms write no more than a cookie's 260 characters, nor do the
    // proxy texts.
    std::string longValue(600, 'v');
    ASSERT_EQ(0, http.PostRequest(servers->FakeUrl(path + "?setcookie=Long%3D" + longValue).c_str(), nullptr, "a",
                                  nullptr, 43, nullptr, 0, nullptr, 0));
    char cut[1024];
    memset(cut, '#', sizeof(cut));
    ASSERT_TRUE(http.QuerySetCookie("Long", cut));
    EXPECT_EQ(std::string(259, 'v'), cut);
    EXPECT_EQ('#', cut[260]);
    http.SetUsedProxy(0, longValue.c_str(), longValue.c_str());
    char first[1024], second[1024];
    memset(first, '#', sizeof(first));
    memset(second, '#', sizeof(second));
    int kind = -1;
    ASSERT_TRUE(http.GetUsedProxySetting(&kind, first, second));
    EXPECT_EQ(259u, strlen(first));
    EXPECT_EQ(259u, strlen(second));
    http.SetUsedProxy(-1, static_cast<const char*>(nullptr), nullptr);

    // The UTF-16 form sends the body's UTF-16LE bytes.
    std::wstring wideBody = testkit::Wide("a=1&b=中");
    std::wstring wideUrl = vantor::AnsiToWide(servers->FakeUrl(path + "w?body=wide-reply"));
    Recorder recW;
    EXPECT_EQ(0, http.PostRequest(wideUrl.c_str(), nullptr, wideBody.c_str(), nullptr, 0, nullptr, 0, &recW, 7));
    EXPECT_EQ("wide-reply", recW.posted);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(wideBody.data()), wideBody.size() * 2),
              RequestBody(servers->LastRequest(path + "w")));

    // Query level 0 keeps no cookies (the WinHTTP engine keeps them whatever the level).
    if (GetParam() != 1) return;
    CNetHttp plain;
    ASSERT_TRUE(plain.Open(GetParam()));
    EXPECT_EQ(0, plain.PostRequest(url.c_str(), nullptr, "x=1", nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(plain.QuerySetCookie("JSESSIONID", value));
}

TEST_P(NetHttpEngine, FailuresGiveTheirCodes) {
    std::wstring dir = testkit::FreshDir(L"webfetch-failures");
    std::string target = LocalFile(dir, "f.bin");
    CNetHttp none;
    EXPECT_EQ(HTTP_FETCH_NO_ENGINE, none.PostRequest("http://127.0.0.1/", nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_EQ(HTTP_FETCH_NO_ENGINE, none.Download("http://127.0.0.1/", target.c_str(), nullptr, 0));
    EXPECT_FALSE(none.IsBreaked());
    int kind = 5;
    char first[64] = {}, second[64] = {};
    EXPECT_FALSE(none.GetUsedProxySetting(&kind, first, second));
    EXPECT_FALSE(none.Open(3));
    EXPECT_EQ(HTTP_FETCH_NO_ENGINE, none.Download("http://127.0.0.1/", target.c_str(), nullptr, 0));

    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    EXPECT_TRUE(http.Open(GetParam() == 1 ? 2 : 1));
    EXPECT_FALSE(http.GetUsedProxySetting(&kind, first, second));

    // Unusable urls: no host, a host longer than any real name.
    std::string longHost = "http://" + std::string(300, 'h') + "/x";
    for (const std::string& url : {std::string("http:///x"), longHost}) {
        EXPECT_EQ(HTTP_FETCH_CONNECT_FAILED, http.PostRequest(url.c_str(), nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
        EXPECT_EQ(HTTP_FETCH_CONNECT_FAILED, http.Download(url.c_str(), target.c_str(), nullptr, 0));
    }

    std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
    EXPECT_EQ(HTTP_FETCH_SEND_FAILED, http.PostRequest(refused.c_str(), nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_EQ(HTTP_FETCH_SEND_FAILED, http.Download(refused.c_str(), target.c_str(), nullptr, 0));

    EXPECT_EQ(404, http.PostRequest(servers->FakeUrl("/status?status=404").c_str(), nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_EQ(500, http.PostRequest(servers->FakeUrl("/status?status=500").c_str(), nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
    Recorder redirected;
    EXPECT_EQ(302, http.PostRequest(servers->FakeUrl("/moved?status=302&body=moved").c_str(), nullptr, "a", nullptr, 0,
                                    nullptr, 0, &redirected, 0));
    EXPECT_EQ("", redirected.posted);
    EXPECT_EQ(404, http.Download(servers->NginxUrl("/missing.bin").c_str(), target.c_str(), nullptr, 0));
    EXPECT_EQ(500, http.Download(servers->FakeUrl("/dl500?status=500").c_str(), target.c_str(), nullptr, 0));

    // A local file that can't be made stops the download before any traffic.
    std::string badPath = LocalFile(dir, "no-such-folder\\f.bin");
    std::string probe = "/never-asked" + std::to_string(GetParam());
    EXPECT_EQ(HTTP_FETCH_LOCAL_FILE_FAILED, http.Download(servers->FakeUrl(probe).c_str(), badPath.c_str(), nullptr, 0));
    EXPECT_EQ("", servers->LastRequest(probe));

    // A reply cut short is not a delivered reply.
    Recorder cut;
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.PostRequest(servers->FakeUrl("/cut?length=1000&truncate=10").c_str(), nullptr, "a",
                                                   nullptr, 0, nullptr, 0, &cut, 0));

    // A closed session opens again.
    http.Close();
    ASSERT_TRUE(http.Open(GetParam()));
    EXPECT_EQ(0, http.PostRequest(servers->FakeUrl("/reopened").c_str(), nullptr, "a", nullptr, 0, nullptr, 0, nullptr, 0));
}

TEST_P(NetHttpEngine, DownloadsResumeAndReplaceWhatARangeIgnoringServerResends) {
    std::wstring dir = testkit::FreshDir(L"webfetch-download");
    const std::string big = servers->RootFile("big20m.bin");
    const std::string small = servers->RootFile("data100k.bin");
    ASSERT_EQ(20u * 1024 * 1024, big.size());
    ASSERT_EQ(100000u, small.size());

    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    std::string bigPath = LocalFile(dir, "big.bin");
    Recorder rec;
    ASSERT_EQ(0, http.Download(servers->NginxUrl("/big20m.bin").c_str(), bigPath.c_str(), &rec, WideContext()));
    EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(bigPath)) == big) << "downloaded file differs";
    EXPECT_EQ(1, rec.totalCalls);
    EXPECT_EQ(big.size(), rec.total);
    EXPECT_TRUE(rec.inOrder);
    ASSERT_FALSE(rec.progress.empty());
    EXPECT_EQ(big.size(), rec.progress.back());
    EXPECT_EQ(1, rec.finishedCalls);
    EXPECT_EQ(0u, rec.stopFlag);
    EXPECT_EQ(0u, rec.lastError);
    EXPECT_TRUE(rec.AllContextsAre(WideContext()));

    // Already complete: nginx refuses the range with a page of its own, and the file stays.
    EXPECT_EQ(416, http.Download(servers->NginxUrl("/big20m.bin").c_str(), bigPath.c_str(), nullptr, 0));
    EXPECT_EQ(big.size(), testkit::ReadFileBytes(vantor::AnsiToWide(bigPath)).size());
    // A 416 without content means the file was already whole.
    std::string smallPath = LocalFile(dir, "small.bin");
    testkit::WriteFileBytes(vantor::AnsiToWide(smallPath), small);
    EXPECT_EQ(0, http.Download(servers->FakeUrl("/files/data100k.bin").c_str(), smallPath.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(smallPath)) == small);
    EXPECT_EQ("bytes=100000-", RequestHeader(servers->LastRequest("/files/data100k.bin"), "Range"));

    // Resume after the first 1000 bytes, from nginx and from the fake server.
    for (const std::string& url : {servers->NginxUrl("/data100k.bin"), servers->FakeUrl("/files/data100k.bin")}) {
        testkit::WriteFileBytes(vantor::AnsiToWide(smallPath), small.substr(0, 1000));
        Recorder resumed;
        EXPECT_EQ(0, http.Download(url.c_str(), smallPath.c_str(), &resumed, 0)) << url;
        EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(smallPath)) == small) << url;
        EXPECT_EQ(99000u, resumed.total) << url;
        ASSERT_FALSE(resumed.progress.empty());
        EXPECT_EQ(99000u, resumed.progress.back()) << url;
    }
    EXPECT_EQ("bytes=1000-", RequestHeader(servers->LastRequest("/files/data100k.bin"), "Range"));

    // A server that ignores the range sends everything again: the file is rewritten,
    // not appended to.
    for (const std::string& url : {servers->NginxUrl("/norange/data100k.bin"),
                                   servers->FakeUrl("/files/data100k.bin?norange=1")}) {
        testkit::WriteFileBytes(vantor::AnsiToWide(smallPath), small.substr(0, 1000));
        EXPECT_EQ(0, http.Download(url.c_str(), smallPath.c_str(), nullptr, 0)) << url;
        EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(smallPath)) == small) << url;
    }

    // A reply shorter than its Content-Length is a broken download.
    std::string cutPath = LocalFile(dir, "cut.bin");
    Recorder cut;
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.Download(servers->FakeUrl("/cut?length=1000&truncate=10").c_str(),
                                                cutPath.c_str(), &cut, 0));
    EXPECT_EQ(1, cut.finishedCalls);
    EXPECT_EQ(0u, cut.stopFlag);

    // The UTF-16 form.
    std::wstring widePath = dir + L"wide.bin";
    std::wstring wideUrl = vantor::AnsiToWide(servers->NginxUrl("/data100k.bin"));
    EXPECT_EQ(0, http.Download(wideUrl.c_str(), widePath.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(widePath) == small);
}

TEST_P(NetHttpEngine, BreakFromAnotherThreadStopsAndANewObjectResumes) {
    std::wstring dir = testkit::FreshDir(L"webfetch-break");
    const std::string big = servers->RootFile("big20m.bin");
    std::string path = LocalFile(dir, "slow.bin");
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    Recorder rec;
    std::chrono::steady_clock::time_point breakAt;
    std::thread breaker([&] {
        while (rec.lastProgress < 256 * 1024) Sleep(10);
        breakAt = std::chrono::steady_clock::now();
        http.Break();
    });
    int result = http.Download(servers->NginxUrl("/slow/big20m.bin").c_str(), path.c_str(), &rec, 0);
    auto returnedAt = std::chrono::steady_clock::now();
    breaker.join();
    EXPECT_EQ(HTTP_FETCH_STOPPED, result);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returnedAt - breakAt).count(), 3000);
    EXPECT_TRUE(http.IsBreaked());
    EXPECT_EQ(1, rec.finishedCalls);
    EXPECT_NE(0u, rec.stopFlag);
    size_t kept = testkit::ReadFileBytes(vantor::AnsiToWide(path)).size();
    EXPECT_EQ(rec.progress.back(), kept);
    EXPECT_LT(kept, big.size());

    // The stop is one-way for this object.
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.Download(servers->NginxUrl("/big20m.bin").c_str(), path.c_str(), nullptr, 0));
    EXPECT_EQ(kept, testkit::ReadFileBytes(vantor::AnsiToWide(path)).size());

    CNetHttp again;
    ASSERT_TRUE(again.Open(GetParam()));
    Recorder resumed;
    EXPECT_EQ(0, again.Download(servers->NginxUrl("/big20m.bin").c_str(), path.c_str(), &resumed, 0));
    EXPECT_EQ(big.size() - kept, resumed.total);
    EXPECT_TRUE(testkit::ReadFileBytes(vantor::AnsiToWide(path)) == big) << "resumed file differs";
}

INSTANTIATE_TEST_SUITE_P(Engines, NetHttpEngine, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("WinInet") : std::string("WinHttp");
                         });

std::string g_chunks;
int WINAPI CollectChunks(const char* chunk, DWORD length, DWORD_PTR context) {
    if (context == WideContext()) g_chunks.append(chunk, length);
    return 1;
}

TEST(HttpPostRequest, OneShotPostsHandReplyChunksToTheProcedure) {
    const WebServers& servers = WebServers::Get();
    ASSERT_TRUE(servers.loaded);
    g_chunks.clear();
    std::string big(40000, 'r');
    EXPECT_EQ(0, Http_PostRequestA(servers.FakeUrl("/gk/login?body=" + big).c_str(), nullptr, "Flag=CLogin",
                                   CollectChunks, WideContext()));
    EXPECT_EQ(big, g_chunks);
    EXPECT_EQ("Flag=CLogin", RequestBody(servers.LastRequest("/gk/login")));

    EXPECT_EQ(0, Http_PostRequestA(servers.FakeUrl("/gk/noproc").c_str(), "X-Extra: 1\r\n", "Flag=CLogin", nullptr, 0));
    EXPECT_EQ("1", RequestHeader(servers.LastRequest("/gk/noproc"), "X-Extra"));

    g_chunks.clear();
    std::wstring url = vantor::AnsiToWide(servers.FakeUrl("/gk/wide?body=wide"));
    EXPECT_EQ(0, Http_PostRequestW(url.c_str(), nullptr, L"Flag=CLogin", CollectChunks, WideContext()));
    EXPECT_EQ("wide", g_chunks);
    EXPECT_EQ(std::string("F\0l\0a\0g\0", 8), RequestBody(servers.LastRequest("/gk/wide")).substr(0, 8));

    std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/gk";
    EXPECT_EQ(HTTP_FETCH_SEND_FAILED, Http_PostRequestA(refused.c_str(), nullptr, "Flag=CLogin", CollectChunks, 0));
    EXPECT_EQ(404, Http_PostRequestA(servers.FakeUrl("/gk/x?status=404").c_str(), nullptr, "a", CollectChunks, 0));
}

}  // namespace
