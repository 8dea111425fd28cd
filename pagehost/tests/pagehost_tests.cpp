// PageHost as the host program starts it: a copy in a folder of its own with the browser
// stand-in tracing into "surf.log", its games page and classroom page as local files, the
// games in HKLM "SOFTWARE\Vantor" and the test kit's command-line logger as the game.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DestroyedBrowsers.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "GameKeys.h"
#include "TestSupport.h"
#include "Text.h"
#include "outside/SurfView.h"

namespace {

const char kGamesKey[] = "SOFTWARE\\Vantor\\";
const wchar_t kGameCaption[] = L"Vantor游戏";
const wchar_t kClassCaption[] = L"Vantor课堂";

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

struct CaptionSearch {
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectCaption(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<CaptionSearch*>(data);
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    if (wcscmp(text, s->caption) == 0 && IsWindowVisible(window)) s->found.push_back(window);
    return TRUE;
}

// Visible top-level windows of this caption.
std::vector<HWND> WindowsCalled(const wchar_t* caption) {
    CaptionSearch search = {caption, {}};
    EnumWindows(CollectCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND BrowserOf(HWND window) { return FindWindowExW(window, nullptr, L"SurfViewBrowser", nullptr); }

void Click(HWND browser, const std::wstring& url) {
    COPYDATASTRUCT click = {SURFVIEW_COPYDATA_CLICK, static_cast<DWORD>((url.size() + 1) * sizeof(wchar_t)),
                            const_cast<wchar_t*>(url.c_str())};
    SendMessageW(browser, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&click));
}

std::wstring LaunchEvent(const std::string& path) {
    return L"event:<element%20id=%222%22>" + vantor::AnsiToWide(path) + L"</element>";
}

bool WaitFor(const std::function<bool()>& done, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (done()) return true;
        Sleep(50);
    }
    return done();
}

class PageHostRig {
public:
    explicit PageHostRig(const std::wstring& name) : dir_(testkit::FreshDir(name)) {
        for (const wchar_t* file : {L"PageHost.exe", L"CommonKit.dll", L"SkinFrame.dll", L"PictKit.dll",
                                    L"SurfView.dll", L"CmdLog.exe"}) {
            EXPECT_TRUE(testkit::CopyFromProgramDir(dir_, file)) << vantor::WideToAnsi(file);
        }
        for (const wchar_t* tree : {L"config", L"resource", L"Skins"}) {
            testkit::CopyTree(testkit::ProgramDir() + tree, dir_ + tree);
        }
        CreateDirectoryW((dir_ + L"resource\\tilepane").c_str(), nullptr);
        CreateDirectoryW((dir_ + L"resource\\SplashMgr").c_str(), nullptr);
        CreateDirectoryW((dir_ + L"class").c_str(), nullptr);
        Write(L"resource\\tilepane\\config.cfg",
              "[BlockConfig]\r\nstd_web_wid=640\r\nstd_web_hei=480\r\n[999]\r\n0=Classroom,class\\lesson.html\r\n");
        Write(L"resource\\SplashMgr\\config.cfg", "[LocalGame]\r\nhtml=games.html\r\n");
        Write(L"resource\\SplashMgr\\games.html",
              "<html><body><h1>Games</h1><p>Pick a game.</p><!--surf func=addGame--></body></html>");
        Write(L"class\\lesson.html", "<html><body><h1>Lesson one</h1><p>Today: fractions.</p></body></html>");
    }

    ~PageHostRig() {
        for (HANDLE process : running_) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
            CloseHandle(process);
        }
    }

    const std::wstring& dir() const { return dir_; }
    std::string ansiDir() const { return vantor::WideToAnsi(dir_); }
    void Write(const std::wstring& relative, const std::string& bytes) {
        EXPECT_TRUE(testkit::WriteFileBytes(dir_ + relative, bytes));
    }
    std::string Surf() const { return Joined(testkit::SplitLines(testkit::ReadFileBytes(dir_ + L"surf.log"))); }
    std::vector<std::string> Launches() const {
        return testkit::SplitLines(testkit::ReadFileBytes(dir_ + L"cmdlog.txt"));
    }

