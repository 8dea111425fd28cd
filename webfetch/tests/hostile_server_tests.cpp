// Both engines against a server that means harm (the fake
// server's /hostile/ modes): every transfer ends within its limit with a failure, a
// reply held in memory stays bounded, and a partial download is kept byte for byte.
// The transfer limit is shortened for these cases; one case checks the real one.
#include <windows.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShortLimit.h"
#include "TestSupport.h"
#include "Text.h"
#include "TransferLimits.h"
#include "WebFetch.h"
#include "ServerShare.h"
#include "WebServers.h"

namespace {

using hostile::kShortLimitMs;
using hostile::kSlackMs;
using hostile::ShortLimit;
using hostile::Since;

class Counter : public CFileDownUpProcessCallback {
public:
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD, DWORD, DWORD_PTR) override {}
    void OnFinished(DWORD, DWORD, DWORD_PTR) override { ++finished; }
    void OnPostData(const char*, DWORD length, DWORD_PTR) override { bytes += length; }
    uint64_t bytes = 0;
    int finished = 0;
};

TEST(TransferLimits, AreAMinuteUnlessTheTestsShortenThem) {
    SetEnvironmentVariableW(webfetch::kTransferLimitVariable, nullptr);
    EXPECT_EQ(60000u, webfetch::TransferLimitMs());
    {
        ShortLimit limit(2000);
        EXPECT_EQ(2000u, webfetch::TransferLimitMs());
    }
    EXPECT_EQ(60000u, webfetch::TransferLimitMs());
    // Only a shorter, usable limit is taken.
    for (const wchar_t* text : {L"abc", L"20x", L"5", L"600000", L"-1"}) {
        SetEnvironmentVariableW(webfetch::kTransferLimitVariable, text);
        EXPECT_EQ(60000u, webfetch::TransferLimitMs()) << vantor::WideToAnsi(text);
    }
    SetEnvironmentVariableW(webfetch::kTransferLimitVariable, nullptr);
    EXPECT_EQ(64u << 20, webfetch::kMaxReplyBytes);
}

class HostileServer : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
        ASSERT_TRUE(hostile::FakeServerServed(*servers)) << "earlier cases' requests still hold the fake server";
        ASSERT_TRUE(http.Open(GetParam()));
    }
    int Post(const std::string& path, Counter* counter, ULONGLONG* took) {
        ULONGLONG start = GetTickCount64();
        int r = http.PostRequest(servers->FakeUrl(path).c_str(), nullptr, "a=1", nullptr, 43, nullptr, 0, counter, 0);
        *took = Since(start);
        return r;
    }
    const WebServers* servers = nullptr;
    CNetHttp http;
};

TEST_P(HostileServer, PostsEndWithinTheirDeadlineAsFailures) {
    ShortLimit limit;
    // Silence, and a reply of a byte a second that would take a day.
    for (const char* path : {"/hostile/silent", "/hostile/drip-body"}) {
        Counter counter;
        ULONGLONG took = 0;
        EXPECT_NE(0, Post(path, &counter, &took)) << path;
        EXPECT_LT(took, kShortLimitMs + kSlackMs) << path;
        EXPECT_GE(took + 100, kShortLimitMs) << path;
    }
    // Status lines no server may send, a header cut off, junk taken for HTTP/0.9, and a
    // connection closed before any byte.
    for (const char* path : {"/hostile/status?line=0", "/hostile/status?line=-1000",
                             "/hostile/status?line=99999999999", "/hostile/status?line=20", "/hostile/junk",
                             "/hostile/close"}) {
        Counter counter;
        ULONGLONG took = 0;
        int r = Post(path, &counter, &took);
        EXPECT_NE(0, r) << path;
        EXPECT_LE(r, 0) << path << ": no status of the server's own";
        EXPECT_EQ(0u, counter.bytes) << path;
    }
    // A header cut off by a close: WinHTTP shows it without its blank line; WinINet
    // under Wine adds the blank line, and a post then reads as one with an empty body.
    if (GetParam() == 2) {
        Counter counter;
        ULONGLONG took = 0;
        EXPECT_NE(0, Post("/hostile/noblank", &counter, &took));
    }
    // WinHTTP refuses such a status line itself and reports no response.
    EXPECT_EQ(GetParam() == 1 ? HTTP_FETCH_STATUS_UNREADABLE : HTTP_FETCH_NO_RESPONSE,
              http.PostRequest(servers->FakeUrl("/hostile/status?line=0").c_str(), nullptr, "a", nullptr, 0, nullptr, 0,
                               nullptr, 0));
    // The real statuses at both ends of the range are replies.
    EXPECT_EQ(599, http.PostRequest(servers->FakeUrl("/hostile/status?line=599").c_str(), nullptr, "a", nullptr, 0,
                                    nullptr, 0, nullptr, 0));
    EXPECT_EQ(0, http.PostRequest(servers->FakeUrl("/hostile/status?line=200").c_str(), nullptr, "a", nullptr, 0,
                                  nullptr, 0, nullptr, 0));
}

