// The exports as the host calls them: each run is a child copy of this program in a
// program folder of its own, signed in to ClientCore against a zumbase script, pumping
// its thread. The parent lays out the upgrade tree on nginx and reads the access log.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include <thread>

#include "ClientCore.h"
#include "ModulePath.h"
#include "SelfUpdate.h"
#include "TestSupport.h"
#include "Text.h"
#include "UpdateFixture.h"
#include "WebServers.h"
#include "outside/zumbase.h"

using namespace sutest;

namespace {

const char kChildVariable[] = "SELFUPDATE_TEST_CHILD";

bool ChildMode(const char* mode) {
    char value[64] = {};
    GetEnvironmentVariableA(kChildVariable, value, sizeof value);
    return strcmp(value, mode) == 0;
}

std::wstring Here() {
    std::wstring folder = testkit::ProgramDir();
    folder.pop_back();
    return folder;
}

// Runs this program again in folder (with the libraries the monitor needs beside it),
// limited to the child test of mode. True when the child passed and reached its end.
bool RunChild(const std::wstring& folder, const char* mode, const char* filter, const wchar_t* timing) {
    std::wstring dir = folder + L"\\";
    std::wstring exe = testkit::CopyThisExeTo(dir);
    if (exe.empty()) return false;
    for (const wchar_t* file : {L"SelfUpdate.dll", L"WebFetch.dll", L"Md5.dll", L"ClientCore.dll", L"zumbase.dll"}) {
        if (!testkit::CopyFromProgramDir(dir, file)) return false;
    }
    DWORD code = testkit::RunProgram(exe, L"--gtest_filter=" + vantor::AnsiToWide(filter), dir,
                                     {{L"SELFUPDATE_TEST_CHILD", vantor::AnsiToWide(mode)},
                                      {L"SELFUPDATE_TEST_TIMING", timing}},
                                     90000);
    return code == 0 && Exists(dir + L"child-done");
}

void WriteScript(const std::wstring& folder, const std::string& suite) {
    testkit::WriteFileBytes(folder + L"\\zum.ini",
                            "[Customer]\r\naccount=su01\r\nnickname=su\r\n[Suite]\r\nid=" + suite +
                                "\r\n[Services]\r\nlist=19\r\n[Service.19]\r\nname=home\r\nstate=1\r\n[Catalog]\r\ncount=0\r\n");
}

// --- in the child

struct Exports {
    HMODULE module = vantor::LoadProgramLibrary(L"SelfUpdate.dll");
    decltype(&Upgrade_BeginMonitor) Begin = vantor::ProcAddress<decltype(&Upgrade_BeginMonitor)>(module, "Upgrade_BeginMonitor");
    decltype(&Upgrade_StopMonitor) Stop = vantor::ProcAddress<decltype(&Upgrade_StopMonitor)>(module, "Upgrade_StopMonitor");
};

// Signs in on a thread of its own, as the host does before it begins the monitor.
void SignIn() {
    HMODULE core = vantor::LoadProgramLibrary(L"ClientCore.dll");
    ASSERT_NE(nullptr, core);
    auto isAlive = vantor::ProcAddress<decltype(&Cco_IsAlive)>(core, "Cco_IsAlive");
    auto login = vantor::ProcAddress<decltype(&Cco_LoginA)>(core, "Cco_LoginA");
    auto suite = vantor::ProcAddress<decltype(&Cco_GetServiceSuiteId)>(core, "Cco_GetServiceSuiteId");
    ASSERT_TRUE(isAlive && login && suite);
    HMODULE zum = vantor::LoadProgramLibrary(L"zumbase.dll");
    auto load = vantor::ProcAddress<decltype(&ZumStub_LoadScript)>(zum, "ZumStub_LoadScript");
    ASSERT_NE(nullptr, load);
    ASSERT_NE(0, load(vantor::WideToAnsi(Here() + L"\\zum.ini").c_str()));
    int result = -1;
    std::thread([&] {
        isAlive(nullptr);
        result = login(0, 0, 0, nullptr, nullptr);
    }).join();
    ASSERT_EQ(0, result);
    ASSERT_STRNE("", suite());
}

template <typename Predicate>
bool PumpUntil(Predicate done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

int MonitorWindows() {
    int n = 0;
    for (HWND w = FindWindowExW(HWND_MESSAGE, nullptr, SELFUPDATE_WINDOW_CLASS, nullptr); w;
         w = FindWindowExW(HWND_MESSAGE, w, SELFUPDATE_WINDOW_CLASS, nullptr)) {
        ++n;
    }
    return n;
}

std::wstring Staging(const char* build) { return Here() + L"\\SelfUpdate\\" + Wide(build) + L"\\"; }
bool Complete(const char* build) {
    return GetPrivateProfileIntW(L"Download", L"Complete", 0, (Staging(build) + L"staged.cfg").c_str()) == 1;
}
std::wstring Build() {
    wchar_t build[64] = {};
    GetPrivateProfileStringW(L"Product", L"build", L"", build, 64, (Here() + L"\\config\\version.cfg").c_str());
    return build;
}

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
    EXPECT_TRUE(Exists(Staging("1.0.0.1") + L"a.dll"));
    EXPECT_TRUE(Exists(Staging("1.0.0.1") + L"bin\\b.dll"));
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
    EXPECT_FALSE(Exists(Staging("1.0.0.1")));
    EXPECT_EQ("new a", ReadText(Here() + L"\\a.dll"));
    EXPECT_EQ("new b", ReadText(Here() + L"\\bin\\b.dll"));
    EXPECT_TRUE(PumpUntil([] { return Exists(Staging("1.0.0.2") + L"update.cfg"); }, 20000));
    // The timer (shortened here) brings the next check a period after this one ended.
    PumpUntil([] { return false; }, 1500);
    EXPECT_FALSE(Complete("1.0.0.2"));
    ASSERT_EQ(1, su.Stop());
    testkit::WriteFileBytes(Here() + L"\\child-done", "done");
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
    g_slow.file = Staging("1.0.0.1") + L"slow.bin";
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
    testkit::WriteFileBytes(Here() + L"\\child-done", "done");
}

// --- in the parent

// A child's program folder, signed in to its own suite, whose build 1.0.0.1 has a
// description on nginx that names the list and the next build 1.0.0.2.
struct ChildWorld {
    std::string suite;
    std::string branch;
    std::wstring folder;

    ChildWorld(const wchar_t* name, const char* suiteName) : suite(UniqueSuite(suiteName)), branch("update/" + suite + "/") {
        folder = MakeProgramFolder(name, WebServers::Get().NginxUrl("/update/"), "1.0.0.1");
        WriteScript(folder, suite);
    }
    void PublishList(const std::vector<ListedFile>& files) {
        WriteServed(branch + "1.0.0.1/update.cfg",
                    DescriptionText(WebServers::Get().NginxUrl("/" + branch + "1.0.0.1/update.xml"), "1.0.0.2"));
        WriteServed(branch + "1.0.0.1/update.xml", ListText(files));
    }
};

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
    std::vector<std::string> log = NginxLog("/slow/" + world.branch);
    ASSERT_EQ(2u, log.size());
    EXPECT_NE(std::string::npos, log[0].find("range=\"-\""));
    EXPECT_NE(std::string::npos, log[1].find("range=\"bytes=" + partial + "-\" status=206")) << log[1];
}

}  // namespace
