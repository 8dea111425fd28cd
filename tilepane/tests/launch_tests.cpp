// Launch candidates, the games list from the registry, the registered-game check and the
// monitor of started programs (the programs are the test kit's command-line logger).
#include <gtest/gtest.h>
#include <windows.h>

#include "GameLaunch.h"
#include "GameKeys.h"
#include "TestSupport.h"
#include "TileMonitor.h"

using namespace gamelaunch;

namespace {

const char kTestKey[] = "SOFTWARE\\Vantor\\TileTest\\";

void ClearKey() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestKey); }

}  // namespace

TEST(GameLaunch, CandidatesSplitAfterTheLastSeparator) {
    std::vector<std::string> lines = LaunchCandidates("C:/Games/x/run me.exe -full");
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("\"C:\\Games\\x\\run\" me.exe -full", lines[0]);
    EXPECT_EQ("\"C:\\Games\\x\\run me.exe\" -full", lines[1]);
    lines = LaunchCandidates("C:/Games/My Game/run.exe");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("\"C:\\Games\\My Game\\run.exe\"", lines[0]);
    EXPECT_TRUE(LaunchCandidates("run.exe -x").empty()) << "no separator: never started";
    EXPECT_EQ("C:/a/b c", ToPagePath("C:\\a\\b c"));
}

TEST(GameLaunch, GamesListSkipsLongNamesAndMisfitsAndGoesOn) {
    ClearKey();
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, std::string(40, 'k'), 1, "Long", "C:\\Games\\long.exe"));
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "Game2", 1, "Second", "C:\\Games\\two.exe"));
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "NotAGame", 0, "Tool", "C:\\Tools\\tool.exe"));
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "NoName", 1, nullptr, "C:\\Games\\x.exe"));
    std::string big(300, 'd');
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "BigName", 1, big.c_str(), "C:\\Games\\big.exe"));

    std::vector<GameEntry> narrow = ReadGames(HKEY_LOCAL_MACHINE, kTestKey, 31, 32);
    ASSERT_EQ(1u, narrow.size()) << "a 40-character subkey and a long name are skipped, not the end";
    EXPECT_EQ("Second", narrow[0].displayName);

    std::vector<GameEntry> wide = ReadGames(HKEY_LOCAL_MACHINE, kTestKey);
    ASSERT_EQ(2u, wide.size());
    PageGame page = ForPage(wide[0].displayName == "Second" ? wide[0] : wide[1]);
    EXPECT_EQ("Second", page.name);
    EXPECT_EQ("", page.text);
    EXPECT_EQ("C:/Games/two.exe", page.path);
    ClearKey();
}

TEST(GameLaunch, OnlyARegisteredLaunchPathIsAccepted) {
    ClearKey();
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "G1", 1, "One", "C:\\Games\\One\\one.exe -w"));
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "G2", 0, "Two", "C:\\Games\\two.exe"));
    EXPECT_TRUE(IsRegisteredLaunch("c:/games/one/ONE.exe -w", HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(IsRegisteredLaunch("C:/Games/One/one.exe -w -more", HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(IsRegisteredLaunch("C:/Games/two.exe", HKEY_LOCAL_MACHINE, kTestKey)) << "Game is 0";
    EXPECT_FALSE(IsRegisteredLaunch("C:/windows/system32/cmd.exe", HKEY_LOCAL_MACHINE, kTestKey));
    ClearKey();
}

TEST(GameLaunch, OnlyTheSameTextAsWinExecReadsItIsAccepted) {
    ClearKey();
    // "C:\游戏\one.exe" in code page 936.
    ASSERT_TRUE(testkit::WriteGameKey(kTestKey, "G1", 1, "One", "C:\\\xD3\xCE\xCF\xB7\\one.exe"));
    EXPECT_TRUE(IsRegisteredLaunch("C:/\xD3\xCE\xCF\xB7/ONE.exe", HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(IsRegisteredLaunch("C:/\xF3\xCE\xCF\xB7/one.exe", HKEY_LOCAL_MACHINE, kTestKey))
        << "another first character of the folder";
    EXPECT_FALSE(IsRegisteredLaunch("C:/\xD3\xCE\xCF\xB7\xAD/one.exe", HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(IsRegisteredLaunch("C:\xAD/\xD3\xCE\xCF\xB7/one.exe", HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(IsRegisteredLaunch("C:/\xD3\xCE\xCF\xB7/one.exe\xAD", HKEY_LOCAL_MACHINE, kTestKey));
    ClearKey();
}

namespace {

HANDLE StartLogger(DWORD sleepMs) {
    std::wstring exe = testkit::ProgramDir() + L"CmdLog.exe";
    std::wstring line = L"\"" + exe + L"\" monitored";
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", std::to_wstring(sleepMs).c_str());
    STARTUPINFOW si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", nullptr);
    if (!ok) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

struct DoneWindow {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ~DoneWindow() { DestroyWindow(window); }
    // Waits for the done message; its arrival time or 0.
    DWORD Wait(DWORD ms) {
        DWORD end = GetTickCount() + ms;
        MSG msg;
        while (GetTickCount() < end) {
            if (PeekMessageW(&msg, window, 3025, 3025, PM_REMOVE)) return GetTickCount();
            Sleep(10);
        }
        return 0;
    }
};

}  // namespace

TEST(ProcessMonitor, DoneOnlyAfterEveryProgramAndALateAdditionIsWaitedFor) {
    DoneWindow done;
    tilepane::ProcessMonitor monitor(done.window, 3025);
    DWORD start = GetTickCount();
    HANDLE a = StartLogger(500);
    HANDLE b = StartLogger(1500);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(monitor.Add(a));
    ASSERT_TRUE(monitor.Add(b));
    Sleep(100);
    HANDLE c = StartLogger(2000);
    ASSERT_TRUE(monitor.Add(c)) << "added while the waiter runs";
    DWORD at = done.Wait(10000);
    ASSERT_NE(0u, at);
    EXPECT_GE(at - start, 2000u) << "the done message came before the last program ended";
    monitor.OnDone();
    EXPECT_FALSE(monitor.Running());
    EXPECT_EQ(0u, monitor.Count());
}

TEST(ProcessMonitor, StopWhileAProgramRunsEndsAtOnceWithoutMessage) {
    DoneWindow done;
    HANDLE running = StartLogger(3000);
    ASSERT_NE(nullptr, running);
    HANDLE watch = nullptr;
    DuplicateHandle(GetCurrentProcess(), running, GetCurrentProcess(), &watch, SYNCHRONIZE, FALSE, 0);
    DWORD start = GetTickCount();
    {
        tilepane::ProcessMonitor monitor(done.window, 3025);
        ASSERT_TRUE(monitor.Add(running));
        Sleep(100);
    }
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(0u, done.Wait(200));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(watch, 0)) << "the program goes on running";
    WaitForSingleObject(watch, 5000);
    CloseHandle(watch);
}
