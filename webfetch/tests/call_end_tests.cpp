// What is left of a transfer once its call has returned, on both engines: nothing of it
// writes to the caller's file, the file is closed and free, a break from the progress
// callback ends the bytes at once, and no thread of the library stays behind.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "EngineRequests.h"
#include "ShortLimit.h"
#include "TestSupport.h"
#include "Text.h"
#include "WebFetch.h"
#include "ServerShare.h"
#include "WebServers.h"

namespace {

using hostile::ShortLimit;
using hostile::Since;

class Progress : public CFileDownUpProcessCallback {
public:
    void OnTotalSize(DWORD, DWORD, DWORD_PTR) override {}
    void OnProgress(DWORD low, DWORD high, DWORD_PTR) override {
        ++calls;
        done = (static_cast<uint64_t>(high) << 32) | low;
        if (breakOnFirst && calls == 1) breakOnFirst->Break();
    }
    void OnFinished(DWORD stop, DWORD, DWORD_PTR) override { stopFlag = stop & 0xFF; }
    void OnPostData(const char*, DWORD, DWORD_PTR) override {}
    CNetHttp* breakOnFirst = nullptr;
    std::atomic<int> calls{0};
    uint64_t done = 0;
    DWORD stopFlag = 0;
};

// Threads of this process that began in the module: the library's own, if any.
int ThreadsStartedIn(HMODULE module) {
    typedef LONG(NTAPI * QueryThread)(HANDLE, int, void*, ULONG, ULONG*);
    const int kWin32StartAddress = 9;
    auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    MODULEINFO info = {};
    if (!query || !GetModuleInformation(GetCurrentProcess(), module, &info, sizeof(info))) return -1;
    const char* base = static_cast<const char*>(info.lpBaseOfDll);
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int n = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        const char* start = nullptr;
        if (thread && query(thread, kWin32StartAddress, &start, sizeof(start), nullptr) == 0 && start >= base &&
            start < base + info.SizeOfImage) {
            ++n;
        }
        if (thread) CloseHandle(thread);
    }
    CloseHandle(snap);
    return n;
}

class AfterTheCall : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
        ASSERT_TRUE(hostile::FakeServerServed(*servers)) << "earlier cases' requests still hold the fake server";
        dir = testkit::FreshDir(L"webfetch-aftercall");
        file = dir + L"part.bin";
        path = vantor::WideToAnsi(file);
    }
    // A Break from another thread after ms.
    std::thread BreakAfter(CNetHttp& http, DWORD ms) {
        return std::thread([&http, ms] {
            Sleep(ms);
            http.Break();
        });
    }
    const WebServers* servers = nullptr;
    std::wstring dir, file;
    std::string path;
};

TEST_P(AfterTheCall, NothingIsWrittenOnceADownloadHasReturned) {
    ShortLimit limit;
    const std::string partial(1000, 'p');
    // A whole copy that a byte at a time takes the place of the partial file, broken off
    // from another thread: what the file holds when the call returns is what it keeps.
    {
        testkit::WriteFileBytes(file, partial);
        CNetHttp http;
        ASSERT_TRUE(http.Open(GetParam()));
        std::thread breaker = BreakAfter(http, 500);
        EXPECT_EQ(HTTP_FETCH_STOPPED,
                  http.Download(servers->FakeUrl("/hostile/drip-body?every=0.1&size=30").c_str(), path.c_str(),
                                nullptr, 0));
        std::string atReturn = testkit::ReadFileBytes(file);
        breaker.join();
        Sleep(3500);   // the whole body has come by now
        EXPECT_TRUE(testkit::ReadFileBytes(file) == atReturn) << "written after the call returned";
    }
    // A whole copy whose body comes after the caller gave up on it leaves the partial file.
    testkit::WriteFileBytes(file, partial);
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    EXPECT_NE(0, http.Download(servers->FakeUrl("/hostile/late-body?after=2&size=2000").c_str(), path.c_str(),
                               nullptr, 0));
    Sleep(2500);
    EXPECT_TRUE(testkit::ReadFileBytes(file) == partial) << "the partial file changed";
}

