// The home tile pane in the container as plug -11, signed in against a platform script,
// its service pages on nginx and the browser stand-in tracing: the account's links, the
// pages boards open, sign-up, load errors, history, the games page and its launches, the
// monitored programs and closing the pane while programs or a sign-up run.
#include <gtest/gtest.h>
#include <windows.h>
#include <uxtheme.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "ModulePath.h"
#include "PaneHost.h"
#include "PaneRig.h"
#include "Screenshot.h"
#include "TabPlug.h"
#include "TestPages.h"
#include "GameKeys.h"
#include "TestSupport.h"
#include "Text.h"
#include "VantorTypes.h"
#include "WebServers.h"
#include "outside/SurfView.h"
#include "outside/zumbase.h"

namespace {

const PlugId kPane = PLUG_BOARD_PANE;
const char kChild[] = "TilePaneChild.Run";
const char kGamesKey[] = "SOFTWARE\\Vantor\\";

using panetest::Count;
using panetest::Joined;

// Boards 1001 (subjects on services 9, 5 and 6) and 1004 (service 19); services 9 and 19
// held, 5 and 6 not.
std::string Script(const std::string& pages, const std::string& more = "") {
    return "[Customer]\r\naccount=tp01\r\nnickname=tp\r\n[Suite]\r\nid=TP\r\n[Services]\r\nlist=9,19\r\n"
           "[Service.9]\r\nname=contacts\r\nstate=1\r\ncodes=0\r\n[Service.19]\r\nname=helper\r\nstate=1\r\ncodes=0\r\n"
           "[Catalog]\r\ncount=2\r\n"
           "[Board.0]\r\nname=Life\r\nres=board-1001\r\nsubjects=3\r\n"
           "[Board.0.Subject.0]\r\nname=Weather\r\nservice=9\r\nlink=\r\naccess=1\r\n"
           "[Board.0.Subject.1]\r\nname=Lessons\r\nservice=5\r\nlink=" + pages + "lessons.html\r\naccess=1\r\n"
           "[Board.0.Subject.2]\r\nname=Grades\r\nservice=6\r\nlink=" + pages + "grades.html\r\naccess=1\r\n"
           "[Board.1]\r\nname=Fun\r\nres=board-1004\r\nsubjects=1\r\n"
           "[Board.1.Subject.0]\r\nname=Music\r\nservice=19\r\nlink=\r\naccess=0\r\n"
           "[Notice]\r\ncount=0\r\n" + more;
}

class TileRun {
public:
    explicit TileRun(const std::wstring& name, const std::string& more = "") : rig_(name) {
        const WebServers& servers = WebServers::Get();
        EXPECT_TRUE(servers.loaded);
        set_ = L"tilepane-" + name;
        pages_ = servers.NginxUrl("/" + vantor::WideToAnsi(set_) + "/");
        std::wstring root = servers.root + set_ + L"\\";
        CreateDirectoryW(root.c_str(), nullptr);
        auto page = [&](const wchar_t* file, const std::string& body) {
            EXPECT_TRUE(testkit::WriteFileBytes(root + file, "<html><body>" + body + "</body></html>"));
        };
        page(L"weather.html", "<h1>Weather</h1><p>Sunny, 24 degrees.</p><!--surf size=1200x2000-->");
        page(L"next.html", "<h1>Weather tomorrow</h1><p>Rain.</p>");
        page(L"framed.html", "<h1>Framed</h1><!--surf frame=gone.html-->");
        page(L"lessons.html", "<h1>Lessons</h1>");
        page(L"grades.html", "<h1>Grades</h1>");
        page(L"close.html", "<h1>Bye</h1><!--surf close-->");
        page(L"tall.html", "<h1>A long list</h1><!--surf size=300000x300000-->");

        EXPECT_TRUE(rig_.Copy(L"SignUp.dll"));
        EXPECT_TRUE(rig_.Copy(L"LoadBar.dll"));
        rig_.Platform(Script(pages_, more));
        rig_.Pane(kPane, L"TilePane.dll");
        std::string config = vantor::WideToAnsi(rig_.dir() + L"resource\\tilepane\\config.cfg");
        WritePrivateProfileStringA("web_site", "9", (pages_ + "weather.html").c_str(), config.c_str());
        WritePrivateProfileStringA("web_site", "19", (pages_ + "missing.html").c_str(), config.c_str());
        WritePrivateProfileStringA("1001", "0", "Weather,", config.c_str());
        WritePrivateProfileStringA("1001", "1", "Lessons,", config.c_str());
        WritePrivateProfileStringA("1001", "2", "Grades,", config.c_str());
        WritePrivateProfileStringA("1004", "0", "Music,", config.c_str());
        std::string signUp = testkit::PublishPages(L"signup");
        WritePrivateProfileStringA("CommonUrl", "ServiceUrl", signUp.c_str(),
                                   vantor::WideToAnsi(rig_.dir() + L"config\\commprof.cfg").c_str());
    }

    testkit::PaneRig& rig() { return rig_; }
    const std::string& pages() const { return pages_; }
    std::string Run(const std::string& mode, const std::wstring& shot = L"") {
        DeleteFileW((rig_.dir() + L"surf.log").c_str());
        return panetest::RunChild(rig_, kChild, mode, shot);
    }
    std::string Surf() const { return Joined(rig_.SurfTrace()); }

private:
    testkit::PaneRig rig_;
    std::wstring set_;
    std::string pages_;
};

std::string Line(const std::string& notes, const std::string& start) {
    size_t at = notes.find("\n" + start);
    if (at == std::string::npos) at = notes.compare(0, start.size(), start) == 0 ? 0 : std::string::npos;
    else ++at;
    if (at == std::string::npos) return std::string();
    return notes.substr(at, notes.find('\n', at) - at);
}

}  // namespace