    // Starts the program with its argument; the process, which the rig ends at the latest.
    HANDLE Start(const std::wstring& argument) {
        std::wstring line = L"\"" + dir_ + L"PageHost.exe\" " + argument;
        SetEnvironmentVariableW(L"SURFVIEW_TRACE", (dir_ + L"surf.log").c_str());
        SetEnvironmentVariableW(L"CMDLOG_FILE", (dir_ + L"cmdlog.txt").c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        BOOL made = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &startup,
                                   &process);
        SetEnvironmentVariableW(L"SURFVIEW_TRACE", nullptr);
        SetEnvironmentVariableW(L"CMDLOG_FILE", nullptr);
        EXPECT_TRUE(made);
        if (!made) return nullptr;
        CloseHandle(process.hThread);
        running_.push_back(process.hProcess);
        return process.hProcess;
    }

    // The visible window of that caption, once there.
    static HWND WindowOf(const wchar_t* caption) {
        HWND found = nullptr;
        WaitFor(
            [&] {
                std::vector<HWND> all = WindowsCalled(caption);
                found = all.empty() ? nullptr : all[0];
                return found != nullptr;
            },
            15000);
        return found;
    }

    static DWORD ExitCode(HANDLE process, DWORD ms) {
        if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process, &code);
        return code;
    }

    // Closes the window as the user does and expects the program to end with 0.
    static void Close(HWND window, HANDLE process) {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(0u, ExitCode(process, 10000));
    }

private:
    std::wstring dir_;
    std::vector<HANDLE> running_;
};

void Shoot(HWND window, const wchar_t* name) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(150);
    CreateDirectoryW((testkit::ProgramDir() + L"screenshots").c_str(), nullptr);
    EXPECT_TRUE(testkit::SaveBitmapFile(testkit::CaptureWindow(window), testkit::ProgramDir() + L"screenshots\\" + name));
}

}  // namespace

TEST(PageHost, AnOtherWordOrNoneEndsAtOnceWithoutAWindow) {
    PageHostRig rig(L"pagehost-none");
    for (const wchar_t* argument : {L"Game", L"", L"CLS"}) {
        HANDLE process = rig.Start(argument);
        ASSERT_NE(nullptr, process);
        EXPECT_EQ(0u, PageHostRig::ExitCode(process, 10000)) << vantor::WideToAnsi(argument);
    }
    EXPECT_TRUE(WindowsCalled(kGameCaption).empty());
    EXPECT_TRUE(WindowsCalled(kClassCaption).empty());
    EXPECT_EQ("", rig.Surf()) << "no browser was made";
}