TEST_P(AfterTheCall, TheFileIsClosedAndFreeTheMomentADownloadReturns) {
    // A long limit, so that a call that waited for it shows.
    ShortLimit limit(5000);
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    std::thread breaker = BreakAfter(http, 1000);
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.Download(servers->FakeUrl("/hostile/drip-body?every=0.05").c_str(),
                                                path.c_str(), nullptr, 0));
    ULONGLONG took = Since(start);
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, held) << "the file is still open, error " << GetLastError();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    breaker.join();
    EXPECT_LT(took, 2500u) << "a break of a download whose server keeps sending waited";
    // The caller may delete it, or fetch it again at once.
    EXPECT_TRUE(DeleteFileW(file.c_str()));
    CNetHttp again;
    ASSERT_TRUE(again.Open(GetParam()));
    EXPECT_EQ(0, again.Download(servers->NginxUrl("/data100k.bin").c_str(), path.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(file) == servers->RootFile("data100k.bin"));
}

TEST_P(AfterTheCall, ABreakFromTheProgressCallbackStopsTheBytesAtOnce) {
    // An upgrade that expected a few bytes breaks off at the first chunk of a large file.
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    Progress progress;
    progress.breakOnFirst = &http;
    EXPECT_EQ(HTTP_FETCH_STOPPED, http.Download(servers->NginxUrl("/big20m.bin").c_str(), path.c_str(), &progress, 0));
    EXPECT_EQ(1, progress.calls.load()) << "progress after the break";
    EXPECT_NE(0u, progress.stopFlag);
    uint64_t held = testkit::ReadFileBytes(file).size();
    EXPECT_EQ(progress.done, held);
    EXPECT_LE(held, 16384u) << "bytes written after the break";
}

TEST_P(AfterTheCall, AbandonedTransfersLeaveNoThreadOfTheLibrary) {
    ShortLimit limit;
    HMODULE library = GetModuleHandleW(L"WebFetch.dll");
    ASSERT_NE(nullptr, library);
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    // Heart beats against servers that keep the engine inside its header read.
    for (int beat = 0; beat < 3; ++beat) {
        for (const char* hold : {"/hostile/continue?for=6", "/hostile/drip-header?every=0.05&for=6"}) {
            EXPECT_NE(0, http.PostRequest(servers->FakeUrl(hold).c_str(), nullptr, "a=1", nullptr, 43, nullptr, 0,
                                          nullptr, 0))
                << hold;
            EXPECT_EQ(0, ThreadsStartedIn(library)) << hold << ", beat " << beat;
        }
    }
}

size_t CommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

TEST_P(AfterTheCall, WhatTheEngineStillHeldOfAnAbandonedCallIsFreedOnceItIsDone) {
    ShortLimit limit;
    // Posts to a server that takes their bodies slowly and then goes away: each call
    // gives up while the engine still sends. Once the engine is done with the request,
    // the body goes too: a heart beat a minute for days leaves nothing behind.
    const std::string body(40 << 20, 'b');
    const std::string slow = servers->FakeUrl("/hostile/drip-header?every=0.02&for=2");
    {
        CNetHttp warm;
        ASSERT_TRUE(warm.Open(GetParam()));
    }
    size_t before = CommittedBytes();
    for (int beat = 0; beat < 2; ++beat) {
        CNetHttp http;
        ASSERT_TRUE(http.Open(GetParam()));
        EXPECT_NE(0, http.PostRequest(slow.c_str(), nullptr, body.c_str(), nullptr, 43, nullptr, 0, nullptr, 0));
    }
    Sleep(4000);
    // A later call finds the engine done, and the library its caller's alone again.
    CNetHttp later;
    ASSERT_TRUE(later.Open(GetParam()));
    EXPECT_EQ(0, later.PostRequest(servers->FakeUrl("/after-abandoned").c_str(), nullptr, "a", nullptr, 0, nullptr, 0,
                                   nullptr, 0));
    size_t after = CommittedBytes();
    EXPECT_LT(after, before + (16u << 20)) << "abandoned bodies still held: " << (after - before) / 1024 << " KiB";
}

int __stdcall AppendText(const char* chunk, DWORD length, DWORD_PTR to) {
    reinterpret_cast<std::string*>(to)->append(chunk, length);
    return 0;
}

// A flood of these cases, tagged: other test programs flood the same server meanwhile.
const char kFlood[] = "/hostile/flood?for=1&tag=call-end";