TEST(TilePaneInHost, TheAccountsBoardsAreLinkedInTheFixedOrder) {
    // The game sorts before "Mirn": the walk goes on after the first game.
    testkit::GameKeys games(kGamesKey, {"AaTileLinkGame", "Mirn"});
    TileRun run(L"links");
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "AaTileLinkGame", 1, "Puzzle",
                                      vantor::WideToAnsi(run.rig().dir()) + "CmdLog.exe"));
    HKEY mirn = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Vantor\\Mirn", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &mirn, nullptr);
    if (mirn) RegCloseKey(mirn);
    // A link font of a size and no face: the links keep the default face.
    std::string ui = vantor::WideToAnsi(run.rig().dir() + L"config\\uiprof.cfg");
    WritePrivateProfileStringA("WizardBarFont", "name", nullptr, ui.c_str());
    WritePrivateProfileStringA("WizardBarFont", "size", "12", ui.c_str());
    WritePrivateProfileStringA("WizardBarFont", "bold", "TRUE", ui.c_str());

    std::string notes = run.Run("links", L"tilepane-links.bmp");
    EXPECT_NE(std::string::npos, notes.find("shot 1\n")) << notes;
    // Home first, renewal last, the rest by the fixed order: 1004, classroom, games, 1001.
    EXPECT_EQ("links 1008:首页 1004:Fun 999:Vantor课堂 1000:益智游戏 1001:Life 1009:网上续费", Line(notes, "links "))
        << notes;
    EXPECT_EQ("rows from x=50", Line(notes, "rows ")) << notes;
    EXPECT_EQ("link font 宋体 bold", Line(notes, "link font ")) << notes;
    std::string surf = run.Surf();
    EXPECT_NE(std::string::npos, surf.find("create 1000")) << surf;
    EXPECT_NE(std::string::npos, surf.find("uihandler set")) << surf;
}

TEST(TilePaneInHost, BoardsOpenTheirPagesAndALoadErrorShowsUntilAGoodPage) {
    TileRun run(L"boards");
    std::string notes = run.Run("boards", L"tilepane-load-error.bmp");
    std::string surf = run.Surf();
    const std::string& pages = run.pages();

    // A link of the block pane: board 1001, column 0, the service's own page.
    EXPECT_NE(std::string::npos, surf.find("navigate " + pages + "weather.html")) << surf;
    EXPECT_NE(std::string::npos, notes.find("after weather: error=0 browser=sized")) << notes;
    // Board 1004 answers 404: the error line covers the area until a good page comes.
    EXPECT_NE(std::string::npos, surf.find("navigate " + pages + "missing.html")) << surf;
    EXPECT_NE(std::string::npos, notes.find("after missing: error=1 browser=empty text=网页加载失败")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after weather again: error=0 browser=sized")) << notes;
    // A page whose frame fails is no error.
    EXPECT_NE(std::string::npos, surf.find("NavigateError frame")) << surf;
    EXPECT_NE(std::string::npos, notes.find("after framed: error=0 browser=sized")) << notes;
    // History buttons follow the browser.
    EXPECT_NE(std::string::npos, notes.find("history after link: back=1 forward=0")) << notes;
    EXPECT_NE(std::string::npos, notes.find("history after back: back=0 forward=1")) << notes;
    EXPECT_NE(std::string::npos, surf.find("\nback\n")) << surf;
    // The home tab gives way to this pane for every board.
    EXPECT_NE(std::string::npos, run.rig().Read(L"trace.log").find("plug-10.dll Show 0")) << run.rig().Read(L"trace.log");
    EXPECT_EQ(0u, Count(notes, "Zum_SubscribeService")) << "held services need no sign-up\n" << notes;
}

TEST(TilePaneInHost, ClosingTheInformationPaneOverTheLinksRepaintsThem) {
    TileRun run(L"inforepaint");
    std::string notes = run.Run("info-repaint", L"tilepane-info-repaint.bmp");
    EXPECT_NE(std::string::npos, notes.find("over the links while shown: 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("over the links after closing: 0\n")) << notes;
}

TEST(TilePaneInHost, AServiceNotHeldSignsUpOnceAndThenOpensItsPage) {
    TileRun run(L"signup");
    std::string notes = run.Run("signup");
    EXPECT_EQ(1u, Count(notes, "Zum_SubscribeService(5,")) << notes;
    EXPECT_NE(std::string::npos, run.Surf().find("navigate " + run.pages() + "lessons.html")) << run.Surf();
}

TEST(TilePaneInHost, ASignUpThatLeavesTheServiceMissingIsNotRepeated) {
    TileRun run(L"loop", "[GetService]\r\n5=-1020\r\n");
    std::string notes = run.Run("signup");
    EXPECT_EQ(1u, Count(notes, "Zum_SubscribeService(5,")) << notes;
    EXPECT_EQ(std::string::npos, run.Surf().find("lessons.html")) << run.Surf();
}

TEST(TilePaneInHost, ClosingThePaneDuringASignUpEndsItAndThePaneGoesAfterwards) {
    // The sign-up page applies at once; the platform takes two seconds to answer.
    TileRun run(L"closesignup", "[Delay]\r\nZum_SubscribeService=2000\r\n");
    std::string notes = run.Run("close-during-signup");
    EXPECT_NE(std::string::npos, notes.find("sign-up window seen\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("unload -> 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after: sign-up window=0 pane window=0\n")) << notes;
    EXPECT_EQ(std::string::npos, run.Surf().find("grades.html")) << run.Surf();
}

TEST(TilePaneInHost, TheGamesPageListsOnceAndStartsOnlyRegisteredGames) {
    testkit::GameKeys games(kGamesKey, {"TileGameOne", "TileGameTwo"});
    TileRun run(L"games");
    std::string logger = vantor::WideToAnsi(run.rig().dir()) + "CmdLog.exe";
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "TileGameOne", 1, "Puzzle", logger + " one"));
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "TileGameTwo", 1, "Blocks", logger + " two"));
    std::string notes = run.Run("games", L"tilepane-games.bmp");
    std::string surf = run.Surf();
    EXPECT_NE(std::string::npos, surf.find("resource\\SplashMgr\\games.html")) << surf;
    std::string onePath = logger + " one";
    for (char& c : onePath) c = c == '\\' ? '/' : c;
    EXPECT_EQ(1u, Count(surf, "script addGame(\"Puzzle\",\"\",\"" + onePath + "\") -> true")) << surf;
    EXPECT_EQ(1u, Count(surf, "script addGame(\"Blocks\"")) << surf;

    std::vector<std::string> launches = run.rig().Launches();
    std::string all = Joined(launches);
    EXPECT_EQ(1u, Count(all, "\"" + logger + "\" one")) << all;
    EXPECT_EQ(0u, Count(all, "other")) << "an unlisted path runs nothing\n" << all;
    EXPECT_EQ(0u, Count(all, "extra")) << "nor a listed one with more arguments\n" << all;
}

TEST(TilePaneInHost, MonitoredProgramsAreReportedOnceAllHaveEnded) {
    testkit::GameKeys games(kGamesKey, {"TileWaitOne", "TileWaitTwo", "TileWaitLong"});
    TileRun run(L"monitor");
    std::string logger = vantor::WideToAnsi(run.rig().dir()) + "CmdLog.exe";
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "TileWaitOne", 1, "One", logger + " wait-1000"));
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "TileWaitTwo", 1, "Two", logger + " wait-2000"));
    ASSERT_TRUE(testkit::WriteGameKey(kGamesKey, "TileWaitLong", 1, "Long", logger + " wait-5000"));
    std::string notes = run.Run("monitor");
    EXPECT_NE(std::string::npos, notes.find("done messages 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("done after both\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("unload within 1 s\n")) << notes;
    EXPECT_EQ(3u, run.rig().Launches().size()) << Joined(run.rig().Launches());
}