TEST(PageHost, GameModeListsTheGamesOnceAndStartsOnlyARegisteredOne) {
    PageHostRig rig(L"pagehost-game");
    std::string longName(40, 'q');
    testkit::GameKeys registry(kGamesKey, {longName, "PageHostTwo", "PageHostTool"});
    std::string logger = rig.ansiDir() + "CmdLog.exe";
    std::string registered = logger + " first-game";
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, longName, 1, "Long Key Game", registered));
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "PageHostTwo", 1, "Second Game", logger + " second-game"));
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "PageHostTool", 0, "Some Tool", logger + " tool"));

    HANDLE process = rig.Start(L"game");
    ASSERT_NE(nullptr, process);
    HWND window = PageHostRig::WindowOf(kGameCaption);
    ASSERT_NE(nullptr, window);
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(640, frame.right - frame.left);
    EXPECT_EQ(480, frame.bottom - frame.top);
    Shoot(window, L"pagehost-game-loading.bmp");

    // The games page comes a second after the window, then the list.
    ASSERT_TRUE(WaitFor([&] { return rig.Surf().find("script addGame") != std::string::npos; }, 15000)) << rig.Surf();
    Sleep(300);
    std::string surf = rig.Surf();
    EXPECT_NE(std::string::npos, surf.find("navigate " + rig.ansiDir() + "resource\\SplashMgr\\games.html")) << surf;
    std::string pagePath = registered;
    std::replace(pagePath.begin(), pagePath.end(), '\\', '/');
    EXPECT_EQ(1u, Count(surf, "script addGame(\"Long Key Game\"")) << "a 40-character subkey hides no game\n" << surf;
    EXPECT_NE(std::string::npos, surf.find(pagePath)) << "launch paths go to the page with \"/\"\n" << surf;
    EXPECT_EQ(1u, Count(surf, "script addGame(\"Second Game\"")) << surf;
    EXPECT_EQ(0u, Count(surf, "Some Tool")) << surf;
    EXPECT_EQ(0u, Count(surf, "uihandler set")) << surf;

    HWND browser = BrowserOf(window);
    ASSERT_NE(nullptr, browser);
    RECT placed;
    GetWindowRect(browser, &placed);
    EXPECT_EQ(frame.top + 25, placed.top);
    EXPECT_EQ(frame.left + 5, placed.left);
    Shoot(window, L"pagehost-game.bmp");

    // The page reloaded: no second list.
    Click(browser, vantor::AnsiToWide(rig.ansiDir() + "resource\\SplashMgr\\games.html"));
    Sleep(800);
    EXPECT_EQ(1u, Count(rig.Surf(), "script addGame(\"Second Game\"")) << rig.Surf();

    // Unlisted programs and extra arguments start nothing; the registered game starts.
    Click(browser, LaunchEvent(logger + " other"));
    Click(browser, LaunchEvent(pagePath + " -more"));
    Click(browser, LaunchEvent("cmd.exe"));
    Click(browser, LaunchEvent(pagePath));
    ASSERT_TRUE(WaitFor([&] { return !rig.Launches().empty(); }, 10000));
    Sleep(1000);
    std::vector<std::string> launches = rig.Launches();
    ASSERT_EQ(1u, launches.size()) << Joined(launches);
    EXPECT_NE(std::string::npos, launches[0].find("first-game")) << launches[0];
    EXPECT_EQ(0u, launches[0].find("\"" + logger + "\"")) << "the path before the blank is quoted: " << launches[0];

    PageHostRig::Close(window, process);
    EXPECT_NE(std::string::npos, rig.Surf().find("exit ")) << "the game mode gives the browser library up";
}

TEST(PageHost, OneWindowPerModeAndTheSecondStartRaisesIt) {
    PageHostRig rig(L"pagehost-twice");
    HANDLE first = rig.Start(L"game");
    ASSERT_NE(nullptr, first);
    HWND window = PageHostRig::WindowOf(kGameCaption);
    ASSERT_NE(nullptr, window);

    // Something else comes to the front; the second start brings the first window back.
    HWND other = CreateWindowExW(0, L"STATIC", L"other window", WS_POPUP | WS_VISIBLE, 50, 50, 200, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    testkit::PumpFor(300);
    HANDLE second = rig.Start(L"game");
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(0u, PageHostRig::ExitCode(second, 10000));
    testkit::PumpFor(300);
    EXPECT_EQ(1u, WindowsCalled(kGameCaption).size());
    EXPECT_EQ(window, GetForegroundWindow());
    DestroyWindow(other);

    // The classroom mode runs beside the game mode.
    HANDLE classroom = rig.Start(L"cls");
    ASSERT_NE(nullptr, classroom);
    HWND classWindow = PageHostRig::WindowOf(kClassCaption);
    EXPECT_NE(nullptr, classWindow);
    EXPECT_EQ(STILL_ACTIVE, PageHostRig::ExitCode(first, 0));
    if (classWindow) PageHostRig::Close(classWindow, classroom);
    PageHostRig::Close(window, first);
}

namespace {

// Sets "InstallDir" of the classroom line for one test and puts back what was there.
class ClassroomKey {
public:
    explicit ClassroomKey(const std::wstring& dir) {
        HKEY key = nullptr;
        had_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (had_) {
            WCHAR value[300] = {};
            DWORD size = sizeof value - sizeof(WCHAR);
            hadValue_ = RegQueryValueExW(key, L"InstallDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
                        ERROR_SUCCESS;
            old_ = value;
            RegCloseKey(key);
        }
        Set(dir);
    }
    ~ClassroomKey() {
        if (!had_) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
        } else if (hadValue_) {
            Set(old_);
        } else {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, L"InstallDir");
                RegCloseKey(key);
            }
        }
    }

private:
    static constexpr const wchar_t* kKey = L"SOFTWARE\\Vantor\\Mirn";
    void Set(const std::wstring& dir) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                                 nullptr));
        RegSetValueExW(key, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                       static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    bool had_ = false;
    bool hadValue_ = false;
    std::wstring old_;
};

}  // namespace

