// The exports as the host calls them: each run is a child copy of this program in a
// program folder of its own, signed in to ClientCore against a zumbase script, pumping
// its thread. The parent lays out the upgrade tree on nginx and reads the access log.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "MonitorChild.h"
#include "TestSupport.h"
#include "WebServers.h"

using namespace sutest;

namespace {

TEST(SelfUpdateMonitorChild, StagesInstallsAndMovesOn) {
    if (!ChildMode("flow")) GTEST_SKIP() << "child run only";
    SignIn();
    Exports su;
    ASSERT_TRUE(su.Begin && su.Stop);
    EXPECT_EQ(1, su.Stop()) << "no monitor yet";
    ASSERT_EQ(1, su.Begin());
    EXPECT_EQ(1, su.Begin());
    EXPECT_EQ(1, MonitorWindows());
    ASSERT_TRUE(PumpUntil([] { return Complete("1.0.0.1"); }, 30000));
    EXPECT_TRUE(Exists(ChildStaging("1.0.0.1") + L"a.dll"));
    EXPECT_TRUE(Exists(ChildStaging("1.0.0.1") + L"bin\\b.dll"));
    ASSERT_EQ(1, su.Stop());
    EXPECT_EQ(0, MonitorWindows());
    EXPECT_EQ(1, su.Stop());

    // A target held open without sharing: nothing is lost, the update waits.
    HANDLE held = CreateFileW((Here() + L"\\bin\\b.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_EQ(1, su.Begin());
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(L"1.0.0.1", Build());
    EXPECT_TRUE(Complete("1.0.0.1"));
    ASSERT_EQ(1, su.Stop());
    CloseHandle(held);
    EXPECT_EQ("old b", ReadText(Here() + L"\\bin\\b.dll"));

    // Released: the next start installs, and its check asks for the new build.
    ASSERT_EQ(1, su.Begin());
    EXPECT_EQ(L"1.0.0.2", Build());
    EXPECT_FALSE(Exists(ChildStaging("1.0.0.1")));
    EXPECT_EQ("new a", ReadText(Here() + L"\\a.dll"));
    EXPECT_EQ("new b", ReadText(Here() + L"\\bin\\b.dll"));
    EXPECT_TRUE(PumpUntil([] { return Exists(ChildStaging("1.0.0.2") + L"update.cfg"); }, 20000));
    // The timer (shortened here) brings the next check a period after this one ended.
    PumpUntil([] { return false; }, 1500);
    EXPECT_FALSE(Complete("1.0.0.2"));
    ASSERT_EQ(1, su.Stop());
    ChildDone();
}

struct SlowStop {
    Exports* su = nullptr;
    DWORD stopMs = 0;
    int stopResult = -1;
    bool stopped = false;
    std::wstring file;
} g_slow;

void CALLBACK StopWhenUnderWay(HWND, UINT, UINT_PTR timer, DWORD) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (g_slow.stopped || !GetFileAttributesExW(g_slow.file.c_str(), GetFileExInfoStandard, &data) ||
        data.nFileSizeLow < 100000) {
        return;
    }
    KillTimer(nullptr, timer);
    // Runs inside the check: the monitor's transfer dispatches this thread's messages.
    DWORD start = GetTickCount();
    g_slow.stopResult = g_slow.su->Stop();
    g_slow.stopMs = GetTickCount() - start;
    g_slow.stopped = true;
    // As the host does: a stopped monitor's library goes.
    if (g_slow.stopResult == 1) FreeLibrary(g_slow.su->module);
}

TEST(SelfUpdateMonitorChild, StopsASlowDownloadAndKeepsTheThreadsCom) {
    if (!ChildMode("slow")) GTEST_SKIP() << "child run only";
    SignIn();
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::unique_ptr<Exports> su(new Exports);
    g_slow.su = su.get();
    g_slow.file = ChildStaging("1.0.0.1") + L"slow.bin";
    ASSERT_EQ(1, su->Begin());
    UINT_PTR timer = SetTimer(nullptr, 0, 50, &StopWhenUnderWay);
    ASSERT_NE(0u, timer);
    ASSERT_TRUE(PumpUntil([] { return g_slow.stopped; }, 30000));
    // Called inside the check, the stop cannot wait for it: it breaks the download off and
    // answers 0; once the check has returned, the stop answers 1 and the library may go.
    EXPECT_EQ(0, g_slow.stopResult);
    EXPECT_LT(g_slow.stopMs, 1500u);
    EXPECT_EQ(0, MonitorWindows());
    EXPECT_TRUE(PumpUntil([&] { return su->Stop() == 1; }, 3000)) << "the check returns soon after the stop";
    FreeLibrary(su->module);
    EXPECT_EQ(nullptr, GetModuleHandleW(L"SelfUpdate.dll"));
    EXPECT_FALSE(Complete("1.0.0.1"));
    std::string partial = ReadText(g_slow.file);
    EXPECT_GE(partial.size(), 100000u);
    EXPECT_LT(partial.size(), 800000u);
    testkit::WriteFileBytes(Here() + L"\\partial-size.txt", std::to_string(partial.size()));
    // The list was parsed on this thread: its apartment is still there.
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();

    // A new monitor resumes the partial file.
    su.reset(new Exports);
    ASSERT_EQ(1, su->Begin());
    EXPECT_TRUE(PumpUntil([] { return Complete("1.0.0.1"); }, 30000));
    EXPECT_EQ(1, su->Stop());
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    CoUninitialize();
    ChildDone();
}

// --- in the parent

class SelfUpdateMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        if (ChildMode("flow") || ChildMode("slow")) GTEST_SKIP() << "parent run only";
    }
    const WebServers& servers = WebServers::Get();
};