TEST(TilePaneInHost, APageThatClosesItsWindowLeavesThePaneUsableAndANewBrowserComes) {
    TileRun run(L"pageclose");
    // The child fills freed memory, so that a use of the gone browser faults.
    wchar_t debug[128] = {};
    DWORD had = GetEnvironmentVariableW(L"WINEDEBUG", debug, 128);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,warn+heap");
    std::string notes = run.Run("page-close");
    SetEnvironmentVariableW(L"WINEDEBUG", had ? debug : nullptr);
    EXPECT_NE(std::string::npos, notes.find("moved\ncommanded\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("new browser: 1\n")) << notes;
    std::string surf = run.Surf();
    EXPECT_EQ(2u, Count(surf, "create 1000")) << surf;
    // The new browser opens the page of the command that came meanwhile.
    EXPECT_NE(std::string::npos, surf.find("destroy 1000\ncreate 1000\nuihandler set\nnavigate ")) << surf;
}

TEST(TilePaneInHost, ASecondApplyDuringASignUpLeavesTheFirstOneToEndWithThePane) {
    // A sign-up whose page is missing stays open; a second one fails at once.
    TileRun run(L"secondapply", "[Subscribe]\r\n5=-1020\r\n");
    std::string notes = run.Run("second-apply");
    EXPECT_NE(std::string::npos, notes.find("failure box seen\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("unload -> 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after: sign-up window=0 pane window=0\n")) << notes;
    EXPECT_EQ(std::string::npos, notes.find("left open")) << notes;

    // Closed while the second apply's box is up: the first apply, below it, ends the pane.
    TileRun closing(L"secondclose", "[Subscribe]\r\n5=-1020\r\n");
    wchar_t debug[128] = {};
    DWORD had = GetEnvironmentVariableW(L"WINEDEBUG", debug, 128);
    SetEnvironmentVariableW(L"WINEDEBUG", L"-all,warn+heap");  // freed memory is filled
    notes = closing.Run("second-apply-close");
    SetEnvironmentVariableW(L"WINEDEBUG", had ? debug : nullptr);
    EXPECT_NE(std::string::npos, notes.find("unload -> 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after: sign-up window=0 pane window=0\n")) << notes;
    EXPECT_EQ(std::string::npos, notes.find("left open")) << notes;
}

TEST(TilePaneInHost, ClosingThePaneEndsBothSignUpWindowsWhenASecondOneCameOverTheFirst) {
    // No sign-up page for service 17: each window stays up until it is ended.
    TileRun run(L"twosignups");
    std::string notes = run.Run("two-signups");
    EXPECT_NE(std::string::npos, notes.find("sign-up windows 2\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("unload -> 1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("after: sign-up windows=0 pane window=0\n")) << notes;
    EXPECT_EQ(std::string::npos, notes.find("left open")) << notes;
}

TEST(TilePaneInHost, CommandsButtonsMessagesAndScrollingEachReachTheirTarget) {
    // Platform pages: the index page answers, the fee page's first address fails once.
    TileRun run(L"drive", "[Fail]\r\nZum_GetDIYInfo#3=-1020\r\n");
    const std::string& pages = run.pages();
    std::string commprof = vantor::WideToAnsi(run.rig().dir() + L"config\\commprof.cfg");
    WritePrivateProfileStringA("CommonUrl", "ReadPayUrl", (pages + "lessons.html").c_str(), commprof.c_str());
    std::string zum = run.rig().Read(L"zum.ini");
    EXPECT_FALSE(zum.empty());
    const std::string fee = pages + "pay.html?from=tile";
    run.rig().Write(L"zum.ini", zum + "[DIY]\r\nindexurl=" + pages + "next.html\r\npayfeeurl=" + fee + "\r\n");
    std::string tabDeck = vantor::WideToAnsi(run.rig().dir() + L"resource\\TabDeck\\config.cfg");
    CreateDirectoryW((run.rig().dir() + L"resource\\TabDeck").c_str(), nullptr);
    CreateDirectoryW((run.rig().dir() + L"resource\\TabDeck\\local").c_str(), nullptr);
    WritePrivateProfileStringA("bkgnd", "def", "1", tabDeck.c_str());
    WritePrivateProfileStringA("bkgnd", "2", "red.bmp", tabDeck.c_str());
    EXPECT_TRUE(run.rig().Write(L"resource\\TabDeck\\red.bmp", testkit::SolidBitmap(64, 64, RGB(255, 0, 0))));
    EXPECT_TRUE(run.rig().Write(L"resource\\TabDeck\\local\\green.bmp", testkit::SolidBitmap(64, 64, RGB(0, 255, 0))));
    EXPECT_TRUE(run.rig().Write(L"resource\\TabDeck\\local\\蓝色.bmp", testkit::SolidBitmap(64, 64, RGB(0, 0, 255))));

    std::string notes;
    {
        testkit::LoggedShellOpens opens(L"http", run.rig().dir() + L"CmdLog.exe");
        ASSERT_TRUE(opens.active());
        notes = run.Run("drive", L"tilepane-drive.bmp");
    }
    std::string surf = run.Surf();
    // Commands 1, 4 and 5 open the help, read-pay and index pages in the pane; 2 and the
    // renewal button have the shell open the fee page.
    EXPECT_NE(std::string::npos, surf.find("navigate http://127.0.0.1:8600/onlinehelp/TP/index.html")) << surf;
    EXPECT_NE(std::string::npos, surf.find("navigate " + pages + "lessons.html")) << surf;
    EXPECT_NE(std::string::npos, surf.find("navigate " + pages + "next.html")) << surf;
    // The renewal button fails once and asks again by itself; 2023 runs a command.
    EXPECT_EQ(3u, Count(notes, "Zum_GetDIYInfo(payfeeurl")) << notes;
    std::string opened = Joined(run.rig().Launches());
    EXPECT_EQ(2u, Count(opened, "CmdLog.exe\" \"" + fee + "\"")) << opened;
    EXPECT_EQ(std::string::npos, surf.find("pay.html")) << "the fee page opens outside the pane\n" << surf;
    EXPECT_EQ(2u, Count(surf, "navigate http://127.0.0.1:8600/onlinehelp/TP/index.html")) << surf;
    EXPECT_NE(std::string::npos, notes.find("backgrounds red=1 green=1 blue=1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("info after button: 关闭个人信息 visible=1\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("info after 3023: 打开个人信息\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("home: blank=1\n")) << notes;
    // 3026 makes a new browser on the last page.
    EXPECT_NE(std::string::npos, surf.find("create 1000\nuihandler set\nnavigate ")) << surf;
    EXPECT_EQ(2u, Count(surf, "create 1000")) << surf;
    EXPECT_NE(std::string::npos, notes.find("wheel scrolled down\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("scroll host moved right\n")) << notes;
    // The slider bar paints with the theme's progress parts, or the classic look when asked.
    EXPECT_NE(std::string::npos, notes.find("slider themed=1 classic=1\n")) << notes;
    // Each paint closes the theme it opened.
    EXPECT_NE(std::string::npos, notes.find("slider themes opened some, left open 0\n")) << notes;
    // The thumbs dragged to the ends of a page taller and wider than 65,535 pixels.
    EXPECT_NE(std::string::npos, notes.find("dragged down to the end: scrolled past 65535\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("dragged across to the end: scrolled past 65535\n")) << notes;
    EXPECT_NE(std::string::npos, notes.find("shot 1\n")) << notes;
}

// --- the child side

namespace {

HWND g_pane = nullptr;
HWND g_browser = nullptr;
panetest::Host* g_host = nullptr;
std::vector<DWORD> g_doneTicks;
HHOOK g_hook = nullptr;

LRESULT CALLBACK WatchPosted(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && message->hwnd == g_pane && message->message == 3025) {
        g_doneTicks.push_back(GetTickCount());
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

void DoCommand(int command, INT_PTR parameter) {
    auto run = vantor::ProcAddress<PFN_TabPlug_DoCommand>(g_host->Module(kPane), TABPLUG_DOCOMMAND_NAME);
    ASSERT_NE(nullptr, run);
    run(g_host->Plug(kPane), command, parameter);
}

struct Board {
    const wchar_t* board;
    const wchar_t* column;
    const wchar_t* extra;
};

void OpenBoard(const wchar_t* board, const wchar_t* column, DWORD settle = 1500) {
    Board command = {board, column, nullptr};
    DoCommand(3, reinterpret_cast<INT_PTR>(&command));
    testkit::PumpFor(settle);
}

void Click(const std::wstring& url, DWORD settle = 800) {
    panetest::Click(g_browser, url);
    testkit::PumpFor(settle);
}

// The child dialog that holds the links (the scroll hosts are the other child dialogs).
HWND BlockPane() {
    for (HWND child = GetWindow(g_pane, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[16] = {}, text[32] = {};
        GetClassNameW(child, cls, 16);
        GetWindowTextW(child, text, 32);
        if (lstrcmpW(cls, L"#32770") == 0 && lstrcmpW(text, L"TilePane_ScrollDlg") != 0) return child;
    }
    return nullptr;
}

void NoteState(const std::string& when) {
    HWND error = GetDlgItem(g_pane, 1011);
    RECT r = {};
    GetWindowRect(g_browser, &r);
    std::string line = "after " + when + ": error=" + ((GetWindowLongW(error, GWL_STYLE) & WS_VISIBLE) ? "1" : "0") +
                       " browser=" + (r.right - r.left > 0 && r.bottom - r.top > 0 ? "sized" : "empty");
    if (GetWindowLongW(error, GWL_STYLE) & WS_VISIBLE) {
        wchar_t text[128] = {};
        GetWindowTextW(error, text, 128);
        line += " text=" + vantor::EncodeText(std::wstring(text).substr(0, 6), CP_UTF8);
    }
    panetest::Note(line);
}

void NoteHistory(const std::string& when) {
    panetest::Note("history " + when + ": back=" + (IsWindowEnabled(GetDlgItem(g_pane, 1017)) ? "1" : "0") +
                   " forward=" + (IsWindowEnabled(GetDlgItem(g_pane, 1018)) ? "1" : "0"));
}

// The host window on screen with the pane filling it (the tab window between them too).
HWND ShowHost() {
    HWND root = GetAncestor(g_pane, GA_ROOT);
    MoveWindow(root, 0, 0, 800, 600, TRUE);
    ShowWindow(root, SW_SHOWNOACTIVATE);
    std::vector<HWND> chain;
    for (HWND w = g_pane; w && w != root; w = GetParent(w)) chain.insert(chain.begin(), w);
    for (HWND w : chain) {
        RECT client;
        GetClientRect(GetParent(w), &client);
        MoveWindow(w, 0, 0, client.right, client.bottom, TRUE);
        ShowWindow(w, SW_SHOWNA);
    }
    // The personal-information pane has its width, as in the client.
    HWND info = g_host->Window(PLUG_INFO_PANE);
    if (info) SetWindowPos(info, nullptr, 0, 0, 150, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(g_pane, &client);
    SendMessageW(g_pane, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    testkit::PumpFor(500);
    return root;
}

// The information pane painted in a colour of its own over the block pane's links, then
// closed with the pane's own button: none of its colour may stay on the links.
const COLORREF kInfoColour = RGB(255, 0, 255);

LRESULT CALLBACK PaintInfoColour(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        HBRUSH brush = CreateSolidBrush(kInfoColour);
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(window, &ps);
        return 0;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

void InfoRepaint() {
    HWND root = ShowHost();
    HWND info = g_host->Window(PLUG_INFO_PANE);
    HWND blocks = BlockPane();
    ASSERT_NE(nullptr, info);
    ASSERT_NE(nullptr, blocks);
    SetWindowLongPtrW(info, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PaintInfoColour));
    // As in the client, the windows around the panes leave their children's areas to them.
    for (HWND w = GetParent(info); w; w = GetParent(w)) {
        SetWindowLongPtrW(w, GWL_STYLE, GetWindowLongPtrW(w, GWL_STYLE) | WS_CLIPCHILDREN);
    }
    RECT links;
    GetWindowRect(blocks, &links);
    MapWindowPoints(nullptr, GetParent(info), reinterpret_cast<POINT*>(&links), 2);
    SetWindowPos(info, HWND_TOP, links.left, links.top, links.right - links.left, links.bottom - links.top,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    testkit::PumpFor(500);
    RECT frame, area;
    auto over = [&] {
        GetWindowRect(root, &frame);
        GetWindowRect(blocks, &area);
        OffsetRect(&area, -frame.left, -frame.top);
        return testkit::CaptureWindow(root).Holds(area, kInfoColour) ? "1" : "0";
    };
    panetest::Note(std::string("over the links while shown: ") + over());
    SendMessageW(g_pane, WM_COMMAND, 1006, 0);  // "关闭个人信息"
    testkit::PumpFor(500);
    panetest::Note(std::string("info pane visible: ") + (IsWindowVisible(info) ? "1" : "0"));
    panetest::Note(std::string("over the links after closing: ") + over());
    panetest::Shoot(root);
}

void Links() {
    HWND blocks = BlockPane();
    ASSERT_NE(nullptr, blocks);
    struct Link {
        int x, y, id;
        std::string text;
    };
    std::vector<Link> links;
    for (HWND child = GetWindow(blocks, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        links.push_back({static_cast<int>(r.left), static_cast<int>(r.top), GetDlgCtrlID(child), vantor::EncodeText(text, CP_UTF8)});
    }
    std::sort(links.begin(), links.end(), [](const Link& a, const Link& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    std::string line = "links";
    for (const Link& l : links) line += " " + std::to_string(l.id) + ":" + l.text;
    panetest::Note(line);
    RECT pane;
    GetWindowRect(blocks, &pane);
    if (!links.empty()) panetest::Note("rows from x=" + std::to_string(links[0].x - pane.left));
    LOGFONTW font = {};
    HWND first = GetDlgItem(blocks, links.empty() ? 0 : links[0].id);
    if (GetObjectW(reinterpret_cast<HFONT>(SendMessageW(first, WM_GETFONT, 0, 0)), sizeof font, &font)) {
        panetest::Note("link font " + vantor::EncodeText(font.lfFaceName, CP_UTF8) +
                       (font.lfWeight >= FW_BOLD ? " bold" : ""));
    }
}

void Boards() {
    // A link of the block pane is a board command to plug -11.
    HWND blocks = BlockPane();
    SendMessageW(blocks, WM_COMMAND, 1001, 0);
    testkit::PumpFor(1500);
    NoteState("weather");
    OpenBoard(L"1004", L"0");
    NoteState("missing");
    panetest::Shoot(GetAncestor(g_pane, GA_ROOT));
    OpenBoard(L"1001", L"0");
    NoteState("weather again");
    // A link in the page, then back.
    wchar_t weather[512] = {};
    GetPrivateProfileStringW(L"web_site", L"9", L"", weather, 512,
                             (vantor::ProgramDir() + L"resource\\tilepane\\config.cfg").c_str());
    std::wstring base(weather);
    base = base.substr(0, base.rfind(L'/') + 1);
    Click(base + L"next.html");
    NoteHistory("after link");
    PostMessageW(g_pane, WM_COMMAND, 1017, 0);
    testkit::PumpFor(800);
    NoteHistory("after back");
    Click(base + L"framed.html");
    NoteState("framed");
}

// Answers the failure boxes of a sign-up and notes whether its window came.
bool g_signUpSeen = false;
int g_unload = -1;

void CALLBACK CloseDuringSignUp(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND signUp = FindWindowW(L"#32770", L"服务注册");
    if (!signUp || g_unload >= 0) return;
    KillTimer(nullptr, timer);
    g_signUpSeen = true;
    auto unload = vantor::ProcAddress<PFN_Container_UnloadPlug>(g_host->container(), CONTAINER_UNLOADPLUG_NAME);
    g_unload = unload ? unload(kPane) : -2;
}

std::string PlatformLog() {
    auto log = vantor::ProcAddress<decltype(&ZumStub_GetLog)>(GetModuleHandleW(L"zumbase.dll"), "ZumStub_GetLog");
    if (!log) return std::string();
    std::string text(static_cast<size_t>(log(nullptr, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(log(&text[0], static_cast<int>(text.size()))));
    return text;
}

std::wstring GameEvent(const std::string& path, const char* flag = nullptr) {
    std::wstring wide = vantor::AnsiToWide(path);
    for (wchar_t& c : wide) c = c == L'\\' ? L'/' : c;
    if (!flag) return L"event:<element%20id=%222%22>" + wide + L"</element>";
    return L"event:<element%20id=%222%22%20a1=%22" + wide + L"%22%20a2=%22" + vantor::AnsiToWide(flag) + L"%22/>";
}

void Games() {
    std::string logger = vantor::WideToAnsi(vantor::ProgramDir()) + "CmdLog.exe";
    OpenBoard(L"1000", L"0", 2000);
    panetest::Shoot(ShowHost());
    // A second document of the games page gets no second list.
    Click(vantor::ProgramDir() + L"resource\\SplashMgr\\games.html", 1000);
    Click(GameEvent(logger + " other"));
    Click(GameEvent(logger + " one extra"));
    Click(GameEvent("cmd.exe"));
    Click(GameEvent(logger + " one"), 1500);
}

void Monitor() {
    std::string logger = vantor::WideToAnsi(vantor::ProgramDir()) + "CmdLog.exe";
    OpenBoard(L"1000", L"0", 2000);
    g_hook = SetWindowsHookExW(WH_GETMESSAGE, WatchPosted, nullptr, GetCurrentThreadId());
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", L"1000");
    DWORD start = GetTickCount();
    Click(GameEvent(logger + " wait-1000", "1"), 100);
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", L"2000");
    Click(GameEvent(logger + " wait-2000", "1"), 100);
    testkit::PumpFor(4000);
    panetest::Note("done messages " + std::to_string(g_doneTicks.size()));
    if (!g_doneTicks.empty() && g_doneTicks[0] - start >= 2000) panetest::Note("done after both");

    // A program still running when the pane goes: the pane does not wait for it.
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", L"5000");
    Click(GameEvent(logger + " wait-5000", "1"), 500);
    SetEnvironmentVariableW(L"CMDLOG_SLEEP_MS", nullptr);
    auto unload = vantor::ProcAddress<PFN_Container_UnloadPlug>(g_host->container(), CONTAINER_UNLOADPLUG_NAME);
    DWORD before = GetTickCount();
    int r = unload ? unload(kPane) : -2;
    DWORD took = GetTickCount() - before;
    panetest::Note("unload -> " + std::to_string(r) + " in " + std::to_string(took));
    if (took < 1000) panetest::Note("unload within 1 s");
    UnhookWindowsHookEx(g_hook);
}


// The first sign-up window is up: a second apply comes, fails with its box, and once the
// box is answered the pane is unloaded.
int g_applyStep = 0;
bool g_unloadAtBox = false;

void UnloadPane() {
    auto unload = vantor::ProcAddress<PFN_Container_UnloadPlug>(g_host->container(), CONTAINER_UNLOADPLUG_NAME);
    g_unload = unload ? unload(kPane) : -2;
}

void CALLBACK SecondApply(HWND, UINT, UINT_PTR timer, DWORD) {
    if (g_applyStep == 0 && FindWindowW(L"#32770", L"服务注册")) {
        g_applyStep = 1;
        PostMessageW(g_pane, 3024, 5, 0);
    } else if (g_applyStep == 1) {
        HWND box = FindWindowW(L"#32770", L"注册服务");
        if (!box) return;
        g_applyStep = 2;
        panetest::Note("failure box seen");
        if (g_unloadAtBox) UnloadPane();
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else if (g_applyStep == 2 && !FindWindowW(L"#32770", L"注册服务")) {
        g_applyStep = 3;
        if (!g_unloadAtBox) UnloadPane();
    } else if (g_applyStep >= 3 && ++g_applyStep > 23) {
        // A second later: a sign-up window the unload left is closed here so the run ends.
        KillTimer(nullptr, timer);
        HWND left = FindWindowW(L"#32770", L"服务注册");
        if (left) {
            panetest::Note("sign-up window left open after the unload");
            PostMessageW(left, WM_CLOSE, 0, 0);
        }
    }
}

BOOL CALLBACK AddSignUpWindow(HWND window, LPARAM list) {
    wchar_t title[32] = {};
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetWindowTextW(window, title, ARRAYSIZE(title));
    if (process == GetCurrentProcessId() && lstrcmpW(title, L"服务注册") == 0) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

// The sign-up windows of this process.
std::vector<HWND> SignUpWindows() {
    std::vector<HWND> found;
    EnumWindows(AddSignUpWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A second sign-up opens over the first; once both are up the pane is unloaded.
void CALLBACK TwoSignUps(HWND, UINT, UINT_PTR timer, DWORD) {
    size_t open = SignUpWindows().size();
    if (g_applyStep == 0 && open == 1) {
        g_applyStep = 1;
        PostMessageW(g_pane, 3024, 17, 0);
    } else if (g_applyStep == 1 && open == 2) {
        g_applyStep = 2;
        panetest::Note("sign-up windows 2");
        UnloadPane();
    } else if (g_applyStep >= 2 && ++g_applyStep > 22) {
        // A second later: windows the unload left are closed here so the run ends.
        KillTimer(nullptr, timer);
        for (HWND left : SignUpWindows()) {
            panetest::Note("sign-up window left open after the unload");
            PostMessageW(left, WM_CLOSE, 0, 0);
        }
    }
}

// Whether the pane's corner, left of the web area, shows the colour.
bool CornerIs(COLORREF colour) {
    RedrawWindow(g_pane, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT client;
    GetClientRect(g_pane, &client);
    RECT corner = {2, client.bottom - 6, 6, client.bottom - 2};
    return testkit::CaptureWindow(g_pane).Holds(corner, colour);
}

std::string InfoText() {
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(g_pane, 1006), text, 64);
    return vantor::EncodeText(text, CP_UTF8);
}

size_t SurfCount(const std::string& what) {
    std::string trace = testkit::ReadFileBytes(vantor::ProgramDir() + L"surf.log");
    return Count(trace, what);
}

// The scroll host dialogs, the tall one first.
std::vector<HWND> ScrollHosts() {
    std::vector<HWND> hosts;
    for (HWND child = GetWindow(g_pane, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[32] = {};
        GetWindowTextW(child, text, 32);
        if (lstrcmpW(text, L"TilePane_ScrollDlg") == 0) hosts.push_back(child);
    }
    std::sort(hosts.begin(), hosts.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.bottom - ra.top > rb.bottom - rb.top;
    });
    return hosts;
}

// The theme handles the slider bar opens and closes, counted by pointing the theme
// library's exports at counting calls before the pane's library binds them (it looks them
// up once, by name, at its first paint). An export holds a 32-bit offset from its library:
// on 64-bit Windows each counting call is reached through a jump placed within 4 GB above.
std::atomic<int> g_themesOpened(0), g_themesClosed(0);
decltype(&OpenThemeData) g_openTheme = nullptr;
decltype(&CloseThemeData) g_closeTheme = nullptr;

HTHEME WINAPI CountedOpenTheme(HWND window, LPCWSTR classes) {
    HTHEME theme = g_openTheme(window, classes);
    if (theme) ++g_themesOpened;
    return theme;
}

HRESULT WINAPI CountedCloseTheme(HTHEME theme) {
    ++g_themesClosed;
    return g_closeTheme(theme);
}

// Where an export of the library at `base` can name `call` from; null when nowhere.
BYTE* ExportTarget(BYTE* base, SIZE_T imageSize, void* call) {
#ifdef _WIN64
    BYTE* jump = nullptr;
    for (size_t step = 0; !jump && step < 4096; ++step) {
        size_t at = (reinterpret_cast<size_t>(base) + imageSize + 0xFFFF + step * 0x10000) & ~size_t{0xFFFF};
        jump = static_cast<BYTE*>(VirtualAlloc(reinterpret_cast<void*>(at), 16, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
    }
    if (!jump || static_cast<size_t>(jump - base) > 0xFFFFF000u) return nullptr;
    const BYTE indirect[6] = {0xFF, 0x25, 0, 0, 0, 0};  // jmp [rip]: the address follows
    memcpy(jump, indirect, sizeof indirect);
    memcpy(jump + sizeof indirect, &call, sizeof call);
    FlushInstructionCache(GetCurrentProcess(), jump, 16);
    return jump;
#else
    (void)base;
    (void)imageSize;
    return static_cast<BYTE*>(call);
#endif
}

bool CountThemeHandles() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(L"uxtheme.dll"));
    if (!base) return false;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exports->AddressOfNames);
    auto* ordinals = reinterpret_cast<WORD*>(base + exports->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
    struct Target {
        const char* name;
        void* counted;
        void** real;
    } targets[] = {{"OpenThemeData", reinterpret_cast<void*>(&CountedOpenTheme), reinterpret_cast<void**>(&g_openTheme)},
                   {"CloseThemeData", reinterpret_cast<void*>(&CountedCloseTheme), reinterpret_cast<void**>(&g_closeTheme)}};
    int patched = 0;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        for (const Target& target : targets) {
            if (strcmp(reinterpret_cast<const char*>(base + names[i]), target.name) != 0) continue;
            BYTE* reach = ExportTarget(base, nt->OptionalHeader.SizeOfImage, target.counted);
            DWORD* slot = &functions[ordinals[i]];
            DWORD old = 0;
            if (!reach || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
            *target.real = base + *slot;
            *slot = static_cast<DWORD>(reinterpret_cast<size_t>(reach) - reinterpret_cast<size_t>(base));
            VirtualProtect(slot, sizeof *slot, old, &old);
            ++patched;
        }
    }
    return patched == 2;
}

// A slider bar of the class the pane registers, its blocks moving for a while: whether its
// picture shows the classic look, blocks on the button face (the theme's bar is white).
bool SliderLooksClassic(DWORD style, const wchar_t* shot) {
    HWND slider = CreateWindowExW(WS_EX_TOPMOST, L"SdkProgressSliderBar", L"", WS_POPUP | style, 20, 20, 300, 24,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!slider) return false;
    SendMessageW(slider, WM_USER + 3, 5, 0);
    SendMessageW(slider, WM_USER + 1, 15, 0);
    ShowWindow(slider, SW_SHOWNOACTIVATE);
    testkit::PumpFor(400);
    KillTimer(slider, 0);  // the picture holds the blocks where they stand
    RedrawWindow(slider, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    testkit::Capture picture = testkit::CaptureWindow(slider);
    std::wstring shots = panetest::ShotPath();
    if (!shots.empty()) testkit::SaveBitmapFile(picture, shots.substr(0, shots.rfind(L'\\') + 1) + shot);
    DestroyWindow(slider);
    return picture.Holds(GetSysColor(COLOR_HIGHLIGHT)) && picture.Holds(GetSysColor(COLOR_BTNFACE));
}

// Drags a scroll host's thumb to the end of its bar, as the mouse does: the bar's own
// tracking takes the moves and the release queued for it.
void DragThumbToTheEnd(HWND host, bool vertical) {
    SCROLLBARINFO bar = {sizeof bar};
    if (!GetScrollBarInfo(host, vertical ? OBJID_VSCROLL : OBJID_HSCROLL, &bar)) return;
    const RECT& r = bar.rcScrollBar;
    int thumb = (bar.xyThumbTop + bar.xyThumbBottom) / 2;
    POINT grip = vertical ? POINT{(r.left + r.right) / 2, r.top + thumb} : POINT{r.left + thumb, (r.top + r.bottom) / 2};
    POINT end = vertical ? POINT{grip.x, r.bottom - 1} : POINT{r.right - 1, grip.y};
    ScreenToClient(host, &end);
    PostMessageW(host, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(end.x, end.y));
    PostMessageW(host, WM_LBUTTONUP, 0, MAKELPARAM(end.x, end.y));
    SendMessageW(host, WM_NCLBUTTONDOWN, vertical ? HTVSCROLL : HTHSCROLL, MAKELPARAM(grip.x, grip.y));
}

// The last scroll the browser made, across or down.
long LastScroll(bool vertical) {
    std::string trace = testkit::ReadFileBytes(vantor::ProgramDir() + L"surf.log");
    size_t last = trace.rfind("\nscroll ");
    if (last == std::string::npos) return -1;
    if (!vertical) return atol(trace.c_str() + last + 8);
    size_t blank = trace.find(' ', last + 8);
    return blank == std::string::npos ? -1 : atol(trace.c_str() + blank + 1);
}

void Drive() {
    DoCommand(1, 0);
    testkit::PumpFor(800);
    DoCommand(4, 0);
    testkit::PumpFor(800);
    DoCommand(5, 0);
    testkit::PumpFor(800);
    DoCommand(2, 0);
    testkit::PumpFor(300);
    SendMessageW(g_pane, WM_COMMAND, 1009, 0);
    testkit::PumpFor(800);
    PostMessageW(g_pane, 2023, 1, 0);
    testkit::PumpFor(800);

    DoCommand(6, 2);
    bool red = CornerIs(RGB(255, 0, 0));
    DoCommand(7, reinterpret_cast<INT_PTR>("green.bmp"));
    bool green = CornerIs(RGB(0, 255, 0));
    DoCommand(8, reinterpret_cast<INT_PTR>(L"蓝色.bmp"));
    bool blue = CornerIs(RGB(0, 0, 255));
    panetest::Note(std::string("backgrounds red=") + (red ? "1" : "0") + " green=" + (green ? "1" : "0") +
                   " blue=" + (blue ? "1" : "0"));

    HWND info = g_host->Window(PLUG_INFO_PANE);
    if (info) ShowWindow(info, SW_HIDE);
    SendMessageW(g_pane, WM_COMMAND, 1006, 0);
    testkit::PumpFor(300);
    panetest::Note("info after button: " + InfoText() + " visible=" + (info && IsWindowVisible(info) ? "1" : "0"));
    if (info) ShowWindow(info, SW_HIDE);
    SendMessageW(g_pane, 3023, 0, 0);
    panetest::Note("info after 3023: " + InfoText());

    size_t blank = SurfCount("navigate about:blank");
    SendMessageW(g_pane, WM_COMMAND, 1008, 0);
    testkit::PumpFor(500);
    panetest::Note(std::string("home: blank=") + (SurfCount("navigate about:blank") > blank ? "1" : "0"));

    // A long page, then the reload, the wheel and the scroll bar beside the page.
    OpenBoard(L"1001", L"0");
    PostMessageW(g_pane, 3026, 0, 0);
    testkit::PumpFor(1500);
    HWND browser = FindWindowExW(g_pane, nullptr, L"SurfViewBrowser", nullptr);
    size_t before = SurfCount("scroll 0 ");
    SendMessageW(browser, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
    testkit::PumpFor(300);
    if (SurfCount("scroll 0 ") > before) panetest::Note("wheel scrolled down");
    std::vector<HWND> hosts = ScrollHosts();
    if (hosts.size() == 2) {
        size_t moves = SurfCount("scroll ");
        SendMessageW(hosts[1], WM_HSCROLL, SB_PAGERIGHT, 0);
        testkit::PumpFor(300);
        std::string trace = testkit::ReadFileBytes(vantor::ProgramDir() + L"surf.log");
        size_t last = trace.rfind("scroll ");
        if (SurfCount("scroll ") > moves && last != std::string::npos && trace.compare(last, 9, "scroll 0 ") != 0) {
            panetest::Note("scroll host moved right");
        }
        wchar_t weather[512] = {};
        GetPrivateProfileStringW(L"web_site", L"9", L"", weather, 512,
                                 (vantor::ProgramDir() + L"resource\\tilepane\\config.cfg").c_str());
        std::wstring base(weather);
        panetest::Click(browser, base.substr(0, base.rfind(L'/') + 1) + L"tall.html");
        testkit::PumpFor(1200);
        for (bool vertical : {true, false}) {
            DragThumbToTheEnd(hosts[vertical ? 0 : 1], vertical);
            testkit::PumpFor(300);
            long at = LastScroll(vertical);
            panetest::Note(std::string(vertical ? "dragged down" : "dragged across") + " to the end: " +
                           (at > 65535 ? "scrolled past 65535" : "scrolled to " + std::to_string(at)));
        }
    }
    bool counted = CountThemeHandles();
    bool themed = !SliderLooksClassic(0, L"tilepane-slider-themed.bmp");
    bool classic = SliderLooksClassic(0x8000, L"tilepane-slider-classic.bmp");
    panetest::Note(std::string("slider themed=") + (themed ? "1" : "0") + " classic=" + (classic ? "1" : "0"));
    if (counted) {
        panetest::Note("slider themes opened " + std::string(g_themesOpened > 0 ? "some" : "none") + ", left open " +
                       std::to_string(g_themesOpened - g_themesClosed));
    }
    // The picture: the pane as the user leaves it, on a built-in background with the
    // weather page open again (the far end of the long page shows nothing).
    DoCommand(6, 0);
    OpenBoard(L"1001", L"0");
    panetest::Shoot(ShowHost());
}

// A page closes its window: the pane's reload is on its way; a move and a command come
// first.
HHOOK g_reloadHook = nullptr;
bool g_reloadSeen = false;

LRESULT CALLBACK BeforeReload(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && wParam == PM_REMOVE && message->hwnd == g_pane && message->message == 3026 && !g_reloadSeen) {
        g_reloadSeen = true;
        MoveWindow(g_pane, 0, 0, 700, 500, TRUE);
        panetest::Note("moved");
        DoCommand(1, 0);
        panetest::Note("commanded");
    }
    return CallNextHookEx(g_reloadHook, code, wParam, lParam);
}

void PageClose() {
    OpenBoard(L"1001", L"0");
    wchar_t weather[512] = {};
    GetPrivateProfileStringW(L"web_site", L"9", L"", weather, 512,
                             (vantor::ProgramDir() + L"resource\\tilepane\\config.cfg").c_str());
    std::wstring base(weather);
    base = base.substr(0, base.rfind(L'/') + 1);
    g_reloadHook = SetWindowsHookExW(WH_GETMESSAGE, BeforeReload, nullptr, GetCurrentThreadId());
    Click(base + L"close.html", 1500);
    UnhookWindowsHookEx(g_reloadHook);
    HWND now = FindWindowExW(g_pane, nullptr, L"SurfViewBrowser", nullptr);
    panetest::Note(std::string("new browser: ") + (now && now != g_browser && IsWindowVisible(now) ? "1" : "0"));
}

}  // namespace

TEST(TilePaneChild, Run) {
    std::string mode = panetest::ChildMode();
    if (mode.empty()) GTEST_SKIP() << "runs inside the rig";
    {
        panetest::Host host(true);
        g_host = &host;
        g_pane = host.Window(kPane);
        ASSERT_NE(nullptr, g_pane);
        g_browser = FindWindowExW(g_pane, nullptr, L"SurfViewBrowser", nullptr);
        ASSERT_NE(nullptr, g_browser);
        ShowHost();
        if (mode == "links") {
            Links();
            panetest::Shoot(ShowHost());
        } else if (mode == "info-repaint") {
            InfoRepaint();
        } else if (mode == "boards") {
            Boards();
        } else if (mode == "signup") {
            OpenBoard(L"1001", L"1", 3000);
        } else if (mode == "close-during-signup") {
            SetTimer(nullptr, 0, 50, CloseDuringSignUp);
            OpenBoard(L"1001", L"2", 4000);
            if (g_signUpSeen) panetest::Note("sign-up window seen");
            panetest::Note("unload -> " + std::to_string(g_unload));
            testkit::PumpFor(500);
            panetest::Note(std::string("after: sign-up window=") + (FindWindowW(L"#32770", L"服务注册") ? "1" : "0") +
                           " pane window=" + (IsWindow(g_pane) ? "1" : "0"));
        } else if (mode == "games") {
            Games();
        } else if (mode == "monitor") {
            Monitor();
        } else if (mode == "second-apply" || mode == "second-apply-close") {
            g_unloadAtBox = mode == "second-apply-close";
            SetTimer(nullptr, 0, 50, SecondApply);
            PostMessageW(g_pane, 3024, 17, 0);
            testkit::PumpFor(4000);
            panetest::Note("unload -> " + std::to_string(g_unload));
            testkit::PumpFor(500);
            panetest::Note(std::string("after: sign-up window=") + (FindWindowW(L"#32770", L"服务注册") ? "1" : "0") +
                           " pane window=" + (IsWindow(g_pane) ? "1" : "0"));
        } else if (mode == "two-signups") {
            SetTimer(nullptr, 0, 50, TwoSignUps);
            PostMessageW(g_pane, 3024, 17, 0);
            testkit::PumpFor(4000);
            panetest::Note("unload -> " + std::to_string(g_unload));
            testkit::PumpFor(500);
            panetest::Note("after: sign-up windows=" + std::to_string(SignUpWindows().size()) +
                           " pane window=" + (IsWindow(g_pane) ? "1" : "0"));
        } else if (mode == "drive") {
            Drive();
        } else if (mode == "page-close") {
            PageClose();
        }
        panetest::Note(PlatformLog());
        g_host = nullptr;
    }
    panetest::Finish();
}
