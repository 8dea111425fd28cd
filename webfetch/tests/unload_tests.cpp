// WebFetch freed by its caller the moment a call returned, while the engines still close
// what the call left: the process goes on, and the library goes once the engines are
// done with it. The library is loaded with the caller that links it (WfUnloadClient);
// this program does not link it.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "Handles.h"
#include "ModulePath.h"
#include "ShortLimit.h"
#include "TestSupport.h"
#include "Text.h"
#include "VantorResults.h"
#include "WebServers.h"

namespace {

using hostile::ShortLimit;
using hostile::Since;

typedef int(__cdecl* DownloadFn)(int, const wchar_t*, const wchar_t*, DWORD, BOOL);
typedef int(__cdecl* PostFn)(int, const char*, DWORD, BOOL, DWORD);
typedef BOOL(__cdecl* OpenAndCloseFn)(int);

struct Client {
    HMODULE module = nullptr;
    DownloadFn download = nullptr;
    PostFn post = nullptr;
    OpenAndCloseFn openAndClose = nullptr;

    bool Load() {
        module = LoadLibraryW((testkit::ProgramDir() + L"WfUnloadClient.dll").c_str());
        download = vantor::ProcAddress<DownloadFn>(module, "Client_Download");
        post = vantor::ProcAddress<PostFn>(module, "Client_Post");
        openAndClose = vantor::ProcAddress<OpenAndCloseFn>(module, "Client_OpenAndClose");
        return module && download && post && openAndClose;
    }
    void Free() {
        FreeLibrary(module);
        module = nullptr;
    }
};

bool WebFetchLoaded() { return GetModuleHandleW(L"WebFetch.dll") != nullptr; }

bool WebFetchGoesWithin(DWORD ms) {
    for (ULONGLONG start = GetTickCount64(); WebFetchLoaded() && Since(start) < ms;) Sleep(20);
    return !WebFetchLoaded();
}

class Unload : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        servers = &WebServers::Get();
        ASSERT_TRUE(servers->loaded);
        ASSERT_FALSE(WebFetchLoaded());
        dir = testkit::FreshDir(L"webfetch-unload");
    }
    const WebServers* servers = nullptr;
    std::wstring dir;
};

TEST_P(Unload, ABreakOfAFloodReturnsAtOnceAndTheLibraryGoesOnceTheEngineClosedIt) {
    ShortLimit limit;
    std::wstring file = dir + L"flood.bin";
    std::wstring url = vantor::AnsiToWide(servers->FakeUrl("/hostile/flood?for=3"));
    Client client;
    ASSERT_TRUE(client.Load());
    // A download whose server keeps sending, broken off from another thread.
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(HTTP_FETCH_STOPPED, client.download(GetParam(), url.c_str(), file.c_str(), 300, FALSE));
    EXPECT_LT(Since(start), 300u + 700u) << "the break waited for the server";
    // The file is closed and free at once.
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, held) << "error " << GetLastError();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_TRUE(DeleteFileW(file.c_str()));
    // A post broken off from its callback at the first chunk, and the caller frees the
    // library the moment the call returned.
    start = GetTickCount64();
    EXPECT_EQ(HTTP_FETCH_STOPPED, client.post(GetParam(), servers->FakeUrl("/hostile/flood?for=3").c_str(), 0, TRUE, 0));
    EXPECT_LT(Since(start), 700u) << "the break waited for the server";
    client.Free();
    EXPECT_TRUE(WebFetchGoesWithin(15000)) << "the library stayed after its requests were closed";
}