TEST_F(SelfUpdateMonitor, FromBeginToInstallAgainstNginx) {
    ChildWorld world(L"su-monitor", "mon");
    const std::wstring& folder = world.folder;
    const std::string& branch = world.branch;
    CreateDirectoryW((folder + L"\\bin").c_str(), nullptr);
    testkit::WriteFileBytes(folder + L"\\bin\\b.dll", "old b");
    WriteServed(branch + "files/a.dll", "new a");
    WriteServed(branch + "files/b.dll", "new b");
    world.PublishList({{servers.NginxUrl("/" + branch + "files/a.dll"), "a.dll", Md5Of("new a")},
                       {servers.NginxUrl("/" + branch + "files/b.dll"), "bin\\b.dll", Md5Of("new b")}});
    ASSERT_TRUE(RunChild(folder, "flow", "SelfUpdateMonitorChild.StagesInstallsAndMovesOn", L"300,200"));

    std::vector<std::string> log = NginxLog("/" + branch);
    ASSERT_GE(log.size(), 6u);
    EXPECT_NE(std::string::npos, log[0].find("GET /" + branch + "1.0.0.1/update.cfg "));
    EXPECT_NE(std::string::npos, log[1].find("GET /" + branch + "1.0.0.1/update.xml "));
    EXPECT_NE(std::string::npos, log[2].find("GET /" + branch + "files/a.dll "));
    EXPECT_NE(std::string::npos, log[3].find("GET /" + branch + "files/b.dll "));
    for (size_t i = 4; i < log.size(); ++i) {
        EXPECT_NE(std::string::npos, log[i].find("GET /" + branch + "1.0.0.2/update.cfg ")) << log[i];
    }
}

TEST_F(SelfUpdateMonitor, StopDuringASlowDownloadThenResume) {
    ChildWorld world(L"su-slow", "slow");
    std::string bytes = Pattern(800000, 31);
    WriteServed(world.branch + "files/slow.bin", bytes);
    world.PublishList({{servers.NginxUrl("/slow/" + world.branch + "files/slow.bin"), "slow.bin", Md5Of(bytes)}});
    ASSERT_TRUE(RunChild(world.folder, "slow", "SelfUpdateMonitorChild.StopsASlowDownloadAndKeepsTheThreadsCom",
                         L"600000,200"));

    EXPECT_EQ(bytes, ReadText(world.folder + L"\\SelfUpdate\\1.0.0.1\\slow.bin"));
    std::string partial = ReadText(world.folder + L"\\partial-size.txt");
    std::vector<std::string> log = NginxLogOf("/slow/" + world.branch, 2);
    ASSERT_EQ(2u, log.size());
    EXPECT_TRUE(AnyLineHolds(log, "range=\"-\"")) << log[0] << "\n" << log[1];
    EXPECT_TRUE(AnyLineHolds(log, "range=\"bytes=" + partial + "-\" status=206")) << log[0] << "\n" << log[1];
}

}  // namespace