int ThreadCount() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int n = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
    }
    CloseHandle(snap);
    return n;
}

TEST_P(HostileServer, ServersThatHoldTheEngineInsideItsHeaderReadDoNotHoldTheCaller) {
    ShortLimit limit;
    std::wstring dir = testkit::FreshDir(L"webfetch-held");
    std::string file = vantor::WideToAnsi(dir + L"held.bin");
    // A post and a download that end well first, so that the engines' own threads are there.
    Counter warm;
    ULONGLONG warmTook = 0;
    ASSERT_EQ(0, Post("/hostile/status?line=200", &warm, &warmTook));
    ASSERT_EQ(0, http.Download(servers->FakeUrl("/files/data100k.bin").c_str(), file.c_str(), nullptr, 0));
    DeleteFileA(file.c_str());
    Sleep(500);
    int threads = ThreadCount();
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    for (const char* path : {"/hostile/drip-header?every=0.05&for=4", "/hostile/header-lines?for=4",
                             "/hostile/byte-chunks?for=4", "/hostile/continue?for=4"}) {
        Counter counter;
        ULONGLONG took = 0;
        EXPECT_NE(0, Post(path, &counter, &took)) << path;
        EXPECT_LT(took, kShortLimitMs + 1000) << path;
        ULONGLONG start = GetTickCount64();
        int r = http.Download(servers->FakeUrl(path).c_str(), file.c_str(), &counter, 0);
        if (strstr(path, "byte-chunks")) {
            // A download that brings bytes is not stalled, however small they come: it
            // lasts as long as the server sends (4 s).
            EXPECT_GE(Since(start), 3000u) << path;
        } else {
            EXPECT_NE(0, r) << path;
            EXPECT_LT(Since(start), kShortLimitMs + 1000) << path;
        }
        DeleteFileA(file.c_str());
    }
    // Once the servers stop, the engines' work ends too: nothing is left running.
    ULONGLONG start = GetTickCount64();
    while (ThreadCount() > threads && Since(start) < 30000) Sleep(100);
    EXPECT_LE(ThreadCount(), threads);
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handles + 2);
}