// "<open> <most at once>" of the fake server's floods of these cases; reset starts the most
// at what is open now.
std::string FloodStats(const WebServers& servers, bool reset) {
    std::string text;
    const char* path = reset ? "/stats/floods?tag=call-end&reset=1" : "/stats/floods?tag=call-end";
    Http_PostRequestA(servers.FakeUrl(path).c_str(), nullptr, "", &AppendText, reinterpret_cast<DWORD_PTR>(&text));
    return text;
}

TEST_P(AfterTheCall, DownloadsBrokenOffWhileTheServerFloodsHoldABoundedNumberOfConnections) {
    // Long enough that no request closed later has been closed before the last break.
    ShortLimit limit(4000);
    // Floods an earlier case broke off are closed within twice their limit.
    for (ULONGLONG wait = GetTickCount64(); FloodStats(*servers, false)[0] != '0' && Since(wait) < 30000;) Sleep(200);
    ASSERT_EQ('0', FloodStats(*servers, true)[0]) << "floods of an earlier case are still open";
    // Upgrade checks of a server that keeps sending, each broken off at its first chunk:
    // all but one of what one server may hold, so none waits for room.
    const int held = static_cast<int>(webfetch::kMaxLeftOpenPerServer) - 1;
    for (int download = 0; download < held; ++download) {
        CNetHttp http;
        ASSERT_TRUE(http.Open(GetParam()));
        Progress progress;
        progress.breakOnFirst = &http;
        ULONGLONG start = GetTickCount64();
        EXPECT_EQ(HTTP_FETCH_STOPPED,
                  http.Download(servers->FakeUrl(kFlood).c_str(), path.c_str(), &progress, 0));
        EXPECT_LT(Since(start), 1500u) << "download " << download;
        EXPECT_TRUE(DeleteFileW(file.c_str())) << "the file is held, download " << download;
    }
    std::string stats = FloodStats(*servers, false);
    int open = -1, most = -1;
    ASSERT_EQ(2, sscanf(stats.c_str(), "%d %d", &open, &most)) << stats;
    // The server notices a close a moment after the client makes it: one connection the
    // client has just closed may still count.
    EXPECT_LE(most, held + 1);
    // An honest server still serves meanwhile.
    CNetHttp honest;
    ASSERT_TRUE(honest.Open(GetParam()));
    EXPECT_EQ(0, honest.Download(servers->NginxUrl("/data100k.bin").c_str(), path.c_str(), nullptr, 0));
    EXPECT_TRUE(testkit::ReadFileBytes(file) == servers->RootFile("data100k.bin"));
    // The requests kept aside are closed once their time is up.
    for (ULONGLONG wait = GetTickCount64(); FloodStats(*servers, false)[0] != '0' && Since(wait) < 30000;) Sleep(200);
    EXPECT_EQ('0', FloodStats(*servers, false)[0]) << "connections left open";
}