TEST(PageHost, ClassroomModeShowsThePageOfTheInstallFolderAndStartsNothing) {
    PageHostRig rig(L"pagehost-class");
    testkit::GameKeys registry(kGamesKey, {"PageHostClassGame"});
    std::string logger = rig.ansiDir() + "CmdLog.exe";
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "PageHostClassGame", 1, "Class Game", logger));
    ClassroomKey install(rig.dir().substr(0, rig.dir().size() - 1));  // without the trailing "\"

    HANDLE process = rig.Start(L"cls");
    ASSERT_NE(nullptr, process);
    HWND window = PageHostRig::WindowOf(kClassCaption);
    ASSERT_NE(nullptr, window);
    std::string page = rig.ansiDir() + "class\\lesson.html";
    ASSERT_TRUE(WaitFor([&] { return rig.Surf().find("DocumentComplete") != std::string::npos; }, 15000)) << rig.Surf();
    Sleep(300);
    EXPECT_NE(std::string::npos, rig.Surf().find("navigate " + page)) << rig.Surf();
    Shoot(window, L"pagehost-classroom.bmp");

    // No games list and no launches in this mode.
    Click(BrowserOf(window), LaunchEvent(logger));
    Sleep(1000);
    EXPECT_EQ(0u, Count(rig.Surf(), "addGame")) << rig.Surf();
    EXPECT_TRUE(rig.Launches().empty());
    PageHostRig::Close(window, process);
}

TEST(PageHost, AClassroomPageThatClosesItsWindowLeavesNoBrowserToMove) {
    PageHostRig rig(L"pagehost-pageclose");
    rig.Write(L"class\\lesson.html", "<html><body><h1>Lesson over</h1><!--surf close--></body></html>");
    ClassroomKey install(rig.dir().substr(0, rig.dir().size() - 1));
    // The browser the page closed stays behind as a window of no size, which the program
    // would move if it still held it.
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, L"1");
    HANDLE process = rig.Start(L"cls");
    SetEnvironmentVariableW(SURFVIEW_KEEP_DESTROYED, nullptr);
    ASSERT_NE(nullptr, process);
    HWND window = PageHostRig::WindowOf(kClassCaption);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitFor([&] { return rig.Surf().find("WindowClosing -> close") != std::string::npos; }, 15000))
        << rig.Surf();
    ASSERT_TRUE(WaitFor([&] { return BrowserOf(window) == nullptr; }, 5000));
    SetWindowPos(window, nullptr, 0, 0, 600, 450, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(300);
    testkit::DestroyedBrowsers destroyed = testkit::CountDestroyedBrowsers(GetProcessId(process));
    EXPECT_EQ(1, destroyed.count);
    EXPECT_EQ(0, destroyed.moved) << "the program moved the browser its page had closed";
    PageHostRig::Close(window, process);
}

TEST(PageHost, ClassroomWithoutAPageItemShowsAnEmptyWindow) {
    PageHostRig rig(L"pagehost-noitem");
    rig.Write(L"resource\\tilepane\\config.cfg", "[BlockConfig]\r\nstd_web_wid=5000\r\nstd_web_hei=4000\r\n"
                                                 "[999]\r\n0=Classroom\r\n");
    ClassroomKey install(rig.dir());
    HANDLE process = rig.Start(L"cls");
    ASSERT_NE(nullptr, process);
    HWND window = PageHostRig::WindowOf(kClassCaption);
    ASSERT_NE(nullptr, window);
    Sleep(500);
    EXPECT_EQ(std::string::npos, rig.Surf().find("navigate")) << rig.Surf();
    RECT frame;
    GetWindowRect(window, &frame);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), frame.right - frame.left) << "clipped to the screen";
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), frame.bottom - frame.top);
    PageHostRig::Close(window, process);
}