// Heartbeats against a server that keeps the engine inside its header read: the engine
// threads reading for the abandoned requests stay few, the server's next requests wait
// for room no longer than their limit, other servers keep working meanwhile, and once
// the server lets go it is served again.
TEST_P(HostileServer, AServerThatHoldsEveryRequestHoldsABoundedShareOfThem) {
    ShortLimit limit(400);
    ASSERT_EQ(0, http.PostRequest(servers->FakeUrl("/hostile/status?line=200").c_str(), nullptr, "a", nullptr, 0,
                                  nullptr, 0, nullptr, 0));
    Sleep(500);
    const int threads = ThreadCount();
    const std::string holding = servers->FakeUrl("/hostile/drip-header?every=0.05&for=12");
    std::wstring dir = testkit::FreshDir(L"webfetch-share");
    std::string file = vantor::WideToAnsi(dir + L"held.bin");
    for (int beat = 0; beat < 12; ++beat) {
        // An engine of its own for each, as the presence client's heartbeats have.
        CNetHttp beating;
        ASSERT_TRUE(beating.Open(GetParam()));
        ULONGLONG start = GetTickCount64();
        EXPECT_NE(0, beating.PostRequest(holding.c_str(), nullptr, "a=1", nullptr, 43, nullptr, 0, nullptr, 0));
        EXPECT_NE(0, beating.Download(holding.c_str(), file.c_str(), nullptr, 0));
        EXPECT_LT(Since(start), 2 * 400u + kSlackMs) << beat;
    }
    EXPECT_LE(ThreadCount(), threads + 12) << "an engine thread per abandoned request";
    file = vantor::WideToAnsi(dir + L"other.bin");
    EXPECT_EQ(0, http.Download(servers->NginxUrl("/data100k.bin").c_str(), file.c_str(), nullptr, 0));
    int again = -1;
    for (ULONGLONG start = GetTickCount64(); again != 0 && Since(start) < 30000; Sleep(200)) {
        again = http.PostRequest(servers->FakeUrl("/hostile/status?line=200").c_str(), nullptr, "a", nullptr, 0,
                                 nullptr, 0, nullptr, 0);
    }
    EXPECT_EQ(0, again);
    for (ULONGLONG start = GetTickCount64(); ThreadCount() > threads + 2 && Since(start) < 30000;) Sleep(100);
}

// A callback that has had enough stops the post.
class Enough : public CFileDownUpProcessCallback {
public:
    Enough(CNetHttp& http, uint64_t enough) : http_(http), enough_(enough) {}
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD, DWORD, DWORD_PTR) override {}
    void OnFinished(DWORD, DWORD, DWORD_PTR) override {}
    void OnPostData(const char*, DWORD length, DWORD_PTR) override {
        bytes += length;
        if (bytes >= enough_ && !broke) {
            broke = true;
            http_.Break();
        }
    }
    uint64_t bytes = 0;
    bool broke = false;
private:
    CNetHttp& http_;
    uint64_t enough_;
};

TEST_P(HostileServer, APostsReplyReachesTheCallbackAsItComesAndTheCallbackCanStopIt) {
    const uint64_t kEnough = 1u << 20;
    Enough enough(http, kEnough);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.PostRequest(servers->FakeUrl("/hostile/endless").c_str(), nullptr, "a=1",
                                                   nullptr, 0, nullptr, 0, &enough, 0));
    EXPECT_TRUE(enough.broke);
    // Nothing more after the chunk that was enough.
    EXPECT_LT(enough.bytes, kEnough + 32768) << "the reply was held before the callback saw it";
    EXPECT_LT(Since(start), 10000u);
}

TEST_P(HostileServer, ASlowButSteadyDownloadIsNotStalled) {
    ShortLimit limit;
    std::wstring dir = testkit::FreshDir(L"webfetch-steady");
    std::string path = vantor::WideToAnsi(dir + L"steady.bin");
    // Twelve bytes, one every quarter of the one-second stall limit.
    EXPECT_EQ(0, http.Download(servers->FakeUrl("/hostile/drip-body?every=0.25&size=12").c_str(), path.c_str(),
                               nullptr, 0));
    EXPECT_EQ(std::string(12, 'x'), testkit::ReadFileBytes(dir + L"steady.bin"));
}

TEST_P(HostileServer, AnEndlessReplyStopsAtItsCeiling) {
    Counter counter;
    ULONGLONG took = 0;
    EXPECT_EQ(HTTP_FETCH_STOPPED, Post("/hostile/endless", &counter, &took));
    EXPECT_LE(counter.bytes, webfetch::kMaxReplyBytes);
    EXPECT_GT(counter.bytes, webfetch::kMaxReplyBytes / 2);
}