// A server that holds its whole share of requests let go of, by dripping headers the
// engines go on reading and by floods broken off, still serves honest requests made at
// once: they wait for the room the oldest leave, and what it holds stays bounded.
TEST_P(AfterTheCall, AServerHoldingItsShareOfRequestsLetGoOfStillServesHonestOnes) {
    for (ULONGLONG wait = GetTickCount64(); FloodStats(*servers, false)[0] != '0' && Since(wait) < 30000;) Sleep(200);
    ASSERT_EQ('0', FloodStats(*servers, true)[0]) << "floods of an earlier case are still open";
    const int share = static_cast<int>(webfetch::kMaxLeftOpenPerServer);
    auto servedHonestly = [&] {
        CNetHttp honest;
        ASSERT_TRUE(honest.Open(GetParam()));
        EXPECT_EQ(0, honest.PostRequest(servers->FakeUrl("/post/honest").c_str(), nullptr, "a=1", nullptr, 0, nullptr,
                                        0, nullptr, 0));
        EXPECT_EQ(0, honest.Download(servers->FakeUrl("/files/data100k.bin").c_str(), path.c_str(), nullptr, 0));
        EXPECT_TRUE(testkit::ReadFileBytes(file) == servers->RootFile("data100k.bin"));
        DeleteFileW(file.c_str());
    };
    {
        ShortLimit limit(400);
        for (int beat = 0; beat < share; ++beat) {
            CNetHttp http;
            ASSERT_TRUE(http.Open(GetParam()));
            EXPECT_NE(0, http.PostRequest(servers->FakeUrl("/hostile/drip-header?every=0.05&for=4").c_str(), nullptr,
                                          "a=1", nullptr, 0, nullptr, 0, nullptr, 0));
        }
    }
    ShortLimit limit(4000);
    servedHonestly();
    for (int download = 0; download < share + 4; ++download) {
        CNetHttp http;
        ASSERT_TRUE(http.Open(GetParam()));
        Progress progress;
        progress.breakOnFirst = &http;
        EXPECT_EQ(HTTP_FETCH_STOPPED,
                  http.Download(servers->FakeUrl(kFlood).c_str(), path.c_str(), &progress, 0))
            << "download " << download;
        DeleteFileW(file.c_str());
    }
    servedHonestly();
    std::string stats = FloodStats(*servers, false);
    int open = -1, most = -1;
    ASSERT_EQ(2, sscanf(stats.c_str(), "%d %d", &open, &most)) << stats;
    // One more than the share: the server notices a close a moment after it is made.
    EXPECT_LE(most, share + 1);
    for (ULONGLONG wait = GetTickCount64(); FloodStats(*servers, false)[0] != '0' && Since(wait) < 30000;) Sleep(200);
    EXPECT_EQ('0', FloodStats(*servers, false)[0]) << "connections left open";
}

// A download that waits for room among the requests let go of has no more time for its
// reply's header than any other: the wait is part of its stall limit.
TEST_P(AfterTheCall, ADownloadThatWaitsForRoomKeepsToItsStallLimit) {
    if (GetParam() == 2) GTEST_SKIP() << "each route of this engine sends within a limit of its own";
    const DWORD kLimitMs = 3000;
    ShortLimit limit(kLimitMs);
    // The server's whole share, held in the engine's header read until 5 s from now.
    std::vector<std::thread> beats;
    for (size_t beat = 0; beat < webfetch::kMaxLeftOpenPerServer; ++beat) {
        beats.emplace_back([this] {
            CNetHttp http;
            if (!http.Open(GetParam())) return;
            http.PostRequest(servers->FakeUrl("/hostile/drip-header?every=0.05&for=5").c_str(), nullptr, "a=1",
                             nullptr, 0, nullptr, 0, nullptr, 0);
        });
    }
    for (std::thread& beat : beats) beat.join();
    CNetHttp http;
    ASSERT_TRUE(http.Open(GetParam()));
    ULONGLONG start = GetTickCount64();
    EXPECT_NE(0, http.Download(servers->FakeUrl("/hostile/drip-header?every=0.05&for=4").c_str(), path.c_str(),
                               nullptr, 0));
    EXPECT_LT(Since(start), kLimitMs + 1000u);
}

// Two servers (one fake server by two names) that fill the whole bound with requests held
// in the engine's header read leave a third server served at once.
TEST_P(AfterTheCall, ServersHoldingTheWholeBoundLeaveOtherServersServed) {
    std::vector<std::thread> beats;
    {
        ShortLimit limit(400);
        for (size_t beat = 0; beat < webfetch::kMaxLeftOpen; ++beat) {
            std::string url = servers->FakeUrl("/hostile/drip-header?every=0.05&for=5");
            if (beat % 2) url.replace(url.find("127.0.0.1"), 9, "localhost");
            beats.emplace_back([this, url] {
                CNetHttp http;
                if (!http.Open(GetParam())) return;
                http.PostRequest(url.c_str(), nullptr, "a=1", nullptr, 0, nullptr, 0, nullptr, 0);
            });
        }
        for (std::thread& beat : beats) beat.join();
    }
    ShortLimit limit(2000);
    CNetHttp honest;
    ASSERT_TRUE(honest.Open(GetParam()));
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(0, honest.Download(servers->NginxUrl("/data100k.bin").c_str(), path.c_str(), nullptr, 0));
    EXPECT_LT(Since(start), 1500u) << "the download waited for room the other servers hold";
    DeleteFileW(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Engines, AfterTheCall, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("WinInet") : std::string("WinHttp");
                         });

}  // namespace