// Posts and downloads that end every way, through both engines, the library freed after
// each round while threads compete for the processors. The replies broken off end soon
// after (a request kept aside counts against what one server may hold meanwhile), yet
// last long enough that a busy machine's late break still finds them coming.
TEST_P(Unload, TransfersEndingEveryWayLeaveNothingToCallIntoAFreedLibrary) {
    ShortLimit limit;
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    for (int i = 0; i < 4; ++i) {
        load.emplace_back([&stop] {
            volatile unsigned spin = 0;
            while (!stop) ++spin;
        });
    }
    const int engine = GetParam();
    std::wstring file = dir + L"round.bin";
    const std::wstring whole = vantor::AnsiToWide(servers->NginxUrl("/data100k.bin"));
    const std::wstring drip = vantor::AnsiToWide(servers->FakeUrl("/hostile/drip-body?every=0.02&size=60"));
    const std::wstring flood = vantor::AnsiToWide(servers->FakeUrl("/hostile/flood?for=1"));
    for (int round = 0; round < 40; ++round) {
        Client client;
        ASSERT_TRUE(client.Load());
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(0, client.post(engine, servers->FakeUrl("/unload-ok").c_str(), 0, FALSE, 0));
            DeleteFileW(file.c_str());
            EXPECT_EQ(0, client.download(engine, whole.c_str(), file.c_str(), 0, FALSE));
        }
        EXPECT_NE(0, client.post(engine, servers->FakeUrl("/hostile/close").c_str(), 0, FALSE, 0));
        EXPECT_EQ(HTTP_FETCH_STOPPED, client.download(engine, drip.c_str(), file.c_str(), 30, FALSE));
        if (round % 8 == 0) {
            EXPECT_NE(0, client.post(engine, servers->FakeUrl("/hostile/silent").c_str(), 0, FALSE, 0));
            DeleteFileW(file.c_str());
            EXPECT_EQ(HTTP_FETCH_STOPPED, client.download(engine, flood.c_str(), file.c_str(), 0, TRUE));
        }
        client.Free();
    }
    stop = true;
    for (std::thread& t : load) t.join();
    EXPECT_TRUE(WebFetchGoesWithin(15000));
}

// Posts whose sends are abandoned at the deadline with a large body still the engine's;
// the engine ends each a moment later, on a thread of its own, when the server goes.
// Meanwhile the caller keeps loading the library, calling it and freeing it.
TEST_P(Unload, AnEngineThatEndsAnAbandonedSendLateFindsTheLibraryLoaded) {
    ShortLimit limit(200);
    const std::string held = servers->FakeUrl("/hostile/drip-header?every=0.01&for=0.6");
    for (int attempt = 0; attempt < 6; ++attempt) {
        Client client;
        ASSERT_TRUE(client.Load());
        EXPECT_NE(0, client.post(GetParam(), held.c_str(), 0, FALSE, 32u << 20));
        client.Free();
        for (ULONGLONG start = GetTickCount64(); Since(start) < 1500;) {
            ASSERT_TRUE(client.Load());
            client.openAndClose(GetParam());
            client.Free();
        }
    }
    EXPECT_TRUE(WebFetchGoesWithin(15000));
}

// Replies that never end, broken off one after another: each break returns at once, a
// request beyond what may wait to be closed is refused at once instead of closing on its
// caller's thread, and once the server stops, transfers work again and the library goes.
TEST_P(Unload, EndlessRepliesBrokenOffOneAfterAnotherEachReturnAtOnce) {
    ShortLimit limit(2000);
    std::wstring file = dir + L"endless.bin";
    const std::wstring endless = vantor::AnsiToWide(servers->FakeUrl("/hostile/flood?for=15"));
    Client client;
    ASSERT_TRUE(client.Load());
    for (int round = 0; round < 20; ++round) {
        DeleteFileW(file.c_str());
        vantor::UniqueHandle returned(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        int result = 0;
        std::thread call([&, event = returned.get()] {
            result = client.download(GetParam(), endless.c_str(), file.c_str(), 100, FALSE);
            SetEvent(event);
        });
        if (WaitForSingleObject(returned.get(), 3000) != WAIT_OBJECT_0) {
            call.detach();   // the process ends with it
            FAIL() << "break " << round << " did not return";
        }
        call.join();
        EXPECT_NE(0, result) << round;
    }
    const std::wstring whole = vantor::AnsiToWide(servers->NginxUrl("/data100k.bin"));
    int honest = -1;
    for (ULONGLONG start = GetTickCount64(); honest != 0 && Since(start) < 40000; Sleep(200)) {
        DeleteFileW(file.c_str());
        honest = client.download(GetParam(), whole.c_str(), file.c_str(), 0, FALSE);
    }
    EXPECT_EQ(0, honest);
    client.Free();
    EXPECT_TRUE(WebFetchGoesWithin(20000));
}

INSTANTIATE_TEST_SUITE_P(Engines, Unload, ::testing::Values(1, 2), [](const ::testing::TestParamInfo<int>& info) {
    return info.param == 1 ? std::string("WinInet") : std::string("WinHttp");
});

}  // namespace