TEST_P(HostileServer, DownloadsFailAndKeepThePartialFileByteForByte) {
    ShortLimit limit;
    std::wstring dir = testkit::FreshDir(L"webfetch-hostile");
    std::string partial(1000, '\0');
    for (size_t i = 0; i < partial.size(); ++i) partial[i] = static_cast<char>(i * 7 + 3);
    std::wstring file = dir + L"part.bin";
    std::string path = vantor::WideToAnsi(file);

    struct Case {
        const char* path;
        bool slow;   // ends by the stall limit
        bool keeps = true;
    };
    const Case cases[] = {
        {"/hostile/silent", true},
        // A whole new copy that stops after its first byte: it took the partial file's
        // place, as any whole copy does, and ends by the stall limit.
        {"/hostile/drip-body?every=100", true, false},
        {"/hostile/status?line=0", false},
        {"/hostile/status?line=-1000", false},
        {"/hostile/status?line=99999999999", false},
        {"/hostile/noblank", false},
        {"/hostile/junk", false},
        {"/hostile/close", false},
        // Parts that do not continue the file: the wrong start, a total that disagrees,
        // a length that disagrees, no range at all.
        {"/hostile/range?start=0&end=99&total=1100&size=100", false},
        {"/hostile/range?start=1000&end=1099&total=5000&size=100", false},
        {"/hostile/range?start=1000&end=1199&total=1200&size=100", false},
        {"/hostile/range?start=x&end=&total=1100&size=100", false},
        // A 416 that states a size other than the file's.
        {"/hostile/r416?total=5000", false},
    };
    for (const Case& c : cases) {
        testkit::WriteFileBytes(file, partial);
        Counter counter;
        ULONGLONG start = GetTickCount64();
        int r = http.Download(servers->FakeUrl(c.path).c_str(), path.c_str(), &counter, 0);
        ULONGLONG took = Since(start);
        EXPECT_NE(0, r) << c.path;
        EXPECT_LT(took, (c.slow ? kShortLimitMs : 0) + kSlackMs) << c.path;
        if (c.keeps) {
            EXPECT_TRUE(testkit::ReadFileBytes(file) == partial) << c.path << ": the partial file changed";
        }
    }
    EXPECT_EQ(416, http.Download(servers->FakeUrl("/hostile/r416?total=5000").c_str(), path.c_str(), nullptr, 0));

    // A 416 without a body that states the file's own size, or no size: already whole.
    for (const char* whole : {"/hostile/r416?total=1000", "/hostile/r416"}) {
        testkit::WriteFileBytes(file, partial);
        EXPECT_EQ(0, http.Download(servers->FakeUrl(whole).c_str(), path.c_str(), nullptr, 0)) << whole;
        EXPECT_TRUE(testkit::ReadFileBytes(file) == partial) << whole;
    }
    // A part that does continue the file is taken.
    testkit::WriteFileBytes(file, partial);
    EXPECT_EQ(0, http.Download(servers->FakeUrl("/hostile/range?start=1000&end=1099&total=1100&size=100").c_str(),
                               path.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(file) == partial + std::string(100, 'r'));
}

TEST_P(HostileServer, RepliesCutOrInConflictWithTheirHeaderAreNotWhole) {
    ShortLimit limit;
    std::wstring dir = testkit::FreshDir(L"webfetch-notwhole");
    std::wstring file = dir + L"part.bin";
    std::string path = vantor::WideToAnsi(file);
    std::string partial(1000, 'p');
    // Lengths the reply states against each other or in no decimal form; a part without
    // a length that ends before its range does; a whole file of nothing to a resume.
    for (const char* reply : {"/hostile/reply?name=two-lengths", "/hostile/length?value=0x5",
                              "/hostile/length?value=-5", "/hostile/length?value=0"}) {
        testkit::WriteFileBytes(file, partial);
        EXPECT_NE(0, http.Download(servers->FakeUrl(reply).c_str(), path.c_str(), nullptr, 0)) << reply;
        EXPECT_TRUE(testkit::ReadFileBytes(file) == partial) << reply << ": the partial file changed";
    }
    // What did come of the part is kept for the next resume.
    testkit::WriteFileBytes(file, partial);
    EXPECT_NE(0, http.Download(servers->FakeUrl("/hostile/range?start=1000&end=1999&total=2000&size=400&nolength=1")
                                   .c_str(),
                               path.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(file) == partial + std::string(400, 'r'));
    for (const char* reply : {"/hostile/reply?name=two-lengths", "/hostile/length?value=0x5"}) {
        Counter counter;
        ULONGLONG took = 0;
        EXPECT_NE(0, Post(reply, &counter, &took)) << reply;
    }
    // Into an empty file: a header cut off by a close, and a 416 to a request that asked
    // for no range, or for the whole file from its first byte (the WinINet engine asks
    // for none for an empty file, the WinHTTP engine for "bytes=0-").
    for (const char* reply : {"/hostile/noblank", "/hostile/r416"}) {
        testkit::WriteFileBytes(file, "");
        EXPECT_NE(0, http.Download(servers->FakeUrl(reply).c_str(), path.c_str(), nullptr, 0)) << reply;
    }
    testkit::WriteFileBytes(file, "");
    EXPECT_EQ(416, http.Download(servers->FakeUrl("/hostile/r416").c_str(), path.c_str(), nullptr, 0));
}

TEST_P(HostileServer, RepliesWholeByHttpAreTakenWithOrWithoutABody) {
    // No body, said by a last chunk, by a close after the header, or by a lone status line.
    for (const char* reply : {"/hostile/reply?name=chunks-empty", "/hostile/reply?name=close-after-header",
                              "/hostile/reply?name=no-header-line"}) {
        Counter counter;
        ULONGLONG took = 0;
        EXPECT_EQ(0, Post(reply, &counter, &took)) << reply;
        EXPECT_EQ(0u, counter.bytes) << reply;
    }
    // A lone status line with a body behind it, and an empty file of no stated length
    // ended by a close. The WinINet engine under Wine shows the first as it shows a reply
    // that has no status line at all, and the second as it shows a header cut off by a
    // close: it refuses both. The WinHTTP engine tells them apart.
    std::wstring dir = testkit::FreshDir(L"webfetch-whole");
    std::wstring file = dir + L"whole.bin";
    std::string path = vantor::WideToAnsi(file);
    const bool tellsApart = GetParam() == 2;
    Counter lone;
    ULONGLONG took = 0;
    EXPECT_EQ(tellsApart, 0 == Post("/hostile/reply?name=no-header-line-body", &lone, &took));
    EXPECT_EQ(tellsApart ? 5u : 0u, lone.bytes);
    EXPECT_EQ(tellsApart, 0 == http.Download(servers->FakeUrl("/hostile/reply?name=no-header-line-body").c_str(),
                                             path.c_str(), nullptr, 0));
    EXPECT_EQ(tellsApart ? std::string("hello") : std::string(), testkit::ReadFileBytes(file));
    DeleteFileW(file.c_str());
    EXPECT_EQ(tellsApart, 0 == http.Download(servers->FakeUrl("/hostile/reply?name=close-after-header").c_str(),
                                             path.c_str(), nullptr, 0));
    EXPECT_EQ(0u, testkit::ReadFileBytes(file).size());
    // A length stated twice alike is one length.
    Counter counter;
    EXPECT_EQ(0, Post("/hostile/reply?name=same-length-twice", &counter, &took));
    EXPECT_EQ(5u, counter.bytes);
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileServer, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("WinInet") : std::string("WinHttp");
                         });

uint64_t g_delivered = 0;
int WINAPI CountChunks(const char*, DWORD length, DWORD_PTR) {
    g_delivered += length;
    return 1;
}

TEST(HttpPostRequestHostile, AnEndlessReplyFailsAndDeliversNoMoreThanTheCeiling) {
    const WebServers& servers = WebServers::Get();
    ASSERT_TRUE(servers.loaded);
    g_delivered = 0;
    auto count = &CountChunks;
    uint64_t& delivered = g_delivered;
    EXPECT_EQ(HTTP_FETCH_STOPPED,
              Http_PostRequestA(servers.FakeUrl("/hostile/endless").c_str(), nullptr, "Flag=CLogin", count, 0));
    EXPECT_LE(delivered, webfetch::kMaxReplyBytes);
    ShortLimit limit;
    ULONGLONG start = GetTickCount64();
    EXPECT_NE(0, Http_PostRequestW(vantor::AnsiToWide(servers.FakeUrl("/hostile/silent")).c_str(), nullptr, L"a",
                                   count, 0));
    EXPECT_LT(Since(start), kShortLimitMs + kSlackMs);
}

}  // namespace
